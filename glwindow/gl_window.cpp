#include "glwindow/gl_window.h"

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
    std::uint64_t generation = 0;           // g_scene's generation at the last frame
    view_transform view;                    // g_view at the last frame
    render_settings settings;               // g_render at the last frame
};

shown_state g_shown;
window_size g_size;

void reshape_and_note_size(std::int32_t width, std::int32_t height) {
    g_size = window_size{width, height};
    render_reshape(width, height);
}

// Compared bit for bit: a NaN typed into an edit must not look like a change
// on every tick, and -0 against 0 costs at most one frame.
static_assert(std::is_trivially_copyable_v<view_transform> && sizeof(view_transform) == 9 * sizeof(float),
              "same_view compares the view's bytes; a new field must be compared too");
bool same_view(const view_transform& a, const view_transform& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

bool open_gl_window(const char* title, int width, int height) {
    set_display_mode(DM_DOUBLE | DM_STENCIL | DM_DEPTH24);
    set_window_geometry(300, 10, width, height);
    if (open_window(title) != 1) return false;
    set_reshape_handler(&reshape_and_note_size);
    g_shown.frames_in_window = 0;
    return true;
}

void show_frame() {
    render_frame();
    present_frame();
    ++g_shown.frames;
    g_shown.view = g_view;
    g_shown.settings = g_render;
    g_shown.generation = g_scene.generation;
    // A window's first frame clears to the toolkit's black and leaves the
    // renderer's grey for every later one: the picture the window keeps is
    // the second, so it follows at once.
    if (++g_shown.frames_in_window == 1) post_redisplay();
}

void redraw_if_changed() {
    if (g_scene.generation != g_shown.generation || !same_view(g_view, g_shown.view) ||
        g_render.headlight != g_shown.settings.headlight || g_render.use_camera != g_shown.settings.use_camera)
        post_redisplay();
}

std::uint64_t frames_shown() { return g_shown.frames; }

window_size gl_window_size() { return g_size; }

}  // namespace tessel
