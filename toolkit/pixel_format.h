#pragma once
// Pixel formats of the window layer: the descriptor record, the formats a
// display offers, and the three ways of picking one. Everything here is plain
// data and pure functions, so the choices are tested with made-up lists.

#include <cstdint>
#include <span>

namespace tessel::toolkit {

// The platform's published 40-byte descriptor, field for field, so that the
// window layer and the palette code read and fill it by its published names.
struct pixel_format_descriptor {
    std::uint16_t nSize;
    std::uint16_t nVersion;
    std::uint32_t dwFlags;
    std::uint8_t iPixelType;
    std::uint8_t cColorBits;  // RGBA: red + green + blue, alpha excluded
    std::uint8_t cRedBits;
    std::uint8_t cRedShift;
    std::uint8_t cGreenBits;
    std::uint8_t cGreenShift;
    std::uint8_t cBlueBits;
    std::uint8_t cBlueShift;
    std::uint8_t cAlphaBits;
    std::uint8_t cAlphaShift;
    std::uint8_t cAccumBits;
    std::uint8_t cAccumRedBits;
    std::uint8_t cAccumGreenBits;
    std::uint8_t cAccumBlueBits;
    std::uint8_t cAccumAlphaBits;
    std::uint8_t cDepthBits;
    std::uint8_t cStencilBits;
    std::uint8_t cAuxBuffers;
    std::uint8_t iLayerType;
    std::uint8_t bReserved;
    std::uint32_t dwLayerMask;
    std::uint32_t dwVisibleMask;
    std::uint32_t dwDamageMask;
};
static_assert(sizeof(pixel_format_descriptor) == 40);

constexpr std::uint32_t PFD_DOUBLEBUFFER = 0x1;
constexpr std::uint32_t PFD_STEREO = 0x2;
constexpr std::uint32_t PFD_DRAW_TO_WINDOW = 0x4;
constexpr std::uint32_t PFD_SUPPORT_OPENGL = 0x20;
constexpr std::uint32_t PFD_NEED_PALETTE = 0x80;
constexpr std::uint32_t PFD_NEED_SYSTEM_PALETTE = 0x100;
constexpr std::uint8_t PFD_TYPE_RGBA = 0;
constexpr std::uint8_t PFD_TYPE_COLORINDEX = 1;
constexpr std::uint8_t PFD_MAIN_PLANE = 0;

// One format the display offers. Formats are numbered from 1 in list order.
struct described_format {
    pixel_format_descriptor pfd{};
    int samples = 0;         // multisampling changes pixels nobody asked to change
    bool slow = false;       // the GL marks the format as slow (software accumulation)
    unsigned long visual = 0;  // the X visual a window of this format is made with
};

// The descriptor that asks for a display mode (DM_* bits).
pixel_format_descriptor requested_descriptor(std::int32_t mode);

// Best match for a requested descriptor; the number of the format, 0 for none.
//
// A format qualifies when it draws to a window with OpenGL in the main plane,
// has the requested pixel type, is double-buffered exactly when asked, and has
// every buffer asked for (alpha, accumulation, depth, stencil, aux) at all.
// Among those the winner is, in order of precedence: one that needs no
// palette; the smallest total shortfall of bits below the request; the
// fewest buffers that were not asked for; not multisampled; not slow; the
// smallest total of bits beyond the request; the lowest number.
int choose_best_match(std::span<const described_format> formats,
                      const pixel_format_descriptor& wanted);

// Walks the formats in order and keeps the one with the most colour bits
// among those that fit the mode exactly (sizes of depth, stencil, alpha and
// accumulation are not compared, only whether they are there); the earliest
// wins a tie and formats without colour bits never win. The chosen
// description goes to *out. 0 for none.
int choose_by_enumeration(std::span<const described_format> formats, std::int32_t mode,
                          pixel_format_descriptor* out);

// Validates a fixed format number: refused (0) when it is 0 or less, beyond
// the list, or cannot draw to a window with OpenGL. Its description goes to
// *out when it exists.
int choose_fixed_format(std::span<const described_format> formats, int number,
                        pixel_format_descriptor* out);

}  // namespace tessel::toolkit
