// A GL application in miniature for the Escape test: it opens the window,
// says which one, and draws until the user ends it. Escape must end it with
// exit code 0 from inside the event loop; leaving the loop is a failure.

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>

#include "toolkit/toolkit.h"
#include "toolkit/window.h"

namespace {

const char* context_state() { return glXGetCurrentContext() ? "current" : "released"; }

void on_exit_hook() {
    std::printf("exit hook: window %s, context %s\n",
                tessel::toolkit::g_window.window ? "open" : "gone", context_state());
}

void at_process_exit() { std::printf("atexit: context %s\n", context_state()); }

void frame() {
    glClear(GL_COLOR_BUFFER_BIT);
    present_frame();
}

}  // namespace

int main() {
    std::atexit(at_process_exit);
    set_display_mode(DM_DOUBLE | DM_DEPTH24 | DM_STENCIL);
    set_window_geometry(40, 40, 200, 200);
    if (!open_window("escape")) return 2;
    set_exit_hook(on_exit_hook);
    set_idle_handler(frame);
    std::printf("window %lu\n", tessel::toolkit::g_window.window);
    std::fflush(stdout);
    run_event_loop(frame);
    std::printf("event loop returned\n");
    return 3;
}
