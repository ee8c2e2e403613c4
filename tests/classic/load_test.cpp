#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "input/budget.h"
#include "input/text.h"
#include "reader_support.h"

using tessel::load_result;
using tessel::load_scene_file;
using tessel::scene_store;
using tessel::test::load_text;
using tessel::test::scratch_dir;

namespace {

std::vector<std::int32_t> corners(const tessel::shape_record& s) {
    std::vector<std::int32_t> out;
    for (std::size_t k = 0; k < (s.corners.size() / 3); ++k)
        for (int c = 0; c < 3; ++c) out.push_back(s.corners[3 * (k) + c]);
    return out;
}

std::string node(const std::string& points, const std::string& indices) {
    return "DEF n Separator {\n Coordinate3 { point [ " + points + " ] }\n IndexedFaceSet { coordIndex [ " +
           indices + " ] }\n}\n";
}

TEST(Load, RebuildPairsCountsStoresAndValues) {
    const scene_store s = load_text(
        "DEF a Separator {\n"
        "  Transform { translation 1 2 3 rotation 0 0 1 1.5708 }\n"
        "  Material { diffuseColor 0.1 0.2 0.3 }\n"
        "  Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n"
        "  IndexedFaceSet { coordIndex [ 0 1 2 -1 0 2 1 -1 ] }\n"
        "}\n"
        "DEF b Separator {\n"
        "  Coordinate3 { point [ 5 5 5, 6 6 6, 7 7 7, 8 8 8 ] }\n"
        "  IndexedFaceSet { coordIndex [ 0 1 2 -1 1 2 3 -1 ] }\n"
        "}\n");
    ASSERT_EQ(s.shape_count, 2);
    EXPECT_EQ(s.point_counts, (std::vector<std::int64_t>{3, 4}));
    EXPECT_EQ(s.face_counts, (std::vector<std::int64_t>{2, 2}));
    EXPECT_EQ(corners(s.shapes[0]), (std::vector<std::int32_t>{0, 1, 2, 0, 2, 1}));
    EXPECT_EQ(corners(s.shapes[1]), (std::vector<std::int32_t>{0, 1, 2, 1, 2, 3}));
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(s.shapes[1].points[3 * i], 5.0f + static_cast<float>(i));
    EXPECT_EQ(s.shapes[0].translation[2], 3.0f);
    EXPECT_EQ(s.shapes[0].rotation[2], 1.0f);
    EXPECT_EQ(s.shapes[0].rotation[3], 1.5708f);
    EXPECT_EQ(s.shapes[0].colour[1], 0.2f);
    // The second node's walk began inside the first, so it keeps its values.
    EXPECT_EQ(s.shapes[1].colour[0], 0.1f);
    EXPECT_EQ(s.shapes[1].scale[0], 1.0f);
}

TEST(Load, WideIndicesAreKept) {
    std::string points;
    for (int i = 0; i < 70001; ++i) points += "1 2 3,";
    const scene_store s = load_text(node(points, "0 65536 70000 -1"));
    ASSERT_EQ(s.shape_count, 1);
    EXPECT_EQ(s.point_counts[0], 70001);
    EXPECT_EQ(corners(s.shapes[0]), (std::vector<std::int32_t>{0, 65536, 70000}));
}

// Triangles naming points the shape does not have are dropped, never read.
TEST(Load, OutOfRangeTrianglesAreDropped) {
    const struct {
        const char* indices;
        std::vector<std::int32_t> kept;
    } cases[] = {
        {"0 1 2 -1 0 1 3 -1 2 1 0", {0, 1, 2, 2, 1, 0}},
        {"0 1 -2 -1 0 1 2", {0, 1, 2}},
        {"0 1 65535 -1 0 1 1e10 -1 0 1 -1e10 -1 0 1 nan", {}},
        {"0 1 2.9 -1", {0, 1, 2}},
        {"0 1 -1.0 2", {}},
    };
    for (const auto& c : cases) {
        const scene_store s = load_text(node("0 0 0, 1 0 0, 0 1 0", c.indices));
        ASSERT_EQ(s.shape_count, 1);
        EXPECT_EQ(corners(s.shapes[0]), c.kept) << c.indices;
        EXPECT_EQ(s.face_counts[0], static_cast<std::int64_t>(c.kept.size() / 3)) << c.indices;
        EXPECT_EQ(s.shapes[0].corners.size(), c.kept.size());
    }
}

TEST(Load, MissingIndexListGivesNoFacesAndLeftoverValuesStayWithTheirShape) {
    // Shape b has no index list: it gets none, and nothing is read past the
    // stores' ends.
    const scene_store a = load_text(node("0 0 0, 1 0 0, 0 1 0", "0 1 2") +
                                    "DEF b { Coordinate3 { point [ 1 1 1, 2 2 2, 3 3 3 ] } }\n");
    ASSERT_EQ(a.shape_count, 2);
    EXPECT_EQ(a.face_counts, (std::vector<std::int64_t>{1, 0}));
    EXPECT_TRUE(a.shapes[1].corners.empty());
    // Seven coordinates make two points; the seventh does not become the
    // next shape's first.
    const scene_store b = load_text("DEF a { Coordinate3 { point [ 1 1 1, 2 2 2, 9 ] } }\n"
                                    "DEF b { Coordinate3 { point [ 5 6 7 ] } }\n");
    ASSERT_EQ(b.shape_count, 2);
    EXPECT_EQ(b.point_counts, (std::vector<std::int64_t>{2, 1}));
    EXPECT_EQ(b.shapes[1].points, (std::vector<float>{5, 6, 7}));
}

TEST(Load, NormalsAreComputed) {
    const scene_store s = load_text(node("0 0 0, 1 0 0, 0 1 0, 5 5 5", "0 1 2"));
    ASSERT_EQ(s.shape_count, 1);
    const auto& sh = s.shapes[0];
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(sh.normals[3 * (p) + 0], 0.0f);
        EXPECT_EQ(sh.normals[3 * (p) + 2], 1.0f);
    }
    EXPECT_EQ(sh.normals[3 * (3) + 2], 0.0f);  // unused point
}

