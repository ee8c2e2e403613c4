#include "render/render.h"
#include "test_window.h"
#include "toolkit/toolkit.h"

namespace tessel::test {

bool open_test_window(int width, int height) {
    static const bool opened = [&] {
        set_display_mode(DM_DOUBLE | DM_DEPTH24 | DM_STENCIL);
        set_window_geometry(300, 10, width, height);
        if (open_window("tessel render test") != 1) return false;
        // What run_event_loop does before its first message.
        render_reshape(width, height);
        return true;
    }();
    return opened;
}

}  // namespace tessel::test
