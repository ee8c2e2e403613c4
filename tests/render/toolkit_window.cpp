#include "glwindow/gl_window.h"
#include "render/render.h"
#include "test_scenes.h"
#include "test_window.h"

namespace tessel::test {

bool open_test_window(int width, int height) {
    static const bool opened = [&] {
        if (!open_gl_window("tessel render test", width, height, test_content())) return false;
        // What run_event_loop does before its first message.
        test_content().draw.reshape(width, height);
        return true;
    }();
    return opened;
}

}  // namespace tessel::test
