#include "media/text_glyphs.h"

#include <GL/glu.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <tuple>

namespace tessel::vrml {

namespace {

// Segments per quadratic and per cubic curve: round enough at the sizes a
// viewer shows text, few enough that a page of text stays light.
constexpr int conic_steps = 6;
constexpr int cubic_steps = 8;

struct point2 {
    double x = 0, y = 0;
};

// One FreeType library and one face per family and style, for the process.
class font_cache {
public:
    ~font_cache() {
        for (auto& [key, face] : faces_)
            if (face) FT_Done_Face(face);
        if (library_) FT_Done_FreeType(library_);
    }
    FT_Face face(font_family family, bool bold, bool italic, std::string& error) {
        const auto key = std::make_tuple(family, bold, italic);
        if (auto it = faces_.find(key); it != faces_.end()) {
            if (!it->second) error = errors_[key];
            return it->second;
        }
        FT_Face face = open(family, bold, italic, error);
        faces_[key] = face;
        if (!face) errors_[key] = error;
        return face;
    }

private:
    FT_Face open(font_family family, bool bold, bool italic, std::string& error) {
        if (!library_ && FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
            error = "cannot start FreeType";
            return nullptr;
        }
        const char* name = family == font_family::sans ? "sans-serif" : family == font_family::typewriter ? "monospace" : "serif";
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        // Outlines only: bitmap fonts have nothing to fill.
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        FT_Face face = nullptr;
        FcChar8* file = nullptr;
        int index = 0;
        if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            if (FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &face) != 0 ||
                !FT_IS_SCALABLE(face)) {
                if (face) FT_Done_Face(face);
                face = nullptr;
            }
        }
        if (!face) error = std::string("no outline font found for the ") + name + " family";
        if (match) FcPatternDestroy(match);
        return face;
    }

    FT_Library library_ = nullptr;
    std::map<std::tuple<font_family, bool, bool>, FT_Face> faces_;
    std::map<std::tuple<font_family, bool, bool>, std::string> errors_;
};

font_cache& fonts() {
    static font_cache cache;
    return cache;
}

// A glyph's outline as closed polylines, in font units.
struct outline_walk {
    std::vector<std::vector<point2>> contours;
    point2 at;
    std::vector<point2>& current() { return contours.back(); }
};

point2 to_point(const FT_Vector* v) { return {static_cast<double>(v->x), static_cast<double>(v->y)}; }

int move_to(const FT_Vector* to, void* user) {
    auto* w = static_cast<outline_walk*>(user);
    w->at = to_point(to);
    w->contours.push_back({w->at});
    return 0;
}
int line_to(const FT_Vector* to, void* user) {
    auto* w = static_cast<outline_walk*>(user);
    w->at = to_point(to);
    if (w->contours.empty()) w->contours.emplace_back();
    w->current().push_back(w->at);
    return 0;
}
int conic_to(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* w = static_cast<outline_walk*>(user);
    if (w->contours.empty()) w->contours.emplace_back();
    const point2 a = w->at, c = to_point(control), b = to_point(to);
    for (int i = 1; i <= conic_steps; ++i) {
        const double t = static_cast<double>(i) / conic_steps, s = 1 - t;
        w->current().push_back({s * s * a.x + 2 * s * t * c.x + t * t * b.x, s * s * a.y + 2 * s * t * c.y + t * t * b.y});
    }
    w->at = b;
    return 0;
}
int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* w = static_cast<outline_walk*>(user);
    if (w->contours.empty()) w->contours.emplace_back();
    const point2 a = w->at, p = to_point(c1), q = to_point(c2), b = to_point(to);
    for (int i = 1; i <= cubic_steps; ++i) {
        const double t = static_cast<double>(i) / cubic_steps, s = 1 - t;
        const double k0 = s * s * s, k1 = 3 * s * s * t, k2 = 3 * s * t * t, k3 = t * t * t;
        w->current().push_back({k0 * a.x + k1 * p.x + k2 * q.x + k3 * b.x, k0 * a.y + k1 * p.y + k2 * q.y + k3 * b.y});
    }
    w->at = b;
    return 0;
}

// GLU's tessellator over all contours of one glyph at once, so that holes
// (the inside of an O) stay open: a point is filled where the contours wind
// round it a non-zero number of times, as TrueType and PostScript fonts ask.
struct glyph_tessellation {
    std::deque<std::array<double, 3>> vertices;  // stable addresses: GLU keeps pointers to them
    std::vector<const double*> corners;          // three a triangle
    bool failed = false;
};

#ifndef CALLBACK
#define CALLBACK
#endif
extern "C" {
void CALLBACK tess_vertex(void* vertex, void* user) {
    static_cast<glyph_tessellation*>(user)->corners.push_back(static_cast<const double*>(vertex));
}
void CALLBACK tess_combine(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* user) {
    auto* t = static_cast<glyph_tessellation*>(user);
    t->vertices.push_back({coords[0], coords[1], coords[2]});
    *out = t->vertices.back().data();
}
void CALLBACK tess_error(GLenum, void* user) { static_cast<glyph_tessellation*>(user)->failed = true; }
// With an edge-flag callback GLU hands out separate triangles only.
void CALLBACK tess_edge_flag(GLboolean, void*) {}
void CALLBACK tess_begin(GLenum, void*) {}
}

