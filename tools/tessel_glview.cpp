// tessel-glview [--classic] [--] FILE [rx ry rz]
// Shows one scene file in the GL window alone, turned by the given view
// rotation (degrees about x, y and z), read in the standard reading unless
// --classic asks for the original word scan. Escape quits; so does closing
// the window.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "glwindow/gl_window.h"
#include "scene/scene.h"
#include "toolkit/toolkit.h"
#include "open/open.h"

namespace {

constexpr const char* usage_text = "usage: tessel-glview [--classic] [--] FILE [RX RY RZ]\n       tessel-glview --help | --version\n";

void usage() { std::fputs(usage_text, stderr); }

// Locale-independent and strict: "12", "-4.5", "1e2"; nothing trailing.
bool parse_degrees(const char* text, float& out) {
    const char* end = text + std::strlen(text);
    const char* first = (*text == '+') ? text + 1 : text;
    const auto [stop, error] = std::from_chars(first, end, out);
    return error == std::errc{} && stop == end && first != end;
}

}  // namespace

int main(int argc, char** argv) {
    // Options come before the file: the angles after it may be negative.
    int first = 1;
    tessel::reading_mode reading = tessel::reading_mode::standard;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; ++first) {
        if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        }
        if (std::strcmp(argv[first], "--help") == 0) {
            std::fputs(usage_text, stdout);
            return 0;
        }
        if (std::strcmp(argv[first], "--version") == 0) {
            std::printf("tessel-glview (tessel) %s\n", TESSEL_VERSION);
            return 0;
        }
        if (std::strcmp(argv[first], "--classic") == 0) {
            reading = tessel::reading_mode::classic;
            continue;
        }
        std::fprintf(stderr, "tessel-glview: unknown option %s\n", argv[first]);
        usage();
        return 2;
    }
    char** operands = argv + first;
    const int count = argc - first;
    if (count != 1 && count != 4) {
        usage();
        return 2;
    }
    float rotation[3] = {0.0f, 0.0f, 0.0f};
    if (count == 4) {
        for (int i = 0; i < 3; ++i) {
            if (!parse_degrees(operands[1 + i], rotation[i])) {
                std::fprintf(stderr, "tessel-glview: \"%s\" is not a number of degrees\n", operands[1 + i]);
                usage();
                return 2;
            }
        }
    }

    // Load before opening the window, so that a bad file shows no window.
    tessel::gl_content shown;
    const tessel::load_result loaded = tessel::open_scene_file(operands[0], shown.scene, reading);
    if (!loaded.ok) {
        std::fprintf(stderr, "tessel-glview: %s\n", loaded.error.c_str());
        return 1;
    }
    tessel::print_warnings(stderr, loaded);
    for (int i = 0; i < 3; ++i) shown.view.rotation[i] = rotation[i];

    if (!tessel::open_gl_window(tessel::kGlWindowTitle, 400, 400, shown)) {
        std::fprintf(stderr, "tessel-glview: cannot open the GL window (is DISPLAY set?)\n");
        return 1;
    }
    // Nothing moves here: frames come from expose and resize alone.
    run_event_loop(tessel::show_frame);
    return 0;
}
