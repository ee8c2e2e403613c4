#include "reference_frame.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>

#include "scene/scene.h"
#include "test_scenes.h"
#include "toolkit/toolkit.h"

namespace tessel::test {

namespace {

bool usable(const shape_record& shape, std::int64_t points, std::int32_t v) {
    if (v < 0 || v >= points) return false;
    const auto i = static_cast<std::size_t>(v);
    for (int c = 0; c < 3; ++c) {
        if (i >= shape.point[c].size()) return false;
    }
    return true;
}

// A point without all three normal components stored is lit with the zero
// vector.
float normal_or_zero(const shape_record& shape, int c, std::size_t i) {
    for (const auto& component : shape.normal) {
        if (i >= component.size()) return 0.0f;
    }
    return shape.normal[c][i];
}

}  // namespace

void reference_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    const std::int64_t shapes = std::min<std::int64_t>(
        {test_content().scene.shape_count, static_cast<std::int64_t>(test_content().scene.shapes.size()),
         static_cast<std::int64_t>(test_content().scene.point_counts.size()),
         static_cast<std::int64_t>(test_content().scene.face_counts.size())});
    for (std::int64_t s = 0; s < shapes; ++s) {
        const shape_record& shape = test_content().scene.shapes[static_cast<std::size_t>(s)];
        const std::int64_t points = test_content().scene.point_counts[static_cast<std::size_t>(s)];
        const std::int64_t faces = std::min<std::int64_t>(
            {test_content().scene.face_counts[static_cast<std::size_t>(s)],
             static_cast<std::int64_t>(shape.corner[0].size()),
             static_cast<std::int64_t>(shape.corner[1].size()),
             static_cast<std::int64_t>(shape.corner[2].size())});
        glPushMatrix();
        glRotatef(test_content().view.rotation[0], 1, 0, 0);
        glRotatef(test_content().view.rotation[1], 0, 1, 0);
        glRotatef(test_content().view.rotation[2], 0, 0, 1);
        glTranslatef(test_content().view.translation[0], test_content().view.translation[1], test_content().view.translation[2]);
        glScalef(shape.scale[0], shape.scale[1], shape.scale[2]);
        glTranslatef(shape.translation[0], shape.translation[1], shape.translation[2]);
        glRotatef(static_cast<float>(shape.rotation[3] * 57.3), shape.rotation[0], shape.rotation[1],
                  shape.rotation[2]);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        for (std::int64_t k = 0; k < faces; ++k) {
            const auto kk = static_cast<std::size_t>(k);
            const std::int32_t corners[3] = {shape.corner[0][kk], shape.corner[1][kk], shape.corner[2][kk]};
            if (!std::all_of(corners, corners + 3,
                             [&](std::int32_t v) { return usable(shape, points, v); })) {
                continue;
            }
            glBegin(GL_TRIANGLES);
            glColor3fv(shape.colour);
            for (std::int32_t v : corners) {
                const auto i = static_cast<std::size_t>(v);
                glNormal3f(normal_or_zero(shape, 0, i), normal_or_zero(shape, 1, i),
                           normal_or_zero(shape, 2, i));
                glVertex3f(shape.point[0][i] * test_content().view.scale[0], shape.point[1][i] * test_content().view.scale[1],
                           shape.point[2][i] * test_content().view.scale[2]);
            }
            glEnd();
        }
        glPopMatrix();
    }
    glFlush();
    present_frame();
}

}  // namespace tessel::test
