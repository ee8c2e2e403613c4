#include "glwindow/gl_window.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "render/render.h"
#include "scene/scene.h"
#include "toolkit/toolkit.h"

namespace tessel {

namespace {

// What the last frame showed, to tell whether a new one would differ.
struct shown_state {
    std::uint64_t frames = 0;               // frames shown by this process
    std::uint64_t frames_in_window = 0;     // frames shown in the window opened last
    std::uint64_t generation = 0;           // the scene's generation at the last frame
    std::uint64_t moved = 0;                // how often its moving parts had moved
    view_transform view;                    // the view at the last frame
    render_settings settings;               // the drawing switches at the last frame
};

// The one toolkit window's binding: what it shows, what it showed last, its size.
gl_content* g_content = nullptr;
shown_state g_shown;
window_size g_size;

void reshape_and_note_size(std::int32_t width, std::int32_t height) {
    g_size = window_size{width, height};
    if (g_content) g_content->draw.reshape(width, height);
}

// Compared bit for bit: a NaN typed into an edit must not look like a change
// on every tick, and -0 against 0 costs at most one frame.
static_assert(std::is_trivially_copyable_v<view_transform> && sizeof(view_transform) == 9 * sizeof(float),
              "same_view compares the view's bytes; a new field must be compared too");
bool same_view(const view_transform& a, const view_transform& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

bool open_gl_window(const char* title, int width, int height, gl_content& content) {
    g_content = &content;
    set_display_mode(DM_DOUBLE | DM_STENCIL | DM_DEPTH24);
    set_window_geometry(300, 10, width, height);
    if (open_window(title) != 1) return false;
    set_reshape_handler(&reshape_and_note_size);
    g_shown.frames_in_window = 0;
    return true;
}

namespace {

using clock_type = std::chrono::steady_clock;

std::FILE* g_frame_report = nullptr;
clock_type::time_point g_last_motion;  // the last frame whose view or world moved

constexpr auto motion_lasts = std::chrono::milliseconds(300);

// Whether the frame about to be drawn shows a view or a world in motion:
// changed since the last frame, or within the last 0.3 s. A new scene is no
// motion, whatever its count of moves.
bool in_motion(clock_type::time_point now) {
    const gl_content& c = *g_content;
    if (g_shown.frames > 0 && (!same_view(c.view, g_shown.view) ||
                               (c.scene.generation == g_shown.generation && c.scene.moved != g_shown.moved)))
        g_last_motion = now;
    return g_shown.frames > 0 && now - g_last_motion < motion_lasts;
}

// The stand-in last told about in the frame report.
std::uint64_t g_stand_ins_reported = 0;

void report_stand_in(const renderer& draw) {
    const stand_in_maker& made = draw.stand_ins();
    if (made.finished() == g_stand_ins_reported) return;
    g_stand_ins_reported = made.finished();
    const stand_in_summary& s = made.summary();
    std::fprintf(g_frame_report, "stand-in %lld of %lld triangles in %zu shapes, copied in %.2f ms, made in %.2f ms\n",
                 static_cast<long long>(s.triangles), static_cast<long long>(s.scene_triangles), s.shapes,
                 s.copy_milliseconds, s.make_milliseconds);
}

}  // namespace

void report_frames(std::FILE* to) { g_frame_report = to; }

void show_frame() {
    if (!g_content) return;
    const auto start = clock_type::now();
    // While the view or the world moves, a heavy scene is drawn through its
    // stand-in; the full picture follows once they have stood still for
    // 0.3 s, asked for now, as nothing else may come to ask for a frame.
    const bool moving = in_motion(start);
    g_content->draw.frame(g_content->scene, g_content->view, g_content->settings, moving);
    const bool coarse = g_content->draw.report().stand_ins > 0;
    present_frame();
    if (coarse) {
        const auto left = g_last_motion + motion_lasts - clock_type::now();
        post_redisplay_after(static_cast<std::int32_t>(
            std::max<std::int64_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count(), 0)));
    }
    if (g_frame_report) {
        glFinish();
        const double ms = std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
        std::fprintf(g_frame_report, "frame %.2f %s%s\n", ms, moving ? "moving" : "still", coarse ? " stand-in" : "");
        report_stand_in(g_content->draw);
        std::fflush(g_frame_report);
    }
    ++g_shown.frames;
    g_shown.view = g_content->view;
    g_shown.settings = g_content->settings;
    g_shown.generation = g_content->scene.generation;
    g_shown.moved = g_content->scene.moved;
    // A window's first frame clears to the toolkit's black and leaves the
    // renderer's grey for every later one: the picture the window keeps is
    // the second, so it follows at once.
    if (++g_shown.frames_in_window == 1) post_redisplay();
}

void redraw_if_changed() {
    if (!g_content) return;
    const gl_content& c = *g_content;
    if (c.scene.generation != g_shown.generation || c.scene.moved != g_shown.moved || !same_view(c.view, g_shown.view) ||
        c.settings.headlight != g_shown.settings.headlight || c.settings.use_camera != g_shown.settings.use_camera)
        post_redisplay();
}

std::uint64_t frames_shown() { return g_shown.frames; }

window_size gl_window_size() { return g_size; }

}  // namespace tessel
