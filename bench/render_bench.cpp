// Frame time of the viewer's frame (renderer::frame, then presented) on
// generated scenes, against the same picture drawn triangle by triangle in
// immediate mode and against a floor that only clears, hands the ready arrays
// to glDrawElements and presents. All three
// are measured in the same run, interleaved, in the 400 x 400 GL window.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" tessel-render-bench [TRIANGLES...]
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "glwindow/gl_window.h"
#include "reference_frame.h"
#include "render/prepared_scene.h"
#include "render/render.h"
#include "scene/scene.h"
#include "test_scenes.h"
#include "toolkit/toolkit.h"

namespace {

using clock_type = std::chrono::steady_clock;

void floor_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    for (const tessel::prepared_shape& shape : tessel::test::test_content().draw.arrays().shapes()) {
        glVertexPointer(3, GL_FLOAT, 0, shape.positions.data());
        glNormalPointer(GL_FLOAT, 0, shape.normals.data());
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(shape.indices.size()),
                       shape.indices.narrow() ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT, shape.indices.data());
    }
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glFlush();
    present_frame();
}

// Milliseconds of one frame, finished on the GL side.
double time_frame(void (*frame)()) {
    const auto start = clock_type::now();
    frame();
    glFinish();
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long long> sizes = {10'000, 200'000, 2'000'000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
    }

    if (!tessel::open_gl_window("tessel render bench", 400, 400, tessel::test::test_content())) {
        std::fprintf(stderr, "tessel-render-bench: cannot open the GL window\n");
        return 1;
    }
    tessel::test::test_content().draw.reshape(400, 400);
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    std::printf("%10s %9s %12s %10s %12s %16s\n", "triangles", "frame ms", "immediate ms", "floor ms",
                "frame/floor", "immediate/frame");

    for (const long long triangles : sizes) {
        tessel::test::install_scene(tessel::test::torus_field(triangles));
        tessel::test::test_content().view = tessel::view_transform{};
        tessel::test::test_content().view.rotation[0] = 25.0f;
        tessel::test::test_content().view.rotation[1] = -30.0f;
        long long drawn = 0;
        for (std::int64_t f : tessel::test::test_content().scene.face_counts) drawn += f;

        // The first frame prepares the arrays; a load pays that once.
        const double prepare = time_frame(tessel::show_frame);
        time_frame(tessel::test::reference_frame);
        time_frame(floor_frame);

        std::vector<double> frame, immediate, floor;
        const auto budget = std::chrono::seconds(triangles >= 1'000'000 ? 12 : 4);
        const auto start = clock_type::now();
        while (frame.size() < 5 || (clock_type::now() - start < budget && frame.size() < 200)) {
            frame.push_back(time_frame(tessel::show_frame));
            immediate.push_back(time_frame(tessel::test::reference_frame));
            floor.push_back(time_frame(floor_frame));
        }
        const double f = median(frame), i = median(immediate), fl = median(floor);
        std::printf("%10lld %9.2f %12.2f %10.2f %12.3f %16.2f   (%zu rounds, first frame %.1f ms)\n", drawn, f,
                    i, fl, f / fl, i / f, frame.size(), prepare);
        std::fflush(stdout);
    }
    return 0;
}
