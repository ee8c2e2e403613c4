// tessel-scan, run as a user runs it, on files and in conditions meant to
// break it: a FIFO with no writer, a signal in mid-load, an address space
// too small for the scene, a compression bomb. Whatever happens, it must end
// with a message and leave nothing behind.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/support/test_env.h"

using tessel::test::entries;
using tessel::test::scratch_dir;
using tessel::test::slurp;

namespace {

// Long enough for any of these runs on a loaded machine; reached only by a
// hang.
constexpr int deadline_ms = 60'000;

struct child_result {
    bool finished = false;  // false: killed at the deadline
    int status = 0;
    std::string err;
    long max_rss_kb = 0;
};

// Runs tessel-scan [--classic] FILE with its own TMPDIR, its address space
// limited to as_limit bytes (0: no limit), and calls meanwhile(pid) once it
// runs.
child_result run_scan(const std::string& file, const scratch_dir& scratch, const std::string& tmpdir,
                      rlim_t as_limit = 0, const std::function<void(pid_t)>& meanwhile = {},
                      bool classic = true) {
    const std::string err_path = scratch.path + "/stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_WRONLY);
        if (err < 0 || null < 0 || dup2(err, 2) < 0 || dup2(null, 1) < 0) _exit(125);
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        if (as_limit) {
            const rlimit as{as_limit, as_limit};
            if (setrlimit(RLIMIT_AS, &as) != 0) _exit(126);
        }
        setenv("TMPDIR", tmpdir.c_str(), 1);
        if (classic) execl(TESSEL_SCAN, TESSEL_SCAN, "--classic", file.c_str(), static_cast<char*>(nullptr));
        else execl(TESSEL_SCAN, TESSEL_SCAN, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    child_result r;
    if (pid < 0) return r;
    if (meanwhile) meanwhile(pid);
    const tessel::test::child_end end = tessel::test::wait_for_child(pid, deadline_ms);
    r.finished = end.finished;
    r.status = end.status;
    r.max_rss_kb = end.usage.ru_maxrss;
    r.err = slurp(err_path);
    return r;
}

bool failed_with(const child_result& r, const char* words) {
    return r.finished && WIFEXITED(r.status) && WEXITSTATUS(r.status) == 1 && r.err.find(words) != std::string::npos;
}

// One shape of three points and 2 * pairs triangles, four bytes of text per
// pair: memory and time grow with the file, the point count does not.
std::string write_fan(const scratch_dir& dir, long pairs) {
    const std::string path = dir.path + "/fan.wrl";
    std::ofstream out(path, std::ios::binary);
    out << "DEF a { Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] } IndexedFaceSet { coordIndex [ 0 ";
    const std::string block = [] {
        std::string b;
        for (int i = 0; i < 4096; ++i) b += "1 2 ";
        return b;
    }();
    for (long i = 0; i < pairs / 4096; ++i) out << block;
    out << "-1 ] } }\n";
    return path;
}

// The standard reading's counterpart: one shape of `triangles` triangles
// over three points.
std::string write_triangles(const scratch_dir& dir, long triangles) {
    const std::string path = dir.path + "/triangles.wrl";
    std::ofstream out(path, std::ios::binary);
    out << "#VRML V1.0 ascii\nSeparator { Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n"
           "IndexedFaceSet { coordIndex [\n";
    std::string block;
    for (int i = 0; i < 4096; ++i) block += "0 1 2 -1\n";
    for (long i = 0; i < triangles / 4096; ++i) out << block;
    out << "] } }\n";
    return path;
}

TEST(HostileFiles, FifoWithoutWriterIsRefusedAtOnce) {
    scratch_dir dir, tmp;
    const std::string fifo = dir.path + "/scene.wrl";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const child_result r = run_scan(fifo, dir, tmp.path);
    ASSERT_TRUE(r.finished) << "tessel-scan still waited on the FIFO after " << deadline_ms << " ms";
    EXPECT_TRUE(failed_with(r, "not a regular file")) << r.status << " " << r.err;
}

// Wherever a load is stopped, even by SIGKILL, its stores go with it.
TEST(HostileFiles, NoStoreOutlivesALoadStoppedBySignal) {
    scratch_dir dir;
    const std::string fan = write_fan(dir, 8 << 20);
    for (const int sig : {SIGKILL, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        scratch_dir tmp;
        bool seen = false;
        // Mid-load is when the child holds a file under its TMPDIR open.
        const auto stop_mid_load = [&](pid_t pid) {
            const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
            while (!seen && std::chrono::steady_clock::now() < until) {
                for (const std::string& fd : entries(fds)) {
                    char target[4096];
                    const ssize_t n = readlink((fds + "/" + fd).c_str(), target, sizeof target - 1);
                    if (n > 0 && std::string(target, n).rfind(tmp.path + "/", 0) == 0) seen = true;
                }
                siginfo_t info{};
                if (!seen && waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
                    break;  // ended without being seen mid-load
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            kill(pid, sig);
        };
        const child_result r = run_scan(fan, dir, tmp.path, 0, stop_mid_load);
        ASSERT_TRUE(seen) << "never saw the load's stores open (signal " << sig << "): " << r.err;
        EXPECT_TRUE(r.finished && WIFSIGNALED(r.status) && WTERMSIG(r.status) == sig) << sig << " " << r.status;
        EXPECT_EQ(entries(tmp.path), std::vector<std::string>{}) << "after signal " << sig;
    }
}

// An address-space limit cannot be combined with AddressSanitizer, which
// reserves terabytes of shadow memory; the sanitizer build leaves this out.
#ifndef TESSEL_ADDRESS_SANITIZER
// Out of memory in any stage of a load (reading, scan, rebuild, normals) is
// a message and exit code 1. The limits sweep across every stage.
TEST(HostileFiles, RunningOutOfMemoryAnywhereIsAnErrorNotACrash) {
    scratch_dir dir, tmp;
    // Limits from low to high: every run loads or says it ran out of memory,
    // and both outcomes occur, so the sweep did cross the stages.
    const auto sweep = [&](const std::string& file, rlim_t step, rlim_t top, bool classic) {
        int loaded = 0, refused = 0;
        for (rlim_t mb = 20; mb <= top; mb += step) {
            const child_result r = run_scan(file, dir, tmp.path, mb << 20, {}, classic);
            ASSERT_TRUE(r.finished) << mb << " MB";
            if (WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) {
                ++loaded;
            } else {
                EXPECT_TRUE(failed_with(r, "memory")) << mb << " MB: status " << r.status << ", " << r.err;
                ++refused;
            }
        }
        EXPECT_GT(loaded, 0) << file;
        EXPECT_GT(refused, 0) << file;
    };
    sweep(write_fan(dir, 2 << 20), 20, 400, true);
    EXPECT_EQ(entries(tmp.path), std::vector<std::string>{});
    // The standard reading: parsing, triangulation, normals and the store.
    sweep(write_triangles(dir, 1 << 20), 20, 300, false);
}
#endif

// A few hundred kilobytes that inflate to 300 MB of spaces: refused with a
// message, long before that much memory is touched.
TEST(HostileFiles, CompressionBombIsRefusedEarly) {
    scratch_dir dir, tmp;
    const std::string bomb = dir.path + "/bomb.wrl.gz";
    gzFile f = gzopen(bomb.c_str(), "wb9");
    ASSERT_NE(f, nullptr);
    const std::string spaces(1 << 20, ' ');
    for (int i = 0; i < 300; ++i) ASSERT_EQ(gzwrite(f, spaces.data(), spaces.size()), int(spaces.size()));
    ASSERT_EQ(gzclose(f), Z_OK);
    const child_result r = run_scan(bomb, dir, tmp.path);
    EXPECT_TRUE(failed_with(r, "compression bomb")) << r.status << " " << r.err;
#ifndef TESSEL_ADDRESS_SANITIZER  // which keeps freed blocks in quarantine
    EXPECT_LT(r.max_rss_kb, 150 * 1024);
#endif
}

}  // namespace
