#pragma once
// Points and directions in double, for arithmetic that float would round
// away (file values multiplied and summed, cameras turned step by step).

#include <cmath>

namespace tessel {

struct vec3d {
    double x = 0, y = 0, z = 0;
};

inline vec3d operator+(vec3d a, vec3d b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3d operator-(vec3d a, vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3d operator*(vec3d a, double k) { return {a.x * k, a.y * k, a.z * k}; }
inline bool operator==(vec3d a, vec3d b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline double dot(vec3d a, vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vec3d cross(vec3d a, vec3d b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(vec3d a) { return std::sqrt(dot(a, a)); }

}  // namespace tessel
