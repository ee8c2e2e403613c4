#include "gen_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace tessel::bench {

std::int64_t generate_scene(const std::string& path, std::int64_t triangles) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return -1;
    std::string out = "#VRML V1.0 ascii\r\n\r\n";
    const int shapes = triangles >= 100000 ? 8 : 2;
    const std::int64_t per_shape = triangles / shapes;
    // A torus of u x v quads gives 2uv triangles over uv points.
    const std::int64_t v = std::max<std::int64_t>(3, static_cast<std::int64_t>(std::sqrt(per_shape / 8.0)));
    const std::int64_t u = std::max<std::int64_t>(3, per_shape / (2 * v));
    std::int64_t written = 0;
    char line[1024];
    const double pi = 3.14159265358979323846;
    for (int s = 0; s < shapes; ++s) {
        const double cx = -300.0 + 600.0 * (s + 0.5) / shapes;
        std::snprintf(line, sizeof line,
                      "DEF Torus%d Separator {\r\n"
                      "    Transform {\r\n"
                      "        translation %.3f %.3f 0\r\n"
                      "        rotation 1 0 0 %.4f\r\n"
                      "    }\r\n"
                      "    Material {\r\n"
                      "        diffuseColor %.3f %.3f %.3f\r\n"
                      "    }\r\n"
                      "    Coordinate3 {\r\n"
                      "        point [\r\n",
                      s, cx, 40.0 * (s % 3) - 40.0, 0.3 + 0.2 * s, 0.3 + 0.7 * ((s * 37) % 10) / 10.0,
                      0.3 + 0.7 * ((s * 53) % 10) / 10.0, 0.3 + 0.7 * ((s * 71) % 10) / 10.0);
        out += line;
        const double big = 250.0 / shapes, small = big * 0.35;
        for (std::int64_t i = 0; i < u; ++i) {
            const double a = 2 * pi * static_cast<double>(i) / static_cast<double>(u);
            for (std::int64_t j = 0; j < v; ++j) {
                const double b = 2 * pi * static_cast<double>(j) / static_cast<double>(v);
                const double r = big + small * std::cos(b);
                std::snprintf(line, sizeof line, "            %.5f %.5f %.5f,\r\n", r * std::cos(a), r * std::sin(a),
                              small * std::sin(b));
                out += line;
            }
            if (out.size() > (1u << 22)) {
                if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return std::fclose(f), -1;
                out.clear();
            }
        }
        out += "        ]\r\n    }\r\n    IndexedFaceSet {\r\n        coordIndex [\r\n";
        for (std::int64_t i = 0; i < u; ++i) {
            for (std::int64_t j = 0; j < v; ++j) {
                const std::int64_t p00 = i * v + j, p10 = ((i + 1) % u) * v + j;
                const std::int64_t p01 = i * v + (j + 1) % v, p11 = ((i + 1) % u) * v + (j + 1) % v;
                std::snprintf(line, sizeof line, "            %lld, %lld, %lld, -1,\r\n            %lld, %lld, %lld, -1,\r\n",
                              static_cast<long long>(p00), static_cast<long long>(p10), static_cast<long long>(p11),
                              static_cast<long long>(p00), static_cast<long long>(p11), static_cast<long long>(p01));
                out += line;
                written += 2;
            }
            if (out.size() > (1u << 22)) {
                if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return std::fclose(f), -1;
                out.clear();
            }
        }
        out += "        ]\r\n    }\r\n}\r\n\r\n";
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return (std::fclose(f) == 0 && ok) ? written : -1;
}

