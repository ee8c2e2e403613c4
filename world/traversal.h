#pragma once
// What every format's traversal shares: how far a walk may go.

#include <cstdint>

namespace tessel::vrml {

struct traversal_limits {
    std::int64_t nodes = 50'000'000;      // node visits, USE and inlines counted each time
    std::int64_t elements = 500'000'000;  // coordinates and indices handed to the sink
    int inline_depth = 16;
};

}  // namespace tessel::vrml
