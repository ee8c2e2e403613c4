// tessel-scan: loads a scene file without any window and prints what the
// viewer made of it as one JSON object, for scripts, tests and users.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "input/budget.h"
#include "input/text.h"
#include "open/open.h"

namespace {

// Shortest text that reads back to the same single-precision value. JSON has
// no infinities or NaN, so those are written as strings.
void put_float(std::string& out, float v) {
    if (std::isnan(v)) {
        out += "\"nan\"";
        return;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "\"-inf\"" : "\"inf\"";
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

template <typename T>
void put_array(std::string& out, const T* values, int n) {
    out += '[';
    for (int i = 0; i < n; ++i) {
        if (i) out += ',';
        if constexpr (std::is_same_v<T, float>) put_float(out, values[i]);
        else out += std::to_string(values[i]);
    }
    out += ']';
}

// A JSON string: quotes, backslashes and control characters escaped.
void put_string(std::string& out, const std::string& text) {
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += ch;
        }
    }
    out += '"';
}

// `count` groups of `width` values, each written as an array of its first
// `shown` values (a single number when that is 1).
template <typename Values>
void put_groups(std::string& out, const char* name, const Values& values, int width, int shown,
                std::int64_t count) {
    out += ",\"";
    out += name;
    out += "\":[";
    for (std::int64_t i = 0; i < count; ++i) {
        if (i) out += ',';
        const auto* v = values.data() + i * width;
        if (shown == 1) out += std::to_string(v[0]);
        else put_array(out, v, shown);
    }
    out += ']';
}

// The image a textured shape shows: where it came from, its size, its
// components, and how it wraps.
void put_texture(std::string& out, const tessel::scene_store& store, const tessel::shape_record& s, bool full,
                 std::int64_t points) {
    if (s.texture < 0 || static_cast<std::size_t>(s.texture) >= store.textures.size()) return;
    const tessel::texture_image& image = *store.textures[static_cast<std::size_t>(s.texture)];
    out += ",\"texture\":{\"image\":";
    put_string(out, image.source);
    out += ",\"width\":" + std::to_string(image.width) + ",\"height\":" + std::to_string(image.height) +
           ",\"components\":" + std::to_string(image.components);
    out += ",\"wrap_s\":\"";
    out += s.wrap_s == tessel::texture_wrap::clamp ? "clamp" : "repeat";
    out += "\",\"wrap_t\":\"";
    out += s.wrap_t == tessel::texture_wrap::clamp ? "clamp" : "repeat";
    out += "\"}";
    const std::vector<float>& coords = tessel::drawn_arrays(store, s).texture_coords;
    if (!full || coords.size() < 2 * static_cast<std::size_t>(points)) return;
    put_groups(out, "texture_coordinate", coords, 2, 2, points);
}

const char* kind_name(tessel::shape_kind kind) {
    switch (kind) {
        case tessel::shape_kind::lines: return "lines";
        case tessel::shape_kind::points: return "points";
        default: return "triangles";
    }
}

// A shape's points and normals in world coordinates: those of a moving
// part placed where the part stands now.
struct placed_shape {
    std::vector<float> moved_points, moved_normals;
    const std::vector<float>& points;
    const std::vector<float>& normals;

    placed_shape(const tessel::scene_store& store, const tessel::shape_record& shape)
        : placed_shape(store, shape, tessel::drawn_arrays(store, shape)) {}

