#include "toolkit/pixel_format.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "toolkit/toolkit.h"

namespace tessel::toolkit {

pixel_format_descriptor requested_descriptor(std::int32_t mode) {
    pixel_format_descriptor pfd{};
    pfd.nSize = sizeof(pixel_format_descriptor);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if (mode & DM_DOUBLE) pfd.dwFlags |= PFD_DOUBLEBUFFER;
    const bool index = (mode & DM_INDEX) != 0;
    pfd.iPixelType = index ? PFD_TYPE_COLORINDEX : PFD_TYPE_RGBA;
    pfd.cColorBits = index ? 8 : 24;
    pfd.cAlphaBits = (mode & DM_ALPHA) ? 8 : 0;
    pfd.cAccumBits = (mode & DM_ACCUM) ? pfd.cColorBits + pfd.cAlphaBits : 0;
    if (mode & DM_DEPTH16)
        pfd.cDepthBits = 16;
    else if (mode & DM_DEPTH24)
        pfd.cDepthBits = 24;
    pfd.cStencilBits = (mode & DM_STENCIL) ? 4 : 0;
    pfd.cAuxBuffers = 0;
    pfd.iLayerType = PFD_MAIN_PLANE;
    return pfd;
}

namespace {

constexpr std::uint32_t must_have = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;

bool double_buffered(const pixel_format_descriptor& pfd) {
    return (pfd.dwFlags & PFD_DOUBLEBUFFER) != 0;
}

// (requested, offered) bit counts of the buffers a request can ask for.
std::array<std::pair<int, int>, 5> buffer_sizes(const pixel_format_descriptor& wanted,
                                                const pixel_format_descriptor& have) {
    return {{{wanted.cAlphaBits, have.cAlphaBits},
             {wanted.cAccumBits, have.cAccumBits},
             {wanted.cDepthBits, have.cDepthBits},
             {wanted.cStencilBits, have.cStencilBits},
             {wanted.cAuxBuffers, have.cAuxBuffers}}};
}

bool qualifies(const pixel_format_descriptor& wanted, const pixel_format_descriptor& have) {
    if ((have.dwFlags & must_have) != must_have) return false;
    if (have.iLayerType != PFD_MAIN_PLANE) return false;
    if (have.iPixelType != wanted.iPixelType) return false;
    if (double_buffered(have) != double_buffered(wanted)) return false;
    if (have.cColorBits == 0) return false;
    for (auto [asked, offered] : buffer_sizes(wanted, have))
        if (asked > 0 && offered == 0) return false;
    return true;
}

}  // namespace

int choose_best_match(std::span<const described_format> formats,
                      const pixel_format_descriptor& wanted) {
    using rank = std::tuple<int, int, int, int, int, int>;
    int best = 0;
    rank best_rank{};
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const described_format& f = formats[i];
        if (!qualifies(wanted, f.pfd)) continue;
        int shortfall = std::max(0, wanted.cColorBits - f.pfd.cColorBits);
        int excess = std::max(0, f.pfd.cColorBits - wanted.cColorBits);
        int unasked = 0;
        for (auto [asked, offered] : buffer_sizes(wanted, f.pfd)) {
            shortfall += std::max(0, asked - offered);
            excess += std::max(0, offered - asked);
            if (asked == 0 && offered > 0) ++unasked;
        }
        const rank r{(f.pfd.dwFlags & PFD_NEED_PALETTE) ? 1 : 0, shortfall, unasked,
                     f.samples > 0 ? 1 : 0, f.slow ? 1 : 0, excess};
        if (best == 0 || r < best_rank) {
            best = static_cast<int>(i) + 1;
            best_rank = r;
        }
    }
    return best;
}

int choose_by_enumeration(std::span<const described_format> formats, std::int32_t mode,
                          pixel_format_descriptor* out) {
    const int count = static_cast<int>(formats.size());
    if (count <= 0) return 0;
    const bool index = (mode & DM_INDEX) != 0;
    const bool want_depth = (mode & (DM_DEPTH16 | DM_DEPTH24)) != 0;
    int best_bits = 0;
    int best = 0;
    for (int n = 1; n <= count; ++n) {
        const pixel_format_descriptor& f = formats[n - 1].pfd;
        if ((f.dwFlags & must_have) != must_have || f.iLayerType != PFD_MAIN_PLANE) continue;
        if (index != (f.iPixelType == PFD_TYPE_COLORINDEX)) continue;
        if (double_buffered(f) != ((mode & DM_DOUBLE) != 0)) continue;
        if (!index) {
            if ((mode & DM_ACCUM) ? f.cAccumBits == 0 : f.cAccumBits != 0) continue;
            if (mode & DM_ALPHA) {
                if (f.cAlphaBits == 0) continue;
                if ((mode & DM_ACCUM) && f.cAccumAlphaBits == 0) continue;
            } else if (f.cAlphaBits != 0) {
                continue;
            }
        }
        if (want_depth ? f.cDepthBits == 0 : f.cDepthBits != 0) continue;
        if ((mode & DM_STENCIL) ? f.cStencilBits == 0 : f.cStencilBits != 0) continue;
        if (f.cColorBits <= best_bits) continue;
        best_bits = f.cColorBits;
        best = n;
        if (out) *out = f;
    }
    return best;
}

int choose_fixed_format(std::span<const described_format> formats, int number,
                        pixel_format_descriptor* out) {
    if (number <= 0) return 0;
    if (static_cast<std::size_t>(number) > formats.size()) return 0;
    const pixel_format_descriptor& f = formats[number - 1].pfd;
    if (out) *out = f;
    if ((f.dwFlags & must_have) != must_have) return 0;
    return number;
}

}  // namespace tessel::toolkit
