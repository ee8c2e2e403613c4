#pragma once
// Walking and flying through a scene: the surfaces that stop the viewer,
// found by rays (Embree), and the steps a hand asks of the viewer's camera,
// with the avatar's width, eye height and the steps it may climb. Knows
// nothing of windows: the panel calls it with what the hand did.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "scene/scene.h"

namespace tessel {

// The scene's triangles that a walking viewer bumps into (shapes that
// collide, placed where their parts stand), ready for rays.
class collider {
public:
    collider();
    ~collider();
    collider(const collider&) = delete;
    collider& operator=(const collider&) = delete;

    // Takes the store's surfaces, again only when the store was replaced,
    // a part moved or a shape was drawn again since the last call (a camera
    // that moved changes nothing here).
    void follow(const scene_store& store);
    // How far from `origin` along the unit `direction` the first surface
    // lies, within `reach`; none when none does.
    std::optional<float> hit(const float origin[3], const float direction[3], float reach) const;
    std::size_t triangles() const { return triangles_; }

private:
    struct impl;
    std::unique_ptr<impl> p_;
    std::size_t triangles_ = 0;
    // What the surfaces were taken from.
    bool followed_ = false;
    std::uint64_t generation_ = 0;
    std::uint64_t revisions_ = 0;
    std::vector<scene_motion> motions_;
};

// What a hand asks of the viewer, in scene units and radians: forward along
// the view (kept level when walking), right across it, up (flying only),
// a turn to the left about the upright, and a look upwards.
struct walk_move {
    float forward = 0;
    float right = 0;
    float up = 0;
    float turn = 0;
    float look_up = 0;
};

// The camera after `move`. It turns, then moves until a surface comes
// within the avatar's radius (at the eye, and at the height of the highest
// step it climbs); walking, the eye then stands eye_height above the floor
// below it, climbing a step up to step_height and falling down any drop,
// and a step too high stops the move. Up is the camera's `upright`, the
// +y of the viewpoint's own coordinates. Flying moves the same way
// without the floor.
scene_camera walk_step(const scene_camera& camera, const walk_move& move, bool flying, const scene_navigation& avatar,
                       const collider& surfaces);

}  // namespace tessel
