#include "render/render.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>

#include "render/draw_budget.h"
#include "render/draw_elements.h"
#include "render/prepared_scene.h"
#include "render/standard_draw.h"
#include "scene/scene.h"

namespace tessel {

namespace {

void draw_shape(const shape_record& shape, const prepared_shape& arrays, corner_view indices, const view_transform& view,
                draw_pacer& pacer) {
    glPushMatrix();
    glRotatef(view.rotation[0], 1.0f, 0.0f, 0.0f);
    glRotatef(view.rotation[1], 0.0f, 1.0f, 0.0f);
    glRotatef(view.rotation[2], 0.0f, 0.0f, 1.0f);
    glTranslatef(view.translation[0], view.translation[1], view.translation[2]);
    glScalef(shape.scale[0], shape.scale[1], shape.scale[2]);
    glTranslatef(shape.translation[0], shape.translation[1], shape.translation[2]);
    glRotatef(shape_rotation_degrees(shape.rotation[3]), shape.rotation[0], shape.rotation[1],
              shape.rotation[2]);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);

    if (!indices.empty()) {
        // One colour for the whole shape: every triangle would set the same
        // value, so the lighting state each vertex sees is the same.
        glColor3fv(shape.colour);
        glVertexPointer(3, GL_FLOAT, 0, arrays.points.data());
        glNormalPointer(GL_FLOAT, 0, arrays.normals.data());
        draw_elements(pacer, GL_TRIANGLES, indices);
    }
    glPopMatrix();
}

}  // namespace

void renderer::reshape(std::int32_t width, std::int32_t height) {
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-400.0, 400.0, -400.0, 400.0, -400.0, 400.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
}

void renderer::make_stand_ins(bool on, const stand_in_limits& limits) {
    make_stand_ins_ = on;
    stand_in_limits_ = limits;
    stand_ins_.stop();
    stand_in_builds_ = 0;  // started again by the next frame, when on
}

void renderer::frame(const scene_store& scene, const view_transform& view, const render_settings& settings,
                     bool moving) {
    // A file's own background is set before the clear, so that the first
    // frame after a load already shows it.
    // A fog leaves the file's Background as it is; behind a world without
    // one, the fog's colour stands for the distance rather than the
    // viewer's grey.
    if (scene.background) {
        const std::array<float, 3>& sky = *scene.background;
        glClearColor(sky[0], sky[1], sky[2], 1.0f);
    } else if (const scene_fog* fog = fog_in_view(scene, settings)) {
        glClearColor(fog->colour[0], fog->colour[1], fog->colour[2], 1.0f);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    // Set after the clear on purpose: the first frame shows the toolkit's
    // black, every later one mid-grey.
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);

    const std::uint64_t failed = arrays_.failed_builds();
    arrays_.update(scene, view.scale);
    if (arrays_.failed_builds() != failed)
        std::fputs("tessel: not enough memory to draw the scene; the window stays empty\n", stderr);
    const std::vector<prepared_shape>& arrays = arrays_.shapes();
    // A stand-in per build of the arrays (a new store, mostly), started by
    // the first frame that draws it, still or not; its thread works on
    // copies, so the store may change in any way after this frame.
    if (make_stand_ins_ && arrays_.builds() != stand_in_builds_) {
        stand_in_builds_ = arrays_.builds();
        stand_ins_.start(scene, arrays, stand_in_limits_);
    }
    if (make_stand_ins_) stand_ins_.ready();  // joins a finished thread, never waits
    chosen_.clear();
    if (moving && make_stand_ins_) choose_stand_ins(stand_ins_, scene, arrays, chosen_);
    const std::span<const corner_view> stand_ins = chosen_;
    report_ = draw_report{};
    report_.generation = scene.generation;
    report_.out_of_memory = arrays_.out_of_memory();
    // update() has just matched the prepared shapes to this store, so every
    // index below is inside scene.shapes as well.
    if (scene.reading == scene_reading::standard) {
        if (!report_.out_of_memory)
            report_ = draw_standard_scene(scene, arrays, textures_, view, settings, {}, stand_ins);
    } else if (!arrays.empty()) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        draw_pacer pacer;
        for (std::size_t s = 0; s < arrays.size(); ++s) {
            const bool coarse = s < stand_ins.size() && !stand_ins[s].empty();
            draw_shape(scene.shapes[s], arrays[s], coarse ? stand_ins[s] : arrays[s].indices, view, pacer);
            if (coarse) ++report_.stand_ins;
        }
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
    }

    glFlush();
}

}  // namespace tessel
