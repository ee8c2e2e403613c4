// Scenes written as an attacker would write them, each opened the way a
// user's machine opens a downloaded file: by tessel-scan and, where the
// viewer is built, by the thumbnailer's own command line. Every one must end
// with its exit code and message, within limits of processor time and
// memory set on the child, without showing any other file's content or a
// terminal control character.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hostile_images.h"
#include "tests/support/test_env.h"

using tessel::test::scratch_dir;
using tessel::test::slurp;

namespace {

// Reached only by a hang; the limits below end a runaway child long before.
constexpr int deadline_ms = 120'000;
#ifdef TESSEL_ADDRESS_SANITIZER
constexpr rlim_t cpu_seconds = 60;  // the sanitizers slow everything down several times
#else
constexpr rlim_t cpu_seconds = 20;
#endif
// The address space a child may take, and the memory it may touch.
[[maybe_unused]] constexpr rlim_t address_space = rlim_t{3} << 30;
[[maybe_unused]] constexpr long most_kb = 1 << 20;

struct run_result {
    bool finished = false;
    int status = 0;
    std::string out, err;
    long max_rss_kb = 0;
    double cpu_seconds = 0;
    int exit_code() const { return finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

// Runs argv with stdin from /dev/null, under the limits above.
run_result run(const std::vector<std::string>& argv, const std::string& scratch, rlim_t cpu = cpu_seconds) {
    const std::string out_path = scratch + "/child.out", err_path = scratch + "/child.err";
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(125);
        const rlimit no_core{0, 0}, processor{cpu, cpu};
        setrlimit(RLIMIT_CORE, &no_core);
        setrlimit(RLIMIT_CPU, &processor);
#ifndef TESSEL_ADDRESS_SANITIZER  // which reserves terabytes of address space
        const rlimit space{address_space, address_space};
        setrlimit(RLIMIT_AS, &space);
#endif
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    run_result r;
    if (pid < 0) return r;
    const tessel::test::child_end end = tessel::test::wait_for_child(pid, deadline_ms);
    r.finished = end.finished;
    r.status = end.status;
    const rusage& usage = end.usage;
    r.max_rss_kb = usage.ru_maxrss;
    r.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
}

std::string repeat(const std::string& s, long n) {
    std::string out;
    out.reserve(s.size() * static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i) out += s;
    return out;
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

const std::string v2 = "#VRML V2.0 utf8\n";
const std::string v1 = "#VRML V1.0 ascii\n";

std::string textured_box(const std::string& url) {
    return v2 + "Shape { appearance Appearance { texture ImageTexture { url \"" + url + "\" } } geometry Box {} }\n";
}

// A face set of about `triangles` triangles: a grid of squares, 100 wide.
std::string mesh(long triangles) {
    const long rows = triangles / 200 + 1;
    std::string s = "Shape { geometry IndexedFaceSet { coord Coordinate { point [";
    for (long y = 0; y <= rows; ++y)
        for (long x = 0; x <= 100; ++x) s += std::to_string(x) + " " + std::to_string(y) + " 0, ";
    s += "] } coordIndex [";
    for (long y = 0; y < rows; ++y)
        for (long x = 0; x < 100; ++x) {
            const long p = y * 101 + x;
            s += std::to_string(p) + " " + std::to_string(p + 1) + " " + std::to_string(p + 102) + " " +
                 std::to_string(p + 101) + " -1 ";
        }
    return s + "] } }\n";
}

// One hostile scene: what it is made of, and how tessel must answer.
struct hostile_case {
    const char* name;
    std::function<std::string(const std::string& dir)> make;  // writes the scene and what it names; its path
    int exit_code;
    const char* message;  // in stderr; empty: no word required
};

// A file that no scene may show, and words of it that must never appear.
const char* const secret_file = "/etc/passwd";
const char* const secret_words = "root:x:0:0";

const std::vector<hostile_case>& cases() {
    static const std::vector<hostile_case> all = {
        {"TextureIsAFolder", [](const std::string& d) { write_file(d + "/s.wrl", textured_box(".")); return d + "/s.wrl"; },
         0, "Is a directory"},
        {"Vrml1TextureIsAFolder",
         [](const std::string& d) {
             write_file(d + "/s.wrl", v1 + "Separator { Texture2 { filename \".\" } Cube {} }\n");
             return d + "/s.wrl";
         },
         0, "Is a directory"},
        {"TextureIsProcessMemory",
         [](const std::string& d) { write_file(d + "/s.wrl", textured_box("/proc/self/mem")); return d + "/s.wrl"; }, 0,
         "not a regular file"},
        {"TextureIsAFifo",
         [](const std::string& d) {
             mkfifo((d + "/pipe.png").c_str(), 0600);
             write_file(d + "/s.wrl", textured_box("pipe.png"));
             return d + "/s.wrl";
         },
         0, "not a regular file"},
        {"TexturesAreDevices",
         [](const std::string& d) {
             std::string s = v2;
             for (const char* url : {"/dev/zero", "/dev/urandom", "/dev/tty", "/dev/stdin", "../../../../../dev/zero"})
                 s += textured_box(url).substr(v2.size());
             write_file(d + "/s.wrl", s);
             return d + "/s.wrl";
         },
         0, "\"/dev/urandom\" not shown: cannot open the image file (not a regular file)"},
        {"TextureIsASparseGigabyteFile",
         [](const std::string& d) {
             const std::string image = d + "/big.png";
             write_file(image, tessel::test::png_bytes(4, 4));
             if (truncate(image.c_str(), off_t{2} << 30) != 0) return std::string();
             write_file(d + "/s.wrl", textured_box("big.png"));
             return d + "/s.wrl";
         },
         0, "cannot read the image file (the file (2147483648 bytes) is larger than"},
        {"ProgressiveJpegClaimsGigapixels",
         [](const std::string& d) {
             write_file(d + "/big.jpg", tessel::test::progressive_jpeg_claiming(25000, 25000));
             write_file(d + "/s.wrl", textured_box("big.jpg"));
             return d + "/s.wrl";
         },
         0, "25000 x 25000 pixels"},
        {"GifOfTenThousandFrames",
         [](const std::string& d) {
             write_file(d + "/many.gif", tessel::test::gif_of_frames(10000, 512));
             write_file(d + "/s.wrl", textured_box("many.gif"));
             return d + "/s.wrl";
         },
         0, ""},
        {"OneImageNamedAThousandWays",
         [](const std::string& d) {
             write_file(d + "/x.png", tessel::test::png_bytes(1024, 1024));
             std::string s = v2;
             for (int i = 0; i < 1000; ++i) s += textured_box(repeat("./", i) + "x.png").substr(v2.size());
             write_file(d + "/s.wrl", s);
             return d + "/s.wrl";
         },
         0, ""},
        {"SharedProtoBodyThirtyLevelsDeep",
         [](const std::string& d) {
             std::string s = v2 + "PROTO P0 [] { Shape { geometry Box {} } }\n";
             for (int i = 1; i <= 30; ++i)
                 s += "PROTO P" + std::to_string(i) + " [] { Group { children [ P" + std::to_string(i - 1) + " {} P" +
                      std::to_string(i - 1) + " {} ] } }\n";
             write_file(d + "/s.wrl", s + "P30 {}\n");
             return d + "/s.wrl";
         },
         0, "the scene needs more memory than a load may use here"},
        {"UseNestedFortyTimes",
         [](const std::string& d) {
             std::string s = v2 + "DEF L0 Shape { geometry Box {} }\n";
             for (int i = 1; i <= 40; ++i)
                 s += "DEF L" + std::to_string(i) + " Group { children [ USE L" + std::to_string(i - 1) + " USE L" +
                      std::to_string(i - 1) + " ] }\n";
             write_file(d + "/s.wrl", s);
             return d + "/s.wrl";
         },
         0, "the scene needs more memory than a load may use here"},
        {"TenMillionCoincidentTriangles",
         [](const std::string& d) {
             std::string s = v2 + "DEF T0 Shape { geometry IndexedFaceSet { solid FALSE coord Coordinate { point "
                                  "[-1 -1 0, 1 -1 0, 0 1 0] } coordIndex [0 1 2] } }\n";
             for (int i = 1; i <= 7; ++i)
                 s += "DEF T" + std::to_string(i) + " Group { children [ " + repeat("USE T" + std::to_string(i - 1) + " ", 10) + "] }\n";
             write_file(d + "/s.wrl", s);
             return d + "/s.wrl";
         },
         0, "the scene needs more memory than a load may use here"},
        {"ProtoInstancesCopyLargeArrays",
         [](const std::string& d) {
             const std::string points = repeat("0 0 0 1 0 0 0 1 0 ", 100000);
             std::string s = v2 + "PROTO A [ field MFVec3f p [] ] { Shape { geometry IndexedFaceSet { coord Coordinate { "
                                  "point IS p } coordIndex [0 1 2] } } }\n";
             s += "PROTO B [ field MFVec3f q [" + points + "] ] { Group { children [ A { p IS q } ] } }\n";
             write_file(d + "/s.wrl", s + "Group { children [ " + repeat("B {} ", 3000) + "] }\n");
             return d + "/s.wrl";
         },
         0, "stopped at its PROTO copies"},
        {"TwentyMillionIndicesInOneFace",
         [](const std::string& d) {
             std::ofstream out(d + "/s.wrl", std::ios::binary);
             out << v2 << "Shape { geometry IndexedFaceSet { convex FALSE coord Coordinate { point [0 0 0, 1 0 0, 0 1 0, 1 1 0] } coordIndex [";
             const std::string block = repeat("0 1 3 2 ", 100000);
             for (int i = 0; i < 50; ++i) out << block;
             out << "] } }\n";
             return d + "/s.wrl";
         },
         0, "the scene needs more memory than a load may use here"},
        {"ElevationGridOfNineMillionPointsUsedFiveTimes",
         [](const std::string& d) {
             std::ofstream out(d + "/s.wrl", std::ios::binary);
             out << v2 << "DEF E Shape { geometry ElevationGrid { xDimension 3000 zDimension 3000 height [";
             const std::string block = repeat("0 ", 100000);
             for (int i = 0; i < 90; ++i) out << block;
             out << "] } }\n" << repeat("USE E\n", 4);
             return d + "/s.wrl";
         },
         0, "the scene needs more memory than a load may use here"},
        {"TextOfAHundredThousandCharacters",
         [](const std::string& d) {
             write_file(d + "/s.wrl", v2 + "Shape { geometry Text { string \"" + repeat("W", 100000) + "\" } }\n");
             return d + "/s.wrl";
         },
         0, ""},
        {"AThousandInlinesOfAMegabyteFile",
         [](const std::string& d) {
             write_file(d + "/part.wrl", v2 + mesh(30000));
             std::string s = v2;
             for (int i = 0; i < 1000; ++i) s += "Inline { url \"" + repeat("./", i % 7) + "part.wrl\" }\n";
             write_file(d + "/s.wrl", s);
             return d + "/s.wrl";
         },
         0, ""},  // one file read and built once, placed a thousand times
        {"InlinesOfSystemFiles",
         [](const std::string& d) {
             write_file(d + "/s.wrl", v2 + "Inline { url \"" + secret_file + "\" }\nInline { url \"" +
                                          repeat("../", 12) + "etc/passwd\" }\nInline { url \"file:///etc/hostname\" }\n");
             return d + "/s.wrl";
         },
         0, "not read: it does not start with a VRML first line"},
        {"ExternProtoOfASystemFile",
         [](const std::string& d) {
             write_file(d + "/s.wrl", v2 + "EXTERNPROTO X [] \"" + secret_file + "\"\nX {}\n");
             return d + "/s.wrl";
         },
         0, "not read: it does not start with a VRML first line"},
        {"PartFileLinkedToASystemFile",
         [](const std::string& d) {
             if (symlink(secret_file, (d + "/part.wrl").c_str()) != 0) return std::string();
             write_file(d + "/s.wrl", v2 + "Inline { url \"part.wrl\" }\n");
             return d + "/s.wrl";
         },
         0, "not read: it does not start with a VRML first line"},
        {"EscapesInNames",
         [](const std::string& d) {
             write_file(d + "/s.wrl", v2 + "Inline { url \"\x1b[2J\x1b]0;owned\x07\" }\nWorld\x1b[31m { }\n");
             return d + "/s.wrl";
         },
         0, "\\x1b[2J\\x1b]0;owned\\x07"},
        // Worlds that move: a ring of routes that would never settle, a
        // crowd of sensors, interfaces that double with each nesting, and
        // times that make no sense.
        {"RoutesInARingAndACrowdOfSensors",
         [](const std::string& d) {
             std::string s = v2 + "DEF C TimeSensor { loop TRUE }\n"
                                  "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 1 0 0] }\n"
                                  "ROUTE C.fraction_changed TO P.set_fraction ROUTE P.value_changed TO T0.translation\n";
             for (int i = 0; i < 3000; ++i) s += "DEF T" + std::to_string(i) + " Transform { children Shape { geometry Box {} } }\n";
             for (int i = 0; i < 3000; ++i)
                 s += "ROUTE T" + std::to_string(i) + ".translation_changed TO T" + std::to_string((i + 1) % 3000) +
                      ".set_translation\n";
             for (int i = 0; i < 20000; ++i)
                 s += "DEF S" + std::to_string(i) + " TimeSensor { loop TRUE } ROUTE S" + std::to_string(i) +
                      ".fraction_changed TO P.set_fraction\n";
             write_file(d + "/s.wrl", s);
             return d + "/s.wrl";
         },
         0, ""},
        {"InterfacesDoublingWithEachNesting",
         [](const std::string& d) {
             std::string s = v2 + "PROTO P0 [ eventIn SFFloat f ] { ScalarInterpolator { set_fraction IS f } }\n";
             for (int i = 1; i <= 40; ++i)
                 s += "PROTO P" + std::to_string(i) + " [ eventIn SFFloat f ] { Group { children [ P" +
                      std::to_string(i - 1) + " { f IS f } P" + std::to_string(i - 1) + " { f IS f } ] } }\n";
             write_file(d + "/s.wrl", s + "DEF X P40 {} DEF C TimeSensor { loop TRUE } ROUTE C.fraction_changed TO X.f\n");
             return d + "/s.wrl";
         },
         0, "PROTO instances make more than"},
        {"TimesThatMakeNoSense",
         [](const std::string& d) {
             write_file(d + "/s.wrl", v2 + "DEF T Transform { children Shape { geometry Box {} } }\n"
                                           "DEF A TimeSensor { cycleInterval 0 loop TRUE }\n"
                                           "DEF B TimeSensor { cycleInterval 1e38 startTime -1e38 stopTime 1e38 loop TRUE }\n"
                                           "DEF D TimeSensor { cycleInterval 1e-30 startTime -1e30 loop TRUE }\n"
                                           "ROUTE D.cycleTime TO B.set_stopTime ROUTE D.fraction_changed TO P.set_fraction\n"
                                           "DEF P PositionInterpolator { key [1 0 0.5 1e30] keyValue [1 1 1] }\n"
                                           "ROUTE A.fraction_changed TO P.set_fraction ROUTE B.fraction_changed TO "
                                           "P.set_fraction ROUTE P.value_changed TO T.translation\n"
                                           "ROUTE B.time TO A.set_cycleInterval ROUTE B.time TO B.set_startTime\n");
             return d + "/s.wrl";
         },
         0, "cycleInterval must be above 0"},
        {"ProtoOfOneHundredThirtyThousandFields",
         [](const std::string& d) {
             std::string s = v2 + "PROTO M [";
             for (int i = 0; i < 131072; ++i) s += " field SFFloat f" + std::to_string(i) + " 0";
             s += " ] { Group {} }\nM {";
             for (int i = 0; i < 131072; ++i) s += " f" + std::to_string(i) + " 1";
             write_file(d + "/s.wrl", s + " }\n");
             return d + "/s.wrl";
         },
         0, ""},
    };
    return all;
}

// Named in test output by the case's name, not its bytes.
void PrintTo(const hostile_case& c, std::ostream* os) { *os << c.name; }

class HostileWorlds : public ::testing::TestWithParam<hostile_case> {};

// No row may show another file or send control characters to a terminal.
void expect_nothing_leaked(const run_result& r) {
    EXPECT_EQ(r.err.find(secret_words), std::string::npos) << r.err.substr(0, 2000);
    EXPECT_EQ(r.out.find(secret_words), std::string::npos);
    for (const char c : r.err) ASSERT_FALSE(c == '\x1b' || c == '\x07') << "a control character in:\n" << r.err.substr(0, 2000);
}

// tessel-scan, with the budget a file manager's thumbnailer would give it
// (--max-size) and the address space limited besides.
TEST_P(HostileWorlds, ScanEndsWithinLimits) {
    const hostile_case& c = GetParam();
    scratch_dir dir;
    const std::string scene = c.make(dir.path);
    if (scene.empty()) TESSEL_CANNOT_RUN("this file system cannot hold the case's files");
    const run_result r = run({TESSEL_SCAN, "--max-size", "256", "--", scene}, dir.path);
    ASSERT_TRUE(r.finished) << "still running after " << deadline_ms << " ms";
    EXPECT_EQ(r.exit_code(), c.exit_code) << "status " << r.status << "\n" << r.err.substr(0, 2000);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err.substr(0, 2000);
    expect_nothing_leaked(r);
#ifndef TESSEL_ADDRESS_SANITIZER
    EXPECT_LT(r.max_rss_kb, most_kb);
#endif
}

#ifdef TESSEL_VIEWER
// The thumbnailer's own command line, as the installed entry gives it,
// within a thumbnail's limits: 10 s of processor time, 1 GB of memory.
TEST_P(HostileWorlds, ThumbnailerStaysWithinTenSecondsAndOneGigabyte) {
    const hostile_case& c = GetParam();
    scratch_dir dir;
    const std::string scene = c.make(dir.path);
    if (scene.empty()) TESSEL_CANNOT_RUN("this file system cannot hold the case's files");
    std::string exec;
    std::istringstream entry(slurp(TESSEL_SOURCE_DIR "/data/tessel.thumbnailer"));
    for (std::string line; std::getline(entry, line);)
        if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
    ASSERT_EQ(exec.rfind("tessel ", 0), 0u) << exec;
    std::vector<std::string> argv;
    std::istringstream words(exec);
    for (std::string w; words >> w;) {
        if (w == "tessel") w = TESSEL_VIEWER;
        else if (w == "%o") w = dir.path + "/thumb.png";
        else if (w == "%i") w = scene;
        for (std::size_t at; (at = w.find("%s")) != std::string::npos;) w.replace(at, 2, "128");
        argv.push_back(w);
    }
    const run_result r = run(argv, dir.path, 10);
    ASSERT_TRUE(r.finished);
    EXPECT_TRUE(WIFEXITED(r.status)) << "ended by signal " << (WIFSIGNALED(r.status) ? WTERMSIG(r.status) : 0)
                                     << " after " << r.cpu_seconds << " s of processor time";
    EXPECT_EQ(r.exit_code(), c.exit_code) << r.err.substr(0, 2000);
    if (c.exit_code == 0) {
        EXPECT_GT(slurp(dir.path + "/thumb.png").size(), 0u);
    }
    expect_nothing_leaked(r);
    EXPECT_LT(r.max_rss_kb, most_kb);
}
#endif

INSTANTIATE_TEST_SUITE_P(Cases, HostileWorlds, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<hostile_case>& info) { return info.param.name; });

// One image file however its name is spelt: decoded once, so a thousand
// names of a large image cost one image, and every box shows it.
TEST(HostileWorldsDetail, OneImageManyNamesIsDecodedOnce) {
    scratch_dir dir;
    const auto named = std::find_if(cases().begin(), cases().end(), [](const hostile_case& c) {
        return std::string(c.name) == "OneImageNamedAThousandWays";
    });
    ASSERT_NE(named, cases().end());
    const std::string scene = named->make(dir.path);
    const run_result r = run({TESSEL_SCAN, "--max-size", "64", "--", scene}, dir.path);
    ASSERT_EQ(r.exit_code(), 0) << r.err.substr(0, 2000);
    std::size_t textured = 0;
    for (std::size_t at = 0; (at = r.out.find("\"texture\":", at)) != std::string::npos; ++at) ++textured;
    EXPECT_EQ(textured, 1000u) << r.err.substr(0, 2000);
}

}  // namespace
