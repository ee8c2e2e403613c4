#pragma once
// Drawing a scene store into the current GL context. A renderer keeps what
// it derives from the store it draws (vertex arrays, texture objects) from
// one frame to the next, so every window, snapshot or test that draws has
// its own, and two scenes can be drawn side by side.

#include <cstdint>
#include <vector>

#include "render/draw_budget.h"
#include "render/prepared_scene.h"
#include "render/stand_in.h"
#include "render/texture_objects.h"
#include "scene/scene.h"

namespace tessel {

class renderer {
public:
    // Lighting, viewport over the whole client area and the fixed +-400
    // orthographic box. The aspect ratio is ignored, so that the whole box
    // fills the window whatever its shape.
    void reshape(std::int32_t width, std::int32_t height);

    // Clears (to the scene's background when it has one) and draws every
    // shape of scene under view and its own transform, with settings.
    // Presenting the frame is the caller's: a window swaps its buffers, an
    // off-screen target reads the pixels back.
    // moving: the view or the world is moving, and the picture is replaced
    // soon; large shapes are then drawn through their stand-in where one is
    // ready (make_stand_ins). A frame that is not moving draws everything in
    // full, always.
    void frame(const scene_store& scene, const view_transform& view, const render_settings& settings,
               bool moving = false);

    // Whether frames start making a stand-in (render/stand_in.h) in the
    // background for each heavy scene they meet, within limits. Off unless
    // asked: only an interactive window wants one; a snapshot draws one
    // still frame.
    void make_stand_ins(bool on, const stand_in_limits& limits = {});
    // The stand-in of the scene drawn last, once made; its finished() count
    // tells a new one from the last one seen.
    const stand_in_maker& stand_ins() const { return stand_ins_; }
    // Waits until the stand-in under way, if any, is made (tests and
    // benchmarks).
    void wait_for_stand_in() { stand_ins_.wait(); }

    // The arrays the frames draw from (for tests and benchmarks), and what
    // the last frame drew of the scene: the viewer and snapshots tell the
    // user when it is not the whole scene.
    const prepared_scene& arrays() const { return arrays_; }
    const draw_report& report() const { return report_; }

private:
    prepared_scene arrays_;
    texture_objects textures_;
    draw_report report_;
    bool make_stand_ins_ = false;
    stand_in_limits stand_in_limits_;
    stand_in_maker stand_ins_;
    std::uint64_t stand_in_builds_ = 0;  // the arrays' build the maker last started from
    std::vector<corner_view> chosen_;    // the last moving frame's choice
};

}  // namespace tessel