class glyph_splitter {
public:
    glyph_splitter() : tess_(gluNewTess()) {
        if (!tess_) return;
        gluTessCallback(tess_, GLU_TESS_BEGIN_DATA, reinterpret_cast<void(CALLBACK*)()>(&tess_begin));
        gluTessCallback(tess_, GLU_TESS_VERTEX_DATA, reinterpret_cast<void(CALLBACK*)()>(&tess_vertex));
        gluTessCallback(tess_, GLU_TESS_COMBINE_DATA, reinterpret_cast<void(CALLBACK*)()>(&tess_combine));
        gluTessCallback(tess_, GLU_TESS_ERROR_DATA, reinterpret_cast<void(CALLBACK*)()>(&tess_error));
        gluTessCallback(tess_, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<void(CALLBACK*)()>(&tess_edge_flag));
        gluTessProperty(tess_, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
        gluTessNormal(tess_, 0, 0, 1);
    }
    ~glyph_splitter() {
        if (tess_) gluDeleteTess(tess_);
    }
    glyph_splitter(const glyph_splitter&) = delete;
    glyph_splitter& operator=(const glyph_splitter&) = delete;

    // Triangles of the contours, mapped through x' = ox + sx * x + shear * y, y' = oy + sy * y.
    void split(const std::vector<std::vector<point2>>& contours, double ox, double oy, double sx, double sy,
               double shear, std::vector<float>& xyz) {
        if (!tess_) return;
        glyph_tessellation t;
        for (const auto& c : contours)
            for (const point2& p : c) t.vertices.push_back({p.x, p.y, 0});
        gluTessBeginPolygon(tess_, &t);
        std::size_t next = 0;
        for (const auto& c : contours) {
            gluTessBeginContour(tess_);
            for (std::size_t i = 0; i < c.size(); ++i, ++next) {
                // An outline repeats its first point at its end.
                if (i + 1 == c.size() && c.size() > 1 && c[i].x == c[0].x && c[i].y == c[0].y) continue;
                gluTessVertex(tess_, t.vertices[next].data(), t.vertices[next].data());
            }
            gluTessEndContour(tess_);
        }
        gluTessEndPolygon(tess_);
        if (t.failed) return;
        for (std::size_t k = 0; k + 2 < t.corners.size(); k += 3) {
            point2 p[3];
            for (int j = 0; j < 3; ++j) {
                const double* v = t.corners[k + static_cast<std::size_t>(j)];
                p[j] = {ox + sx * v[0] + shear * sx * v[1], oy + sy * v[1]};
            }
            // Counterclockwise from +z, whichever way the font runs its contours.
            const double turn = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[2].x - p[0].x) * (p[1].y - p[0].y);
            if (turn == 0) continue;
            if (turn < 0) std::swap(p[1], p[2]);
            for (const point2& q : p) {
                xyz.push_back(static_cast<float>(q.x));
                xyz.push_back(static_cast<float>(q.y));
                xyz.push_back(0.0f);
            }
        }
    }

private:
    GLUtesselator* tess_;
};

// The next character of a line: UTF-8 where it is valid, else the byte as Latin-1.
char32_t next_character(const std::string& s, std::size_t& i) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    const std::size_t extra = b >= 0xF0 && b <= 0xF4 ? 3 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xC2 && b <= 0xDF ? 1 : 0;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return b;
    }
    char32_t c = b & (0x3F >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        const unsigned char n = static_cast<unsigned char>(s[i + k]);
        if ((n & 0xC0) != 0x80) {
            ++i;
            return b;
        }
        c = (c << 6) | (n & 0x3F);
    }
    i += extra + 1;
    return c;
}

}  // namespace

bool text_triangles(std::span<const std::string> lines, const text_layout& layout, std::vector<float>& xyz,
                    std::string& error) {
    FT_Face face = fonts().face(layout.family, layout.bold, layout.italic, error);
    if (!face) return false;
    // A face without the asked-for style is slanted or thickened by hand.
    const bool slant = layout.italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    const bool thicken = layout.bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
    const double units = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    const double scale = layout.size / units;
    glyph_splitter splitter;
    FT_Outline_Funcs funcs{};
    funcs.move_to = &move_to;
    funcs.line_to = &line_to;
    funcs.conic_to = &conic_to;
    funcs.cubic_to = &cubic_to;
    for (std::size_t line = 0; line < lines.size(); ++line) {
        // Glyphs and pen positions first: justification needs the line's width.
        std::vector<std::pair<outline_walk, double>> glyphs;
        double pen = 0;
        const std::string& s = lines[line];
        for (std::size_t i = 0; i < s.size();) {
            const char32_t c = next_character(s, i);
            const FT_UInt index = FT_Get_Char_Index(face, c);
            if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) != 0) continue;
            if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) continue;
            if (thicken) FT_Outline_Embolden(&face->glyph->outline, static_cast<FT_Pos>(units / 24));
            outline_walk walk;
            FT_Outline_Decompose(&face->glyph->outline, &funcs, &walk);
            glyphs.emplace_back(std::move(walk), pen);
            pen += static_cast<double>(face->glyph->advance.x) + (thicken ? units / 24 : 0);
        }
        double sx = scale;
        const float wanted = line < layout.widths.size() ? layout.widths[line] : 0.0f;
        if (wanted > 0 && pen > 0) sx = wanted / pen;
        const double width = pen * sx;
        const double left = layout.justification == text_justification::center ? -width / 2
                            : layout.justification == text_justification::right ? -width
                                                                                 : 0.0;
        const double baseline = -static_cast<double>(line) * layout.spacing * layout.size;
        for (const auto& [walk, x] : glyphs)
            splitter.split(walk.contours, left + x * sx, baseline, sx, scale, slant ? 0.2 * scale / sx : 0.0, xyz);
    }
    return true;
}

}  // namespace tessel::vrml
