#include "reference_frame.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>

#include "scene/scene.h"
#include "test_scenes.h"
#include "toolkit/toolkit.h"

namespace tessel::test {

namespace {

bool usable(const shape_record& shape, std::int64_t points, std::uint32_t v) {
    return v < points && v < shape.point_count();
}

// A point without all three normal components stored is lit with the zero
// vector.
float normal_or_zero(const shape_record& shape, int c, std::size_t i) {
    return 3 * i + 2 < shape.normals.size() ? shape.normals[3 * i + static_cast<std::size_t>(c)] : 0.0f;
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
             static_cast<std::int64_t>(shape.corners.size() / 3)});
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
            const std::uint32_t corners[3] = {shape.corners[3 * kk], shape.corners[3 * kk + 1], shape.corners[3 * kk + 2]};
            if (!std::all_of(corners, corners + 3,
                             [&](std::uint32_t v) { return usable(shape, points, v); })) {
                continue;
            }
            glBegin(GL_TRIANGLES);
            glColor3fv(shape.colour);
            for (int k3 = 0; k3 < 3; ++k3) {
                const std::size_t i = corners[k3];
                glNormal3f(normal_or_zero(shape, 0, i), normal_or_zero(shape, 1, i),
                           normal_or_zero(shape, 2, i));
                const float* p = shape.points.data() + 3 * i;
                const float* scale = test_content().view.scale;
                glVertex3f(p[0] * scale[0], p[1] * scale[1], p[2] * scale[2]);
            }
            glEnd();
        }
        glPopMatrix();
    }
    glFlush();
    present_frame();
}

}  // namespace tessel::test
