#pragma once
// Texture images: decoded from files (PNG, JPEG, GIF, BMP, SGI) or from the
// numbers of an SFImage field into RGBA rows from the bottom up, the layout
// glTexImage2D takes. Every decoder checks its input against the bytes it
// has, so a damaged or hostile image fails with a message and nothing more.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "scene/scene.h"

namespace tessel::vrml {

// Images larger than this in either direction, or in pixels, are refused:
// no texture needs more, and a forged header must not allocate gigabytes.
constexpr std::int32_t max_image_side = 16384;
constexpr std::int64_t max_image_pixels = std::int64_t{64} << 20;

// The largest image file read: the largest image allowed, uncompressed, with
// room for headers and run-length coding that grew instead of shrinking.
constexpr std::int64_t max_image_file_bytes = max_image_pixels * 4 * 2;

// Decodes image bytes, telling the format by their first bytes rather than
// a name. Images of more than max_pixels pixels are refused from their
// header, before any pixel memory is taken. On failure returns false and
// says why in error.
// `progress`, when set, follows a long decode (0..100, only when it changes),
// so that a window can show it moving.
bool decode_image(std::span<const std::uint8_t> data, texture_image& out, std::string& error,
                  std::int64_t max_pixels = max_image_pixels, const std::function<void(int)>& progress = {});

// Opens path as a file chosen by the user (see reader::open_regular_file),
// reads it whole and decodes it.
bool decode_image_file(const std::string& path, texture_image& out, std::string& error,
                       std::int64_t max_pixels = max_image_pixels);

// Decodes SFImage numbers: width, height, components, then one number per
// pixel from the lower left, row by row, its components packed high byte
// first (0xRRGGBB for three). Fewer pixels than declared is an error.
bool decode_sf_image(std::span<const std::int32_t> numbers, texture_image& out, std::string& error);

}  // namespace tessel::vrml
