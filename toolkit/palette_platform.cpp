#include "toolkit/palette_platform.h"

#include "toolkit/palette_x11.h"

namespace tessel::toolkit {

namespace {
palette_platform* g_installed = nullptr;  // a test's stand-in; nullptr for X
}  // namespace

palette_platform& current_palette_platform() {
    static x_palette_platform x_colormaps;
    return g_installed ? *g_installed : x_colormaps;
}

void use_palette_platform(palette_platform* platform) { g_installed = platform; }

}  // namespace tessel::toolkit
