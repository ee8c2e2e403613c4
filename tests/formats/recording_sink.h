#pragma once
// A geometry sink that keeps every call with copies of what it was given,
// so tests can check what the front end hands the back end.

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "geometry/geometry.h"
#include "open/read.h"

namespace tessel::test {

struct recorded_call {
    std::string kind;  // "faces", "lines", "points", "cube", "sphere", "cone", "cylinder"
    vrml::matrix4 matrix;
    vrml::material_list material;
    vrml::binding material_binding;
    std::vector<float> normals;
    vrml::binding normal_binding;
    vrml::shape_hints hints;
    vrml::source_position where;
    std::vector<float> coords;
    std::vector<std::int32_t> coord_index, material_index, normal_index;
    std::vector<float> sizes;  // primitive sizes; point_set: start, count
    unsigned parts = 0;
    std::vector<std::int32_t> lights;
    bool unlit = false;
    bool textured = false;
    vrml::texture_source texture;  // its image span is only valid during the call
    vrml::texture_matrix texture_transform;
    std::vector<float> texture_coords;
    std::vector<std::int32_t> texture_coord_index;

    // The world position of object point (x, y, z).
    std::vector<float> world(float x, float y, float z) const {
        const float* m = matrix.m;
        return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
                m[2] * x + m[6] * y + m[10] * z + m[14]};
    }
};

class recording_sink final : public vrml::geometry_sink {
public:
    std::vector<recorded_call> calls;
    std::vector<scene_light> lights;
    std::vector<scene_camera> cameras;
    std::vector<std::vector<float>> backgrounds;
    std::vector<bool> headlights;

    void light(const scene_light& l) override { lights.push_back(l); }
    void camera(const scene_camera& c) override { cameras.push_back(c); }
    void background(const float rgb[3]) override { backgrounds.push_back({rgb[0], rgb[1], rgb[2]}); }
    void headlight(bool on) override { headlights.push_back(on); }

    void face_set(const vrml::shape_state& s, std::span<const float> c, std::span<const std::int32_t> ci,
                  std::span<const std::int32_t> mi, std::span<const std::int32_t> ni) override {
        indexed("faces", s, c, ci, mi, ni);
    }
    void line_set(const vrml::shape_state& s, std::span<const float> c, std::span<const std::int32_t> ci,
                  std::span<const std::int32_t> mi, std::span<const std::int32_t> ni) override {
        indexed("lines", s, c, ci, mi, ni);
    }
    void point_set(const vrml::shape_state& s, std::span<const float> c, std::int64_t start, std::int64_t count) override {
        record("points", s).coords.assign(c.begin(), c.end());
        calls.back().sizes = {float(start), float(count)};
    }
    void cube(const vrml::shape_state& s, float w, float h, float d) override { record("cube", s).sizes = {w, h, d}; }
    void sphere(const vrml::shape_state& s, float r) override { record("sphere", s).sizes = {r}; }
    void cone(const vrml::shape_state& s, float r, float h, unsigned parts) override {
        record("cone", s).sizes = {r, h};
        calls.back().parts = parts;
    }
    void cylinder(const vrml::shape_state& s, float r, float h, unsigned parts) override {
        record("cylinder", s).sizes = {r, h};
        calls.back().parts = parts;
    }

private:
    recorded_call& record(const char* kind, const vrml::shape_state& s) {
        recorded_call c;
        c.kind = kind;
        c.matrix = s.matrix;
        c.material = *s.material;
        c.material_binding = s.material_binding;
        c.normals.assign(s.normals.begin(), s.normals.end());
        c.normal_binding = s.normal_binding;
        c.hints = s.hints;
        c.where = s.where;
        c.lights.assign(s.lights.begin(), s.lights.end());
        c.unlit = s.unlit;
        c.textured = s.texture != nullptr;
        if (s.texture) c.texture = *s.texture;
        c.texture_transform = s.texture_transform;
        c.texture_coords.assign(s.texture_coords.begin(), s.texture_coords.end());
        c.texture_coord_index.assign(s.texture_coord_index.begin(), s.texture_coord_index.end());
        calls.push_back(std::move(c));
        return calls.back();
    }
    void indexed(const char* kind, const vrml::shape_state& s, std::span<const float> c,
                 std::span<const std::int32_t> ci, std::span<const std::int32_t> mi, std::span<const std::int32_t> ni) {
        recorded_call& r = record(kind, s);
        r.coords.assign(c.begin(), c.end());
        r.coord_index.assign(ci.begin(), ci.end());
        r.material_index.assign(mi.begin(), mi.end());
        r.normal_index.assign(ni.begin(), ni.end());
    }
};

// One standard reading of a text held in memory.
struct reading {
    recording_sink sink;
    vrml::warning_list warnings;
    std::string error;
    bool ok = false;
    const std::vector<recorded_call>& calls() const { return sink.calls; }
    bool warned(const std::string& part) const {
        for (const std::string& w : warnings.texts())
            if (w.find(part) != std::string::npos) return true;
        return false;
    }
};

// Reads body after a VRML 1.0 header (header false: body as it is).
inline reading read_vrml(const std::string& body, bool header = true, const std::string& file = "test.wrl") {
    reading r;
    r.warnings.set_file(file);
    r.ok = vrml::read_standard_text(header ? "#VRML V1.0 ascii\n" + body : body, file, r.sink, r.warnings, r.error);
    return r;
}

inline reading read_vrml_file(const std::string& path) {
    reading r;
    r.warnings.set_file(path);
    r.ok = vrml::read_standard_file(path, r.sink, r.warnings, r.error);
    return r;
}

// A private folder for test files, removed with the object.
struct scratch_folder {
    std::string path;
    scratch_folder() {
        char pattern[] = "/tmp/tessel-vrml-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~scratch_folder() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string write(const std::string& name, const std::string& content) const {
        const std::string p = path + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
};

}  // namespace tessel::test