std::int64_t generate_separator_scene(const std::string& path, std::int64_t count) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return -1;
    std::string out = "#VRML V1.0 ascii\n\nSeparator {\n";
    static const char* const primitives[] = {"Cube { width 0.8 height 0.8 depth 0.8 }",
                                             "Sphere { radius 0.45 }",
                                             "Cone { bottomRadius 0.4 height 0.9 }",
                                             "Cylinder { radius 0.4 height 0.9 }"};
    const std::int64_t side = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::cbrt(static_cast<double>(count))) + 1);
    char part[1024];
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t x = i % side, y = (i / side) % side, z = i / (side * side);
        std::snprintf(part, sizeof part,
                      "  Separator {\n"
                      "    Transform { translation %lld %lld %lld rotation 0 1 0 %.3f }\n"
                      "    Material { diffuseColor %.3f %.3f %.3f }\n",
                      static_cast<long long>(x), static_cast<long long>(y), static_cast<long long>(z),
                      0.1 * static_cast<double>(i % 31), 0.2 + 0.8 * static_cast<double>(x) / static_cast<double>(side),
                      0.2 + 0.8 * static_cast<double>(y) / static_cast<double>(side),
                      0.2 + 0.8 * static_cast<double>(i % 7) / 7.0);
        out += part;
        if (i % 5 == 4) {
            out += "    Coordinate3 { point [ -0.4 -0.4 0, 0.4 -0.4 0, 0.4 0.4 0, -0.4 0.4 0, 0 0 0.4 ] }\n"
                   "    IndexedFaceSet { coordIndex [ 0, 1, 4, -1, 1, 2, 4, -1, 2, 3, 4, -1, 3, 0, 4, -1, 3, 2, 1, 0, -1 ] }\n";
        } else {
            out += "    ";
            out += primitives[i % 5 % 4];
            out += '\n';
        }
        out += "  }\n";
        if (out.size() > (1u << 22)) {
            if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return std::fclose(f), -1;
            out.clear();
        }
    }
    out += "}\n";
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return (std::fclose(f) == 0 && ok) ? count : -1;
}

namespace {

constexpr std::int64_t torus_u = 25, torus_v = 20;

}  // namespace

void append_torus_points(std::string& out) {
    const double pi = 3.14159265358979323846, big = 1.0, small = 0.35;
    char line[128];
    for (std::int64_t i = 0; i < torus_u; ++i) {
        const double a = 2 * pi * static_cast<double>(i) / static_cast<double>(torus_u);
        for (std::int64_t j = 0; j < torus_v; ++j) {
            const double b = 2 * pi * static_cast<double>(j) / static_cast<double>(torus_v);
            const double r = big + small * std::cos(b);
            std::snprintf(line, sizeof line, "            %.5f %.5f %.5f,\n", r * std::cos(a), r * std::sin(a),
                          small * std::sin(b));
            out += line;
        }
    }
}

void append_torus_faces(std::string& out) {
    const std::int64_t u = torus_u, v = torus_v;
    char line[128];
    for (std::int64_t i = 0; i < u; ++i) {
        for (std::int64_t j = 0; j < v; ++j) {
            const std::int64_t p00 = i * v + j, p10 = ((i + 1) % u) * v + j;
            const std::int64_t p01 = i * v + (j + 1) % v, p11 = ((i + 1) % u) * v + (j + 1) % v;
            std::snprintf(line, sizeof line, "          %lld, %lld, %lld, -1, %lld, %lld, %lld, -1,\n",
                          static_cast<long long>(p00), static_cast<long long>(p10), static_cast<long long>(p11),
                          static_cast<long long>(p00), static_cast<long long>(p11), static_cast<long long>(p01));
            out += line;
        }
    }
}

// 25 x 20 quads: 1000 triangles over 500 points per part, on a square grid.
std::int64_t torus_part_count(std::int64_t triangles) {
    return std::max<std::int64_t>(1, (triangles + torus_u * torus_v) / (2 * torus_u * torus_v));
}

torus_part torus_part_at(std::int64_t p, std::int64_t count) {
    const auto side = static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    torus_part part;
    part.x = static_cast<long long>(3 * (p % side));
    part.y = static_cast<long long>(3 * (p / side));
    const std::int64_t steps[3] = {37, 53, 71};
    for (int k = 0; k < 3; ++k) part.colour[k] = 0.3 + 0.7 * static_cast<double>((p * steps[k]) % 10) / 10.0;
    return part;
}

