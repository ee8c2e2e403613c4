#pragma once
// The transforms front ends keep while they walk a scene: 4x4 matrices for
// points, 2D affine matrices for texture coordinates.

#include "geometry/geometry.h"

namespace tessel::vrml {

matrix4 multiply(const matrix4& a, const matrix4& b);  // a * b: b applies first
// About an axis of any length (none, or an unreadable one, turns nothing).
matrix4 rotation_matrix(float x, float y, float z, float angle);
matrix4 translation_matrix(float x, float y, float z);
matrix4 scale_matrix(float x, float y, float z);
// The determinant of the upper 3x3 part: negative for a mirroring matrix,
// 0 for one that flattens space.
double determinant3(const matrix4& m);
// How long a length of m's coordinates is in the coordinates m maps into:
// the cube root of its volume scale (scales differing by axis averaged
// so); 1 for a matrix that flattens space or is not finite.
float uniform_scale(const matrix4& m);
// The inverse of an affine matrix (bottom row 0 0 0 1), computed in double.
// False for a matrix that flattens space, is not affine or not finite.
bool invert_affine(const matrix4& m, matrix4& inverse);

// a * b: b applies to the coordinates first.
texture_matrix multiply(const texture_matrix& a, const texture_matrix& b);

}  // namespace tessel::vrml