TEST(Load, ProcessingMilestonesAndReadingProgress) {
    scratch_dir dir;
    std::vector<int> reading, processing;
    scene_store store;
    const load_result r = load_scene_file(dir.write("a.wrl", node("0 0 0, 1 0 0, 0 1 0", "0 1 2")), store,
                                          [&](int p) { reading.push_back(p); },
                                          [&](int p) { processing.push_back(p); });
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(processing, (std::vector<int>{10, 30, 70, 100}));
    ASSERT_FALSE(reading.empty());
    for (std::size_t i = 1; i < reading.size(); ++i) EXPECT_GT(reading[i], reading[i - 1]);
    EXPECT_LE(reading.back(), 100);
}

TEST(Load, EmptyOrShapelessFilesGiveAnEmptyScene) {
    for (const char* text : {"", "#VRML V1.0 ascii\n", "DEF a { Material { diffuseColor 1 0 0 } }\n", "x"}) {
        load_result r;
        const scene_store s = load_text(text, &r);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(s.shape_count, 0);
        EXPECT_TRUE(s.shapes.empty());
    }
}

TEST(Load, FailureKeepsThePreviousSceneAndNamesTheFile) {
    scratch_dir dir;
    scene_store store;
    ASSERT_TRUE(load_scene_file(dir.write("good.wrl", node("0 0 0, 1 0 0, 0 1 0", "0 1 2")), store).ok);
    const std::uint64_t generation = store.generation;
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir.path + "/missing.wrl", "No such file or directory"},
        {dir.path, "Is a directory"},
        {"/dev/null", "not a regular file"},
    };
    for (const auto& c : cases) {
        const load_result r = load_scene_file(c.path, store);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(c.path), std::string::npos) << r.error;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
        EXPECT_EQ(store.shape_count, 1);
        EXPECT_EQ(store.generation, generation);
        EXPECT_EQ(store.face_counts[0], 1);
    }
}

