// Frame time of worlds that move, in the viewer's GL window: a large still
// scene against the same scene with one small part turning, and a world of
// many parts each moving on its own. Every frame of a moving world is one
// tick of its clock (1/60 s) and a drawn, finished frame. All measured in
// the same run.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" tessel-world-bench [TRIANGLES [PARTS]]
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gen_scene.h"
#include "glwindow/gl_window.h"
#include "open/open.h"

namespace {

using clock_type = std::chrono::steady_clock;

tessel::gl_content& content() {
    static tessel::gl_content c;
    return c;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The text of a generated VRML 2.0 scene without its first line.
std::string body_of(const std::string& path) {
    const std::string text = slurp(path);
    return text.substr(text.find('\n') + 1);
}

// One 1000-triangle part that turns about y every 4 seconds.
std::string turning_part(const std::string& folder) {
    const std::string path = folder + "/part.wrl";
    tessel::bench::generate_vrml97_scene(path, 1000);
    return "DEF SPIN Transform { translation 0 0 -5 children [\n" + body_of(path) +
           "\n] }\nDEF CLOCK TimeSensor { cycleInterval 4 loop TRUE }\n"
           "DEF TURN OrientationInterpolator { key [0 .25 .5 .75 1] "
           "keyValue [0 1 0 0, 0 1 0 1.5708, 0 1 0 3.1416, 0 1 0 4.7124, 0 1 0 6.2832] }\n"
           "ROUTE CLOCK.fraction_changed TO TURN.set_fraction\nROUTE TURN.value_changed TO SPIN.set_rotation\n";
}

// A sheet of about 1000 triangles that ripples: its points move every tick.
std::string morphing_part() {
    constexpr int n = 23;  // points a side: 2 * 22 * 22 = 968 triangles
    std::string flat, wave, index;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = i * 0.2, z = j * 0.2;
            flat += std::to_string(x) + " 0 " + std::to_string(z) + ",";
            wave += std::to_string(x) + " " + std::to_string(0.3 * std::sin(i * 0.6) * std::cos(j * 0.6)) + " " +
                    std::to_string(z) + ",";
            if (i + 1 < n && j + 1 < n) {
                const int a = j * n + i;
                index += std::to_string(a) + " " + std::to_string(a + n) + " " + std::to_string(a + 1) + " -1 " +
                         std::to_string(a + 1) + " " + std::to_string(a + n) + " " + std::to_string(a + n + 1) + " -1 ";
            }
        }
    return "Transform { translation 0 3 -5 children Shape { appearance Appearance { material Material { "
           "diffuseColor 0.3 0.6 0.9 } } geometry IndexedFaceSet { solid FALSE creaseAngle 1 coord DEF SHEET "
           "Coordinate { point [" + flat + "] } coordIndex [" + index + "] } } }\n"
           "DEF WAVES TimeSensor { cycleInterval 3 loop TRUE }\n"
           "DEF RIPPLE CoordinateInterpolator { key [0 .5 1] keyValue [" + flat + wave + flat + "] }\n"
           "ROUTE WAVES.fraction_changed TO RIPPLE.set_fraction\nROUTE RIPPLE.value_changed TO SHEET.point\n";
}

// `parts` boxes on a grid, each going round its own circle at its own pace.
std::string moving_parts(int parts) {
    std::string s = "#VRML V2.0 utf8\n";
    const int side = static_cast<int>(std::ceil(std::sqrt(parts)));
    for (int i = 0; i < parts; ++i) {
        const double x = (i % side) * 3.0, z = (i / side) * 3.0;
        const double r = 0.5 + (i % 7) * 0.1;
        char buf[1024];
        std::snprintf(buf, sizeof buf,
                      "DEF P%d Transform { translation %g 0 %g children Shape { appearance Appearance { material "
                      "Material { diffuseColor %g %g 0.5 } } geometry Box { size 1 1 1 } } }\n"
                      "DEF C%d TimeSensor { cycleInterval %g loop TRUE }\n"
                      "DEF I%d PositionInterpolator { key [0 .25 .5 .75 1] keyValue [%g 0 %g, %g 0 %g, %g 0 %g, "
                      "%g 0 %g, %g 0 %g] }\n"
                      "ROUTE C%d.fraction_changed TO I%d.set_fraction ROUTE I%d.value_changed TO P%d.translation\n",
                      i, x, z, (i % 5) / 5.0, (i % 3) / 3.0, i, 2.0 + (i % 11) * 0.3, i, x + r, z, x, z + r, x - r,
                      z, x, z - r, x + r, z, i, i, i, i);
        s += buf;
    }
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct shown_world {
    std::unique_ptr<tessel::scene_world> world;
    double clock = 0;
};

bool load(const std::string& path, shown_world& w) {
    const tessel::load_result r =
        tessel::open_scene_world(path, content().scene, tessel::reading_mode::standard, w.world);
    if (!r.ok) std::fprintf(stderr, "tessel-world-bench: %s\n", r.error.c_str());
    w.clock = 0;
    return r.ok;
}

// Milliseconds of one frame: a tick of the world when it moves, then the
// frame drawn and finished.
double time_frame(shown_world& w, bool tick) {
    const auto start = clock_type::now();
    if (tick && w.world) {
        w.world->tick(w.clock, content().scene);
        w.clock += 1.0 / 60;
    }
    tessel::show_frame();
    glFinish();
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

std::vector<double> frames(shown_world& w, bool tick, std::chrono::seconds budget) {
    time_frame(w, tick);  // prepares the arrays
    std::vector<double> ms;
    const auto start = clock_type::now();
    while (ms.size() < 5 || (clock_type::now() - start < budget && ms.size() < 300)) ms.push_back(time_frame(w, tick));
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const long long triangles = argc > 1 ? std::atoll(argv[1]) : 2'000'000;
    const int parts = argc > 2 ? std::atoi(argv[2]) : 1000;
    char folder[] = "/tmp/tessel-world-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string still = std::string(folder) + "/still.wrl", moving = std::string(folder) + "/moving.wrl",
                      many = std::string(folder) + "/parts.wrl", morph = std::string(folder) + "/morph.wrl";
    tessel::bench::generate_vrml97_scene(still, triangles);
    std::ofstream(moving) << slurp(still) << turning_part(folder);
    std::ofstream(morph) << slurp(still) << morphing_part();
    std::ofstream(many) << moving_parts(parts);

    if (!tessel::open_gl_window("tessel world bench", 400, 400, content())) {
        std::fprintf(stderr, "tessel-world-bench: cannot open the GL window\n");
        return 1;
    }
    content().draw.reshape(400, 400);
    content().view.rotation[0] = 25.0f;
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    const auto long_run = std::chrono::seconds(triangles >= 1'000'000 ? 12 : 4);
    shown_world a, b, c;
    if (!load(still, a)) return 1;
    const std::vector<double> still_ms = frames(a, false, long_run);
    if (!load(moving, b)) return 1;
    const std::uint64_t rebuilds = b.world ? b.world->rebuilds() : 0;
    const std::vector<double> moving_ms = frames(b, true, long_run);
    const bool rebuilt = b.world && b.world->rebuilds() != rebuilds;
    const double s = median(still_ms), m = median(moving_ms);
    std::printf("%lld triangles still: %.2f ms a frame; with a 1000-triangle part turning: %.2f ms (%.3fx)%s\n",
                triangles, s, m, m / s, rebuilt ? ", REBUILT" : "");
    shown_world d;
    if (!load(morph, d)) return 1;
    const std::uint64_t morph_rebuilds = d.world ? d.world->rebuilds() : 0;
    const double r = median(frames(d, true, long_run));
    std::printf("%lld triangles with a 1000-triangle sheet rippling: %.2f ms (%.3fx)%s\n", triangles, r, r / s,
                d.world && d.world->rebuilds() != morph_rebuilds ? ", REBUILT" : "");
    if (!load(many, c)) return 1;
    const double p = median(frames(c, true, std::chrono::seconds(6)));
    std::printf("%d parts each moving: %.2f ms a frame, %.1f frames/s (%llu rebuilds)\n", parts, p, 1000.0 / p,
                static_cast<unsigned long long>(c.world ? c.world->rebuilds() : 0));
    std::remove(still.c_str());
    std::remove(moving.c_str());
    std::remove(many.c_str());
    std::remove(morph.c_str());
    std::remove((std::string(folder) + "/part.wrl").c_str());
    rmdir(folder);
    return 0;
}