std::int64_t generate_vrml97_scene(const std::string& path, std::int64_t triangles, bool smooth) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return -1;
    const std::int64_t parts = torus_part_count(triangles);
    std::string out = "#VRML V2.0 utf8\n\n";
    std::int64_t written = 0;
    char line[1024];
    for (std::int64_t p = 0; p < parts; ++p) {
        const torus_part part = torus_part_at(p, parts);
        std::snprintf(line, sizeof line,
                      "Transform {\n"
                      "  translation %lld %lld 0\n"
                      "  children [\n"
                      "    Shape {\n"
                      "      appearance Appearance {\n"
                      "        material Material { diffuseColor %.3f %.3f %.3f }\n"
                      "      }\n"
                      "      geometry IndexedFaceSet {\n%s"
                      "        coord Coordinate {\n"
                      "          point [\n",
                      part.x, part.y, part.colour[0], part.colour[1], part.colour[2],
                      smooth ? "        creaseAngle 0.5\n" : "");
        out += line;
        append_torus_points(out);
        out += "          ]\n        }\n        coordIndex [\n";
        append_torus_faces(out);
        written += 2 * torus_u * torus_v;
        out += "        ]\n      }\n    }\n  ]\n}\n";
        if (out.size() > (1u << 22)) {
            if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return std::fclose(f), -1;
            out.clear();
        }
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return (std::fclose(f) == 0 && ok) ? written : -1;
}

std::int64_t generate_vrml97_copies_scene(const std::string& path, std::int64_t copies) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return -1;
    copies = std::max<std::int64_t>(1, copies);
    // 100 x 50 quads: the part's 10000 triangles over 5000 points.
    constexpr std::int64_t u = 100, v = 50;
    static_assert(2 * u * v == copied_part_triangles);
    const std::int64_t side = static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(copies))));
    const double pi = 3.14159265358979323846, big = 1.0, small = 0.35;
    // The part is written once, as exporters write a footprint's model, with
    // short lines: the file's size is the part's, whatever the copies.
    std::string out =
        "#VRML V2.0 utf8\n\n"
        "Transform {\n"
        "  translation 0 0 0\n"
        "  children [\n"
        "    DEF Part Group {\n"
        "      children [\n"
        "        Shape {\n"
        "          appearance Appearance { material Material { diffuseColor 0.8 0.6 0.2 } }\n"
        "          geometry IndexedFaceSet {\n"
        "            coord Coordinate { point [\n";
    char line[256];
    for (std::int64_t i = 0; i < u; ++i) {
        const double a = 2 * pi * static_cast<double>(i) / static_cast<double>(u);
        for (std::int64_t j = 0; j < v; ++j) {
            const double b = 2 * pi * static_cast<double>(j) / static_cast<double>(v);
            const double r = big + small * std::cos(b);
            std::snprintf(line, sizeof line, "%.4f %.4f %.4f,\n", r * std::cos(a), r * std::sin(a), small * std::sin(b));
            out += line;
        }
    }
    out += "            ] }\n            coordIndex [\n";
    for (std::int64_t i = 0; i < u; ++i) {
        for (std::int64_t j = 0; j < v; ++j) {
            const std::int64_t p00 = i * v + j, p10 = ((i + 1) % u) * v + j;
            const std::int64_t p01 = i * v + (j + 1) % v, p11 = ((i + 1) % u) * v + (j + 1) % v;
            std::snprintf(line, sizeof line, "%lld,%lld,%lld,-1,%lld,%lld,%lld,-1,\n", static_cast<long long>(p00),
                          static_cast<long long>(p10), static_cast<long long>(p11), static_cast<long long>(p00),
                          static_cast<long long>(p11), static_cast<long long>(p01));
            out += line;
        }
    }
    out += "            ]\n          }\n        }\n      ]\n    }\n  ]\n}\n";
    for (std::int64_t c = 1; c < copies; ++c) {
        std::snprintf(line, sizeof line, "Transform { translation %lld %lld 0 children [ USE Part ] }\n",
                      static_cast<long long>(3 * (c % side)), static_cast<long long>(3 * (c / side)));
        out += line;
        if (out.size() > (1u << 22)) {
            if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return std::fclose(f), -1;
            out.clear();
        }
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return (std::fclose(f) == 0 && ok) ? copies * copied_part_triangles : -1;
}

}  // namespace tessel::bench
