#pragma once
// The VRML 1.0 traversal: walks a parsed document in file order, keeps the
// traversal state (transform, material, bindings, coordinates, normals, shape
// hints) as the VRML 1.0 standard defines it, and hands every shape to a
// geometry sink with that state resolved. Iterative, so any nesting depth is
// walked; bounded, so a small file that instances itself exponentially ends.

#include <cstdint>
#include <string>

#include "vrml/geometry.h"
#include "vrml/node.h"

namespace tessel::vrml {

// Finds the documents WWWInline nodes name.
class inline_source {
public:
    virtual ~inline_source() = default;
    // The document `name` stands for, named relatively to `from`'s file, or
    // null after warning why not. The same file gives the same document, so
    // that the traversal can see a file that includes itself.
    virtual const document* open(const document& from, const std::string& name, source_position where) = 0;
};

struct traversal_limits {
    std::int64_t nodes = 50'000'000;      // node visits, USE and inlines counted each time
    std::int64_t elements = 500'000'000;  // coordinates and indices handed to the sink
    int inline_depth = 16;
};

// Walks doc (and the inlines it names, when inlines is set) into sink.
void traverse_vrml1(const document& doc, geometry_sink& sink, warning_list& warnings,
                    inline_source* inlines = nullptr, const traversal_limits& limits = {});

// Matrix helpers, exposed for the tests that check world matrices.
matrix4 multiply(const matrix4& a, const matrix4& b);  // a * b: b applies first
matrix4 rotation_matrix(float x, float y, float z, float angle);
matrix4 translation_matrix(float x, float y, float z);
matrix4 scale_matrix(float x, float y, float z);

}  // namespace tessel::vrml