    placed_shape(const tessel::scene_store& store, const tessel::shape_record& shape, const tessel::shape_record& s)
        : points(shape.motion >= 0 ? moved_points : s.points), normals(shape.motion >= 0 ? moved_normals : s.normals) {
        if (shape.motion < 0 || static_cast<std::size_t>(shape.motion) >= store.motions.size()) return;
        const tessel::scene_motion& motion = store.motions[static_cast<std::size_t>(shape.motion)];
        const float* m = motion.matrix;
        moved_points.resize(s.points.size());
        for (std::size_t i = 0; i + 2 < s.points.size(); i += 3) motion.place(&s.points[i], &moved_points[i]);
        // Normals by the inverse transpose: the cofactors (c[3j + k] is row k,
        // column j), then unit length.
        const float c[9] = {m[5] * m[10] - m[6] * m[9], m[6] * m[8] - m[4] * m[10], m[4] * m[9] - m[5] * m[8],
                            m[2] * m[9] - m[1] * m[10], m[0] * m[10] - m[2] * m[8], m[1] * m[8] - m[0] * m[9],
                            m[1] * m[6] - m[2] * m[5], m[2] * m[4] - m[0] * m[6], m[0] * m[5] - m[1] * m[4]};
        moved_normals.resize(s.normals.size());
        for (std::size_t i = 0; i + 2 < s.normals.size(); i += 3) {
            float v[3];
            for (int k = 0; k < 3; ++k)
                v[k] = c[k] * s.normals[i] + c[3 + k] * s.normals[i + 1] + c[6 + k] * s.normals[i + 2];
            const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            for (int k = 0; k < 3; ++k) moved_normals[i + k] = l > 0 ? v[k] / l : 0.0f;
        }
    }
};

constexpr const char* usage_text =
    "usage: tessel-scan [--full] [--classic] [--time SECONDS] [--max-size MB] [--] FILE\n       tessel-scan --help | --version\n";

int usage() {
    std::fputs(usage_text, stderr);
    return 1;
}

int scan(const char* path, bool full, tessel::reading_mode mode, double time) {
    tessel::scene_store store;
    std::unique_ptr<tessel::scene_world> world;
    const tessel::load_result r = tessel::open_scene_world(path, store, mode, world);
    tessel::print_warnings(stderr, r);
    if (!r.ok) {
        std::fprintf(stderr, "tessel-scan: %s\n", r.error.c_str());
        return 1;
    }
    // A world that moves is shown at the time asked, 0 (its first tick) unless told.
    if (world) {
        world->play_to(time, store);
        for (const std::string& w : world->warnings()) std::fprintf(stderr, "%s\n", w.c_str());
    }
    // Standard shapes hold world coordinates and say what their corners list.
    const bool standard = store.reading == tessel::scene_reading::standard;
    std::string out = "{\"shapes\":[";
    for (std::size_t i = 0; i < store.shapes.size(); ++i) {
        const tessel::shape_record& s = store.shapes[i];
        if (i) out += ',';
        out += "{\"translation\":";
        put_array(out, s.translation, 3);
        out += ",\"rotation\":";
        put_array(out, s.rotation, 4);
        out += ",\"scale\":";
        put_array(out, s.scale, 3);
        out += ",\"colour\":";
        put_array(out, s.colour, 3);
        if (standard) {
            out += ",\"kind\":\"";
            out += kind_name(s.kind);
            out += '"';
            // A shape seen through says how much; an opaque one says nothing.
            if (s.material.transparency > 0) {
                out += ",\"transparency\":";
                put_float(out, s.material.transparency);
            }
        }
        out += ",\"points\":" + std::to_string(store.point_counts[i]);
        out += ",\"faces\":" + std::to_string(store.face_counts[i]);
        if (standard) put_texture(out, store, s, full, store.point_counts[i]);
        if (full) {
            // Corners of a standard shape: triples, pairs or single numbers by kind.
            const int per = standard ? static_cast<int>(tessel::corners_per_primitive(s.kind)) : 3;
            // A copy of a shape placed again lists its own place, from the arrays it shares.
            const tessel::shape_record& arrays = tessel::drawn_arrays(store, s);
            const placed_shape world(store, s);
            put_groups(out, "point", world.points, 3, 3, store.point_counts[i]);
            arrays.corners.visit([&](auto corners) { put_groups(out, "corner", corners, per, per, store.face_counts[i]); });
            put_groups(out, "normal", world.normals, 3, 3, store.point_counts[i]);
            if (standard && !arrays.colours.empty()) {
                put_groups(out, "vertex_colour", arrays.colours, 4, 3, store.point_counts[i]);
            }
        }
        out += '}';
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    out += ']';
    // What the standard reading keeps for the whole window; the classic
    // reading has neither, and its output stays as it always was.
    if (standard) {
        out += ",\"background\":";
        if (store.background) put_array(out, store.background->data(), 3);
        else out += "null";
        out += ",\"headlight\":";
        out += store.headlight ? "true" : "false";
    }
    out += "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) {
        std::perror("tessel-scan: writing the output");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool full = false;
    double time = 0;
    tessel::reading_mode mode = tessel::reading_mode::standard;
    bool operands_only = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!operands_only && a[0] == '-' && a[1] != '\0') {
            if (std::strcmp(a, "--") == 0) {
                operands_only = true;
            } else if (std::strcmp(a, "--full") == 0) {
                full = true;
            } else if (std::strcmp(a, "--time") == 0) {
                const char* v = i + 1 < argc ? argv[++i] : "";
                if (!tessel::parse_world_time(v, time)) {
                    std::fprintf(stderr, "tessel-scan: bad value for --time: \"%s\" (expected seconds from 0 to 86400)\n",
                                 tessel::reader::printable(v).c_str());
                    return usage();
                }
            } else if (std::strcmp(a, "--classic") == 0) {
                mode = tessel::reading_mode::classic;
            } else if (std::strcmp(a, "--max-size") == 0) {
                // The most memory the whole load may take, as for thumbnails.
                const char* v = i + 1 < argc ? argv[++i] : "";
                std::int64_t mb = 0;
                const auto [end, ec] = std::from_chars(v, v + std::strlen(v), mb);
                if (ec != std::errc() || *end != '\0' || mb < 1 || mb > (std::int64_t{1} << 30)) {
                    std::fprintf(stderr, "tessel-scan: bad value for --max-size: \"%s\" (expected megabytes, 1 or more)\n",
                                 tessel::reader::printable(v).c_str());
                    return usage();
                }
                tessel::reader::set_load_budget(mb << 20);
            } else if (std::strcmp(a, "--help") == 0) {
                std::fputs(usage_text, stdout);
                return 0;
            } else if (std::strcmp(a, "--version") == 0) {
                std::printf("tessel-scan (tessel) %s\n", TESSEL_VERSION);
                return 0;
            } else {
                std::fprintf(stderr, "tessel-scan: unknown option %s\n", a);
                return usage();
            }
        } else if (!path) {
            path = a;
        } else {
            return usage();
        }
    }
    if (!path) return usage();
    // The output of a large scene with --full takes memory too.
    try {
        return scan(path, full, mode, time);
    } catch (const std::bad_alloc&) {
        std::fputs("tessel-scan: not enough memory\n", stderr);
        return 1;
    }
}
