#pragma once
// Texture images: decoded from files (PNG, JPEG, GIF, BMP, SGI) or from the
// numbers of an SFImage field into RGBA rows from the bottom up, the layout
// glTexImage2D takes. Every decoder checks its input against the bytes it
// has, so a damaged or hostile image fails with a message and nothing more.

#include <cstdint>
#include <span>
#include <string>

#include "scene/scene.h"

namespace tessel::vrml {

// Images larger than this in either direction, or in pixels, are refused:
// no texture needs more, and a forged header must not allocate gigabytes.
constexpr std::int32_t max_image_side = 16384;
constexpr std::int64_t max_image_pixels = std::int64_t{64} << 20;

// Decodes the file at path, telling its format by its first bytes rather
// than its name. On failure returns false and says why in error.
bool decode_image_file(const std::string& path, texture_image& out, std::string& error);

// Decodes SFImage numbers: width, height, components, then one number per
// pixel from the lower left, row by row, its components packed high byte
// first (0xRRGGBB for three). Fewer pixels than declared is an error.
bool decode_sf_image(std::span<const std::int32_t> numbers, texture_image& out, std::string& error);

}  // namespace tessel::vrml
