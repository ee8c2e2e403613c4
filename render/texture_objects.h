#pragma once
// The GL texture objects of a store's images: made once per load, on the
// first frame that draws the store, and deleted when another store (or
// another GL context) takes its place.

#include <cstdint>
#include <vector>

#include "scene/scene.h"

namespace tessel {

// An image resampled (bilinearly) to new_width x new_height RGBA pixels.
// For GLs that take only power-of-two sizes, or smaller maxima than an image.
std::vector<std::uint8_t> resample_rgba(const texture_image& image, std::int32_t new_width, std::int32_t new_height);

// The size a GL takes for `size`: the power of two nearest to it when the
// GL needs powers of two, and no more than max_size either way.
std::int32_t texture_side(std::int32_t size, bool power_of_two_only, std::int32_t max_size);

class texture_objects {
public:
    // Makes the objects for store's images if they were made for another
    // store or context. Needs a current GL context.
    void update(const scene_store& store);
    // The GL name of image `index`, 0 when there is none.
    unsigned name(std::int32_t index) const;
    // Deletes every object (in the current context).
    void release();
    // How often the objects were made; lets tests see that frames reuse them.
    std::uint64_t uploads() const { return uploads_; }

private:
    std::vector<unsigned> names_;
    std::uint64_t generation_ = 0;
    const void* images_ = nullptr;  // the store's image list the names were made from
    bool made_ = false;
    std::uint64_t uploads_ = 0;
};

}  // namespace tessel
