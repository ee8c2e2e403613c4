// Big models: a part placed many times is built once, and a load gives the
// same store whatever the number of threads it uses.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "input/threads.h"
#include "open/open.h"
#include "tests/support/test_env.h"

namespace tessel::test {
namespace {

// Every triangle corner of the store where it stands in the world.
std::vector<std::array<float, 3>> world_corners(const scene_store& store) {
    std::vector<std::array<float, 3>> out;
    for (const shape_record& shape : store.shapes) {
        const shape_record& arrays = drawn_arrays(store, shape);
        arrays.corners.visit([&](auto corners) {
            for (const auto c : corners) {
                float p[3] = {arrays.points[3 * c], arrays.points[3 * c + 1], arrays.points[3 * c + 2]};
                if (shape.motion >= 0) store.motions.at(static_cast<std::size_t>(shape.motion)).place(p, p);
                out.push_back({p[0], p[1], p[2]});
            }
        });
    }
    return out;
}

std::size_t copies(const scene_store& store) {
    std::size_t n = 0;
    for (const shape_record& shape : store.shapes) n += shape.shares >= 0;
    return n;
}

const std::string triangle = "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] } "
                             "coordIndex [0 1 2] } }";

struct sharing_case {
    const char* name;
    std::string body;                         // after a DEF P of the triangle
    std::size_t copies;                       // records that draw another's arrays
    std::vector<std::array<float, 3>> first;  // the first corner of each record, in the world
};

void PrintTo(const sharing_case& c, std::ostream* os) { *os << c.name; }

class SharedParts : public ::testing::TestWithParam<sharing_case> {};

TEST_P(SharedParts, PlacedAgainWhereTheFileSays) {
    const sharing_case& c = GetParam();
    scratch_dir dir;
    dir.write("part.wrl", "#VRML V2.0 utf8\nTransform { translation 0 0 7 children " + triangle + " }\n");
    const std::string path = dir.write("s.wrl", "#VRML V2.0 utf8\nDEF P Transform { children " + triangle + " }\n" + c.body);
    scene_store store;
    std::unique_ptr<scene_world> world;
    const load_result r = open_scene_world(path, store, reading_mode::standard, world);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(copies(store), c.copies);
    const auto corners = world_corners(store);
    ASSERT_EQ(corners.size(), 3 * c.first.size());
    for (std::size_t s = 0; s < c.first.size(); ++s)
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(corners[3 * s][k], c.first[s][k], 1e-5) << "shape " << s;
    // The bounds the view frames take every copy in.
    EXPECT_GT(store.bound_radius, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SharedParts,
    ::testing::Values(
        sharing_case{"Moved", "Transform { translation 5 0 0 children USE P }", 1, {{0, 0, 0}, {5, 0, 0}}},
        sharing_case{"TurnedAndScaled", "Transform { rotation 0 0 1 3.14159265 scale 2 2 2 children USE P }", 1,
                     {{0, 0, 0}, {0, 0, 0}}},
        // A group of uses used again: each placement of the triangle is one copy.
        sharing_case{"Nested",
                     "DEF G Group { children [ Transform { translation 1 0 0 children USE P } "
                     "Transform { translation 2 0 0 children USE P } ] }\n"
                     "Transform { translation 0 3 0 children USE G }",
                     4, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 3, 0}, {2, 3, 0}}},
        // A mirror turns the faces' order: built anew, as its own shape.
        sharing_case{"Mirrored", "Transform { scale -1 1 1 children USE P }", 0, {{0, 0, 0}, {0, 1, 0}}},
        // The same file inlined twice is read and built once.
        sharing_case{"InlinedTwice",
                     "Inline { url \"part.wrl\" }\nTransform { translation 0 4 0 children Inline { url \"./part.wrl\" } }",
                     1, {{0, 0, 0}, {0, 0, 7}, {0, 4, 7}}},
        // A world that moves keeps every shape its own.
        sharing_case{"MovingWorld",
                     "DEF T Transform { children USE P }\nDEF C TimeSensor { loop TRUE }\n"
                     "DEF I PositionInterpolator { key [0 1] keyValue [0 0 0, 1 0 0] }\n"
                     "ROUTE C.fraction_changed TO I.set_fraction ROUTE I.value_changed TO T.translation",
                     0, {{0, 0, 0}, {0, 0, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A part placed a thousand times costs one part's arrays and a record per copy.
TEST(SharedParts, ThousandPlacementsKeepOneCopyOfTheArrays) {
    scratch_dir dir;
    std::string body;
    for (int i = 1; i < 1000; ++i) body += "Transform { translation " + std::to_string(i) + " 0 0 children USE P }\n";
    std::string mesh = "#VRML V2.0 utf8\nDEF P Shape { geometry IndexedFaceSet { coord Coordinate { point [";
    std::string index;
    for (int i = 0; i < 2000; ++i) {
        mesh += std::to_string(i % 50) + " " + std::to_string(i / 50) + " 0, ";
        if (i % 50 < 49 && i / 50 < 39) index += std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 51) + " -1 ";
    }
    const std::string path = dir.write("s.wrl", mesh + "] } coordIndex [" + index + "] } }\n" + body);
    scene_store store;
    ASSERT_TRUE(open_scene_file(path, store, reading_mode::standard).ok);
    ASSERT_EQ(store.shapes.size(), 1000u);
    std::int64_t bytes = 0, faces = 0;
    for (std::size_t s = 0; s < store.shapes.size(); ++s) {
        bytes += shape_bytes(store.shapes[s]);
        faces += store.face_counts[s];
    }
    EXPECT_EQ(faces, 1000 * store.face_counts[0]);
    EXPECT_LT(bytes, 2 * shape_bytes(store.shapes[0]) + 1000 * 1024);
}

// Every value of a store that a load decides, as one comparable text.
std::string store_text(const scene_store& store, const load_result& result) {
    // The values' own bytes: equal only when every value is, bit for bit.
    std::string out;
    const auto put = [&out](const auto& values) {
        const auto* bytes = reinterpret_cast<const char*>(std::data(values));
        out.append(bytes, std::size(values) * sizeof(*std::data(values)));
        out += '|';
    };
    for (std::size_t s = 0; s < store.shapes.size(); ++s) {
        const shape_record& shape = store.shapes[s];
        const std::int64_t head[] = {static_cast<int>(shape.kind), shape.motion, shape.shares, shape.lit,
                                     shape.two_sided, store.point_counts[s], store.face_counts[s]};
        put(head);
        put(shape.points);
        put(shape.normals);
        put(shape.colours);
        put(shape.lights);
        put(shape.material.diffuse);
        shape.corners.visit([&](auto corners) { put(corners); });
    }
    for (const scene_motion& m : store.motions) put(m.matrix);
    const float bound[] = {store.bound_radius, static_cast<float>(store.lights.size())};
    put(bound);
    for (const std::string& w : result.warnings) out += w + "\n";
    out += result.incomplete + "\n";
    return out;
}

// A large file of many kinds of shape, some of them placed again, some
// with problems that warn, loaded on one thread and on several.
TEST(Threads, OneThreadAndManyMakeTheSameStore) {
    scratch_dir dir;
    std::string v2 = "#VRML V2.0 utf8\nDirectionalLight { direction 0 -1 0 }\nPointLight { location 0 5 0 }\n";
    std::string v1 = "#VRML V1.0 ascii\n";
    for (int part = 0; part < 1500; ++part) {
        std::string points, index, colours;
        for (int i = 0; i < 200; ++i) {
            points += std::to_string(part % 7) + "." + std::to_string(i) + " " + std::to_string(i % 13) + " " +
                      std::to_string((i * 7) % 11) + ",\n";
            colours += "0." + std::to_string(i % 10) + " 0.5 0." + std::to_string(part % 10) + ",\n";
            if (i + 2 < 200) index += std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + " -1 ";
        }
        if (part % 50 == 7) index += "999 0 1 -1 ";  // out of range: a warning
        const std::string t = std::to_string(part);
        v2 += "DEF T" + t + " Transform { translation " + t + " 0 0 children [ Shape { appearance Appearance { material "
              "Material { diffuseColor 0.2 0.4 0.6 transparency " + std::to_string(part % 3 == 0 ? 0.5 : 0) +
              " } } geometry IndexedFaceSet { creaseAngle " + std::to_string(part % 4) + " coord Coordinate { point [" +
              points + "] } " + (part % 2 ? "color Color { color [" + colours + "] } " : std::string()) +
              "coordIndex [" + index + "] } }\n  Shape { geometry Sphere { radius 0.5 } } ] }\n";
        if (part % 100 == 99) v2 += "Transform { translation 0 9 0 children USE T" + std::to_string(part - 1) + " }\n";
        // Late in the file, where a later share reads it: a part that moves.
        if (part == 1400)
            v2 += "DEF C TimeSensor { loop TRUE }\nDEF I PositionInterpolator { key [0 1] keyValue [0 0 0, 0 5 0] }\n"
                  "ROUTE C.fraction_changed TO I.set_fraction ROUTE I.value_changed TO T1400.set_translation\n";
        v1 += "DEF S" + t + " Separator { Translation { translation " + t + " 0 0 } Material { diffuseColor [0.1 0.2 0.3, 0.9 0.8 0.7] } "
              "MaterialBinding { value PER_FACE } Coordinate3 { point [" + points + "] } IndexedFaceSet { coordIndex [" +
              index + "] } Cube {} ShapeHints { creaseAngle 1 } Coordinate3 { point [" + points +
              "] } IndexedFaceSet { coordIndex [" + index + "] } }\n";
        if (part % 100 == 99) v1 += "Separator { Translation { translation 0 9 0 } USE S" + std::to_string(part - 1) + " }\n";
    }
    for (const std::string* text : {&v2, &v1}) {
        ASSERT_GT(text->size(), 9u << 20);  // large enough to be read in shares
        const std::string path = dir.write(text == &v2 ? "v2.wrl" : "v1.wrl", *text);
        std::string made[2];
        for (const int threads : {1, 4}) {
            reader::set_load_threads(threads);
            scene_store store;
            std::unique_ptr<scene_world> world;
            const load_result r = open_scene_world(path, store, reading_mode::standard, world);
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_EQ(world != nullptr, text == &v2);
            if (world) world->play_to(0.5, store);
            EXPECT_GT(r.warning_count, 0);
            made[threads == 1 ? 0 : 1] = store_text(store, r);
        }
        reader::set_load_threads(0);
        EXPECT_GT(made[0].size(), 8u << 20);
        EXPECT_TRUE(made[0] == made[1]) << path;  // not printed: megabytes
    }
}

}  // namespace
}  // namespace tessel::test
