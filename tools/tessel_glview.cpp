// tessel-glview FILE [rx ry rz]
// Shows one scene file in the GL window alone, turned by the given view
// rotation (degrees about x, y and z). Escape quits; so does closing the
// window.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "app/gl_window.h"
#include "reader/load.h"
#include "scene/scene.h"
#include "toolkit/toolkit.h"

namespace {

void usage() {
    std::fprintf(stderr, "usage: tessel-glview FILE [rx ry rz]\n");
}

// Locale-independent and strict: "12", "-4.5", "1e2"; nothing trailing.
bool parse_degrees(const char* text, float& out) {
    const char* end = text + std::strlen(text);
    const char* first = (*text == '+') ? text + 1 : text;
    const auto [stop, error] = std::from_chars(first, end, out);
    return error == std::errc{} && stop == end && first != end;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        usage();
        return 2;
    }
    float rotation[3] = {0.0f, 0.0f, 0.0f};
    if (argc == 5) {
        for (int i = 0; i < 3; ++i) {
            if (!parse_degrees(argv[2 + i], rotation[i])) {
                std::fprintf(stderr, "tessel-glview: \"%s\" is not a number of degrees\n", argv[2 + i]);
                usage();
                return 2;
            }
        }
    }

    // Load before opening the window, so that a bad file shows no window.
    const tessel::load_result loaded = tessel::load_scene_file(argv[1], tessel::g_scene);
    if (!loaded.ok) {
        std::fprintf(stderr, "tessel-glview: %s\n", loaded.error.c_str());
        return 1;
    }
    for (int i = 0; i < 3; ++i) tessel::g_view.rotation[i] = rotation[i];

    if (!tessel::open_gl_window(tessel::kGlWindowTitle, 400, 400)) {
        std::fprintf(stderr, "tessel-glview: cannot open the GL window (is DISPLAY set?)\n");
        return 1;
    }
    // Nothing moves here: frames come from expose and resize alone.
    run_event_loop(tessel::show_frame);
    return 0;
}
