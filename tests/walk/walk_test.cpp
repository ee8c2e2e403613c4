// Walking and flying through a world read from its file: walls stop the
// viewer at its radius, the floor below keeps its eye at the avatar's
// height, steps are climbed up to the step height and fallen down, and a
// Collision decides what stops it.
#include <cmath>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "open/open.h"
#include "walk/walk.h"

namespace tessel {
namespace {

// A floor 40 x 40 with its top at y 0, and the viewer's eye 1.6 above it
// at the origin, looking down -z (avatar: radius 0.25, eye 1.6, step 0.75),
// unless a case's own viewpoint comes first.
const std::string room = R"(
Viewpoint { position 0 1.6 0 }
Transform { translation 0 -0.05 0 children Shape { geometry Box { size 40 0.1 40 } } }
)";

// A box of the given size whose near face (towards the viewer) is at z.
std::string block(float width, float height, float depth, float z, float bottom = 0) {
    return "Transform { translation 0 " + std::to_string(bottom + height / 2) + " " + std::to_string(z - depth / 2) +
           " children Shape { geometry Box { size " + std::to_string(width) + " " + std::to_string(height) + " " +
           std::to_string(depth) + " } } }\n";
}

struct walk_case {
    const char* name;
    std::string world;  // beside the room
    walk_move move;
    bool flying = false;
    float x = 0, y = 1.6f, z = 0;  // where the eye ends
};

void PrintTo(const walk_case& c, std::ostream* os) { *os << c.name; }

class Walking : public ::testing::TestWithParam<walk_case> {};

TEST_P(Walking, TheEyeEndsWhereTheWorldLetsIt) {
    const walk_case& c = GetParam();
    const std::string path = ::testing::TempDir() + "walk_" + std::to_string(getpid()) + ".wrl";
    std::ofstream(path) << "#VRML V2.0 utf8\n" << c.world << room;  // a viewpoint of the case comes first
    scene_store scene;
    const load_result r = open_scene_file(path, scene, reading_mode::standard);
    std::remove(path.c_str());
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(scene.camera);
    collider surfaces;
    surfaces.follow(scene);
    ASSERT_GT(surfaces.triangles(), 0u);
    const scene_camera after = walk_step(*scene.camera, c.move, c.flying, scene.navigation, surfaces);
    EXPECT_NEAR(after.position[0], c.x, 1e-3);
    EXPECT_NEAR(after.position[1], c.y, 1e-3);
    EXPECT_NEAR(after.position[2], c.z, 1e-3);
}

walk_move ahead(float distance) {
    walk_move m;
    m.forward = distance;
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Walking,
    ::testing::Values(
        walk_case{"OpenFloor", "", ahead(3), false, 0, 1.6f, -3},
        // The wall's face at z -5 stops the eye a radius before it.
        walk_case{"IntoAWall", block(20, 4, 0.2f, -5), ahead(10), false, 0, 1.6f, -4.75f},
        walk_case{"FlyingIntoAWall", block(20, 4, 0.2f, -5), ahead(10), true, 0, 1.6f, -4.75f},
        // A low step is climbed; one above the step height stops the walker
        // at its face, seen at knee height.
        walk_case{"UpAStep", block(20, 0.5f, 10, -2), ahead(3), false, 0, 2.1f, -3},
        walk_case{"StoppedByATooHighStep", block(20, 1.2f, 10, -2), ahead(3), false, 0, 1.6f, -1.75f},
        // Off a platform 1 high: the walker falls to the floor, a flyer stays.
        walk_case{"OffAStep", "Viewpoint { position 0 2.6 0 }\n" + block(4, 1, 4, 2), ahead(5), false, 0, 1.6f, -5},
        walk_case{"FlyingOffAStep", "Viewpoint { position 0 2.6 0 }\n" + block(4, 1, 4, 2), ahead(5), true, 0, 2.6f, -5},
        // A viewpoint in the air: the first step lands the walker.
        walk_case{"Lands", "Viewpoint { position 0 5 0 }\n", walk_move{}, false, 0, 1.6f, 0},
        // A Collision that does not collide lets the walker through; a proxy
        // stops it where nothing is seen.
        walk_case{"ThroughAWallThatDoesNotCollide", "Collision { collide FALSE children " + block(20, 4, 0.2f, -5) + "}",
                  ahead(10), false, 0, 1.6f, -10},
        walk_case{"StoppedByAProxy",
                  "Collision { proxy Transform { translation 0 2 -3 children Shape { geometry Box { size 20 4 0.2 } } } }",
                  ahead(10), false, 0, 1.6f, -2.65f},
        // Turned a quarter to the left, forward goes along -x; a sidestep
        // right goes along +x.
        walk_case{"TurnedLeft", "", [] {
                      walk_move m = ahead(2);
                      m.turn = 1.5707963f;
                      return m;
                  }(), false, -2, 1.6f, 0},
        walk_case{"SideStep", "", [] {
                      walk_move m;
                      m.right = 2;
                      return m;
                  }(), false, 2, 1.6f, 0},
        // In a world whose up is +z (the viewpoint stands in a turned
        // Transform), the floor is below along -z.
        walk_case{"UpIsTheViewpointsOwn",
                  "Transform { translation 0 5 0 rotation 1 0 0 1.5707963 children Viewpoint { position 0 0 0 } }\n"
                  "Transform { translation 0 5 -3 children Shape { geometry Box { size 10 10 0.1 } } }\n",
                  walk_move{}, false, 0, 5, -1.35f}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessel
