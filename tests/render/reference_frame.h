#pragma once
// The frame drawn the plain way: every triangle its own glBegin/glEnd with
// its colour, and a normal and a view-scaled vertex per corner. The renderer
// must produce exactly this picture.

namespace tessel::test {

// Same clear, transforms and flush as a renderer's frame, drawing
// test_content()'s scene under its view in immediate mode, then presents the frame as show_frame does. Faces naming a point the shape
// lacks are skipped rather than read out of bounds.
void reference_frame();

}  // namespace tessel::test
