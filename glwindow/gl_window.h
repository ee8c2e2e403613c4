#pragma once
// The viewer's GL window, opened the one way every program of the project
// opens it, and the display handler that shows the renderer's frame there.
// Joins the toolkit and the renderer; knows nothing of Qt, so tools,
// benchmarks and tests use it as the viewer does.
//
// Frames are drawn on demand, never in a loop: the toolkit asks for one on
// expose and resize, and redraw_if_changed asks for one when the view or the
// scene moved on. A still scene costs no drawing at all.
//
// While the view or the world moves (changed within the last 0.3 s), a
// frame draws a heavy scene through its stand-in where the renderer has one
// (renderer::make_stand_ins, render/stand_in.h); such a frame asks the
// toolkit for the full picture 0.3 s after the last motion, which draws
// unless a newer motion asked again.

#include <cstdint>
#include <cstdio>

#include "render/render.h"
#include "scene/scene.h"

namespace tessel {

// The title the viewer's GL window carries (and scripts look it up by).
inline constexpr const char* kGlWindowTitle = "KORVANE VRML TESSALO";

// What the GL window shows, owned by the program that opens it (the
// viewer's application, a tool, a test): the scene, the view steered by the
// panel or the hand, the user's drawing switches, and the renderer that
// keeps what it derives from them between frames.
struct gl_content {
    scene_store scene;
    view_transform view;
    render_settings settings;
    renderer draw;
};

// Opens the process's GL window (double-buffered, 24-bit depth, stencil)
// with its client area at (300, 10) on the screen and the given size,
// showing content (which must outlive the window), and installs the
// renderer's reshape handler. False when no window opened.
bool open_gl_window(const char* title, int width, int height, gl_content& content);

// The GL window's client size as its last reshape gave it (0 x 0 before the
// window opens and while it is minimised).
struct window_size {
    int width = 0;
    int height = 0;
};
window_size gl_window_size();

// The display handler: draws the window's content and presents the frame.
void show_frame();

// Asks the GL window for a new frame when its content's view or scene
// differ from what the last frame showed. Cheap when nothing changed, so it
// may run on every tick of the panel.
void redraw_if_changed();

// Frames shown since the process started; tests count them.
std::uint64_t frames_shown();

// From now on each frame shown writes `frame <milliseconds> <moving|still>`
// to `to` (null: no more): its time from the start of drawing until the GL
// has finished it, and whether the view or the world was moving, that is
// whether they changed within the last 0.3 s; ` stand-in` follows on a
// frame that drew the stand-in. Once a stand-in is ready, the next frame
// adds a line `stand-in <triangles> of <triangles> triangles in <n> shapes,
// copied in <ms> ms, made in <ms> ms`.
void report_frames(std::FILE* to);

}  // namespace tessel
