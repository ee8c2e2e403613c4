#include "app/gl_window.h"

#include "render/render.h"
#include "toolkit/toolkit.h"

namespace tessel {

bool open_gl_window(const char* title, int width, int height) {
    set_display_mode(DM_DOUBLE | DM_STENCIL | DM_DEPTH24);
    set_window_geometry(300, 10, width, height);
    if (open_window(title) != 1) return false;
    set_reshape_handler(&render_reshape);
    return true;
}

void show_frame() {
    render_frame();
    present_frame();
}

}  // namespace tessel