std::vector<std::string> entries(const std::string& path) {
    std::vector<std::string> out;
    if (DIR* d = opendir(path.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

// The stores live in a folder of the load's own under $TMPDIR and are gone
// afterwards; the current directory is never written.
TEST(Load, StoresLiveInAPrivateFolderThatIsRemoved) {
    scratch_dir dir, tmp, cwd;
    const std::string file = dir.write("a.wrl", node("0 0 0, 1 0 0, 0 1 0", "0 1 2"));
    char old_cwd[4096];
    ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
    ASSERT_EQ(chdir(cwd.path.c_str()), 0);
    setenv("TMPDIR", tmp.path.c_str(), 1);
    scene_store store;
    const load_result ok = load_scene_file(file, store);
    EXPECT_TRUE(ok.ok) << ok.error;
    EXPECT_TRUE(entries(tmp.path).empty());
    EXPECT_TRUE(entries(cwd.path).empty());

    // Without a usable temporary folder the load fails and says why.
    setenv("TMPDIR", (tmp.path + "/does-not-exist").c_str(), 1);
    const load_result bad = load_scene_file(file, store);
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.error.find("does-not-exist"), std::string::npos) << bad.error;
    EXPECT_EQ(store.shape_count, 1);
    unsetenv("TMPDIR");
    ASSERT_EQ(chdir(old_cwd), 0);
}

// A file larger than the machine can hold (here a sparse one) is read only
// up to its first zero byte, at once; one whose text goes on beyond what
// memory allows is refused with a clear message instead of exhausting it.
TEST(Load, HugeFilesEndAtAZeroByteOrAreRefused) {
    scratch_dir dir;
    const long long size = static_cast<long long>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE) * 2;
    const std::string head = node("0 0 0, 1 0 0, 0 1 0", "0 1 2");
    const struct {
        std::string start;
        bool ok;
    } cases[] = {{head, true}, {head + std::string(2 << 20, ' '), false}};
    for (const auto& c : cases) {
        const std::string path = dir.write("huge.wrl", c.start);
        ASSERT_EQ(truncate(path.c_str(), size), 0) << "a sparse file of " << size << " bytes";
        scene_store store;
        const load_result r = load_scene_file(path, store);
        EXPECT_EQ(r.ok, c.ok) << r.error;
        if (c.ok) {
            EXPECT_EQ(store.face_counts, (std::vector<std::int64_t>{1}));
        } else {
            EXPECT_NE(r.error.find("too large"), std::string::npos) << r.error;
            EXPECT_NE(r.error.find(std::to_string(size)), std::string::npos) << r.error;
        }
    }
}

std::string gzip_file(const std::string& path, const std::string& text, int members) {
    gzFile f = gzopen(path.c_str(), "wb");
    gzwrite(f, text.data(), static_cast<unsigned>(text.size() / members));
    gzclose(f);
    if (members > 1) {
        gzFile g = gzopen(path.c_str(), "ab");
        const std::string rest = text.substr(text.size() / members);
        gzwrite(g, rest.data(), static_cast<unsigned>(rest.size()));
        gzclose(g);
    }
    return path;
}

// Compressed scenes open like the plain file, whatever their name.
TEST(Load, GzipScenesOpenTransparently) {
    scratch_dir dir;
    const std::string text = node("0 0 0, 1 0 0, 0 1 0, 1 1 0", "0 1 3 2 -1");
    for (const auto& [name, members] : {std::pair{"a.wrl.gz", 1}, {"b.wrl", 1}, {"c.wrl", 2}}) {
        scene_store store;
        const load_result r = load_scene_file(gzip_file(dir.path + "/" + name, text, members), store);
        ASSERT_TRUE(r.ok) << name << ": " << r.error;
        EXPECT_EQ(store.point_counts, (std::vector<std::int64_t>{4})) << name;
        EXPECT_EQ(corners(store.shapes[0]), (std::vector<std::int32_t>{0, 1, 3, 0, 3, 2})) << name;
    }
    // A damaged or cut stream is an error that keeps the scene.
    scene_store store;
    ASSERT_TRUE(load_scene_file(dir.write("plain.wrl", text), store).ok);
    const std::string whole = std::string(reinterpret_cast<const char*>(
        tessel::test::file_bytes(gzip_file(dir.path + "/d.gz", text, 1)).data()), 40);
    for (const std::string& bad : {whole.substr(0, 30), std::string("\x1f\x8b\x08garbage-garbage")}) {
        const load_result r = load_scene_file(dir.write("bad.wrl", bad), store);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("bad.wrl"), std::string::npos) << r.error;
        EXPECT_NE(r.error.find("compressed"), std::string::npos) << r.error;
        EXPECT_EQ(store.point_counts, (std::vector<std::int64_t>{4}));
    }
}

// A program's own budget (a thumbnailer's) bounds plain and compressed text
// alike; without it the same files load.
TEST(Load, BudgetBoundsPlainAndCompressedText) {
    scratch_dir dir;
    const std::string text = node("0 0 0, 1 0 0, 0 1 0", "0 1 2") + std::string(2 << 20, ' ');
    const std::string files[] = {dir.write("plain.wrl", text), gzip_file(dir.path + "/packed.wrl", text, 1)};
    tessel::reader::set_load_budget(1 << 20);
    for (const std::string& file : files) {
        scene_store store;
        const load_result r = load_scene_file(file, store);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find(file), std::string::npos) << r.error;
        EXPECT_NE(r.error.find("1 MB"), std::string::npos) << r.error;
    }
    tessel::reader::set_load_budget(0);
    for (const std::string& file : files) {
        scene_store store;
        const load_result r = load_scene_file(file, store);
        EXPECT_TRUE(r.ok) << r.error;
        EXPECT_EQ(store.face_counts, (std::vector<std::int64_t>{1})) << file;
    }
}

TEST(Load, ZeroByteEndsTheText) {
    std::string text = node("0 0 0, 1 0 0, 0 1 0", "0 1 2");
    text += std::string(1, '\0') + node("1 1 1", "0 0 0");
    const scene_store s = load_text(text);
    EXPECT_EQ(s.shape_count, 1);
}

}  // namespace
