#include "media/image.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include "input/text.h"

namespace tessel::vrml {

namespace {

using bytes = std::span<const std::uint8_t>;

// The pixels the decode in progress may make, and where it reports how far
// it is; set per call of decode_image.
thread_local std::int64_t t_max_pixels = max_image_pixels;
thread_local const std::function<void(int)>* t_progress = nullptr;
thread_local int t_percent = -1;

void report(std::int64_t done, std::int64_t total) {
    if (!t_progress || !*t_progress || total <= 0) return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
    if (percent == t_percent) return;
    t_percent = percent;
    (*t_progress)(percent);
}

bool size_ok(std::int64_t w, std::int64_t h, std::string& error) {
    if (w <= 0 || h <= 0) {
        error = "the image has no pixels";
        return false;
    }
    if (w > max_image_side || h > max_image_side || w * h > max_image_pixels) {
        error = "the image is too large (" + std::to_string(w) + " x " + std::to_string(h) + " pixels)";
        return false;
    }
    if (w * h > t_max_pixels) {
        error = "the image (" + std::to_string(w) + " x " + std::to_string(h) +
                " pixels) needs more memory than this load may still use";
        return false;
    }
    return true;
}

void start(texture_image& out, std::int32_t w, std::int32_t h, std::int32_t components) {
    out.width = w;
    out.height = h;
    out.components = components;
    out.rgba.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 255);
}

// ---- PNG, through libpng's simplified reader

bool decode_png(bytes data, texture_image& out, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) {
        error = std::string("not a readable PNG image (") + image.message + ")";
        return false;
    }
    if (!size_ok(image.width, image.height, error)) {
        png_image_free(&image);
        return false;
    }
    const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    start(out, static_cast<std::int32_t>(image.width), static_cast<std::int32_t>(image.height),
          (colour ? 3 : 1) + (alpha ? 1 : 0));
    image.format = PNG_FORMAT_RGBA;
    const auto stride = static_cast<png_int_32>(image.width * 4);
    // A negative stride writes the last row first: bottom-up, as GL wants.
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), -stride, nullptr)) {
        error = std::string("damaged PNG image (") + image.message + ")";
        png_image_free(&image);
        return false;
    }
    return true;
}

// ---- JPEG, through libjpeg(-turbo)

struct jpeg_failure {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void jpeg_fail(j_common_ptr info) {
    auto* f = reinterpret_cast<jpeg_failure*>(info->err);
    (*info->err->format_message)(info, f->message);
    std::longjmp(f->back, 1);
}

void jpeg_quiet(j_common_ptr, int) {}

// A progressive image does most of its work before the first row comes out:
// the library's own passes are followed.
void jpeg_progress(j_common_ptr info) {
    const jpeg_progress_mgr* p = info->progress;
    if (!p || p->total_passes <= 0 || p->pass_limit <= 0) return;
    report(p->completed_passes * p->pass_limit + p->pass_counter, std::int64_t{p->total_passes} * p->pass_limit);
}

bool decode_jpeg(bytes data, texture_image& out, std::string& error) {
    jpeg_decompress_struct info{};
    jpeg_failure failure{};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = jpeg_fail;
    failure.manager.emit_message = jpeg_quiet;
    std::vector<std::uint8_t> row;  // made before setjmp, so that a jump out skips no destructor
    if (setjmp(failure.back)) {
        jpeg_destroy_decompress(&info);
        error = std::string("damaged JPEG image (") + failure.message + ")";
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_progress_mgr progress{};
    progress.progress_monitor = jpeg_progress;
    info.progress = &progress;
    // A progressive image keeps every coefficient of the whole image while
    // it decodes: bounded by the pixels allowed, the library refuses more
    // instead of taking gigabytes for a forged header.
    info.mem->max_memory_to_use = static_cast<long>(std::min<std::int64_t>(t_max_pixels, max_image_pixels) * 8 + (8 << 20));
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (!size_ok(info.image_width, info.image_height, error)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    if (!grey && info.jpeg_color_space != JCS_YCbCr && info.jpeg_color_space != JCS_RGB) {
        jpeg_destroy_decompress(&info);
        error = "JPEG image in CMYK or another colour space that cannot be shown";
        return false;
    }
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    if (!size_ok(info.output_width, info.output_height, error)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const int components = grey ? 1 : 3;
    start(out, static_cast<std::int32_t>(info.output_width), static_cast<std::int32_t>(info.output_height),
          components);
    row.resize(static_cast<std::size_t>(info.output_width) * static_cast<std::size_t>(components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const std::size_t y = info.output_height - 1 - info.output_scanline;  // the file's first row is the top
        if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
        std::uint8_t* to = out.rgba.data() + y * info.output_width * 4;
        for (std::size_t x = 0; x < info.output_width; ++x) {
            for (int c = 0; c < 3; ++c) to[x * 4 + c] = row[x * components + (grey ? 0 : c)];
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// ---- GIF, through giflib: the first image of the file

struct memory_reader {
    bytes data;
    std::size_t at = 0;
};

// giflib has no text for some of its codes.
std::string gif_error(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "error " + std::to_string(code);
}

int gif_read(GifFileType* gif, GifByteType* to, int count) {
    auto* r = static_cast<memory_reader*>(gif->UserData);
    const std::size_t n = std::min(static_cast<std::size_t>(count > 0 ? count : 0), r->data.size() - r->at);
    std::memcpy(to, r->data.data() + r->at, n);
    r->at += n;
    return static_cast<int>(n);
}

bool decode_gif(bytes data, texture_image& out, std::string& error) {
    memory_reader reader{data};
    int code = 0;
    GifFileType* gif = DGifOpen(&reader, gif_read, &code);
    if (!gif) {
        error = "not a readable GIF image (" + gif_error(code) + ")";
        return false;
    }
    const auto fail = [&](const std::string& why) {
        error = why;
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
        return false;
    };
    const auto damaged = [&] { return fail("damaged GIF image (" + gif_error(gif->Error) + ")"); };
    if (!size_ok(gif->SWidth, gif->SHeight, error)) return fail(error);
    // Only the first image is shown, so only it is read: the frames of an
    // animation after it are never decoded, however many there are. Its
    // graphic control block (transparency) comes before it.
    GraphicsControlBlock control{};
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    while (true) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return damaged();
        if (type == TERMINATE_RECORD_TYPE) return fail("GIF file without an image");
        if (type == IMAGE_DESC_RECORD_TYPE) break;
        if (type != EXTENSION_RECORD_TYPE) return damaged();
        int function = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &function, &block) == GIF_ERROR) return damaged();
        if (function == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
            DGifExtensionToGCB(block[0], block + 1, &control);
        while (block)
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return damaged();
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR) return damaged();
    const std::int64_t w = gif->Image.Width, h = gif->Image.Height;
    if (!size_ok(w, h, error)) return fail(error);
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (!map || !map->Colors || map->ColorCount <= 0) return fail("GIF image without colours");
    std::vector<GifPixelType> raster(static_cast<std::size_t>(w * h));
    std::int64_t rows_read = 0;
    const auto read_row = [&](std::int64_t y) {
        report(++rows_read, h);
        return DGifGetLine(gif, raster.data() + y * w, static_cast<int>(w)) != GIF_ERROR;
    };
    if (gif->Image.Interlace) {
        // Rows come in four passes: every 8th from 0, every 8th from 4,
        // every 4th from 2, every 2nd from 1.
        static constexpr int first[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (std::int64_t y = first[pass]; y < h; y += step[pass])
                if (!read_row(y)) return damaged();
    } else {
        for (std::int64_t y = 0; y < h; ++y)
            if (!read_row(y)) return damaged();
    }
    const bool transparent = control.TransparentColor != NO_TRANSPARENT_COLOR;
    start(out, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), transparent ? 4 : 3);
    for (std::int64_t y = 0; y < h; ++y) {
        std::uint8_t* to = out.rgba.data() + static_cast<std::size_t>((h - 1 - y) * w * 4);
        for (std::int64_t x = 0; x < w; ++x, to += 4) {
            const int i = raster[static_cast<std::size_t>(y * w + x)];
            if (i < map->ColorCount) {
                to[0] = map->Colors[i].Red;
                to[1] = map->Colors[i].Green;
                to[2] = map->Colors[i].Blue;
            } else {
                to[0] = to[1] = to[2] = 0;
            }
            to[3] = (transparent && i == control.TransparentColor) ? 0 : 255;
        }
    }
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
    return true;
}

// ---- Little readers over a byte span: every read checks the bound.

std::uint32_t le16(bytes d, std::size_t at) { return at + 2 <= d.size() ? d[at] | (d[at + 1] << 8) : 0; }
std::uint32_t le32(bytes d, std::size_t at) {
    return at + 4 <= d.size() ? d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (std::uint32_t{d[at + 3]} << 24) : 0;
}
std::uint32_t be16(bytes d, std::size_t at) { return at + 2 <= d.size() ? (d[at] << 8) | d[at + 1] : 0; }
std::uint32_t be32(bytes d, std::size_t at) {
    return at + 4 <= d.size() ? (std::uint32_t{d[at]} << 24) | (d[at + 1] << 16) | (d[at + 2] << 8) | d[at + 3] : 0;
}

// ---- BMP: uncompressed 1, 4, 8, 24 and 32 bits per pixel. Debian has no
// small well-kept BMP library, and the uncompressed layouts are all that
// texture files use in practice.

bool decode_bmp(bytes d, texture_image& out, std::string& error) {
    if (d.size() < 26) {
        error = "BMP file too short";
        return false;
    }
    const std::uint32_t pixels_at = le32(d, 10);
    const std::uint32_t header = le32(d, 14);
    std::int64_t w = 0, h = 0;
    std::uint32_t bits = 0, compression = 0, colours = 0;
    if (header == 12) {  // the old OS/2 header: 16-bit sizes, 3-byte palette entries
        w = le16(d, 18);
        h = static_cast<std::int16_t>(le16(d, 20));
        bits = le16(d, 24);
    } else if (header >= 40) {
        w = static_cast<std::int32_t>(le32(d, 18));
        h = static_cast<std::int32_t>(le32(d, 22));
        bits = le16(d, 28);
        compression = le32(d, 30);
        colours = le32(d, 46);
    } else {
        error = "BMP file with an unknown header";
        return false;
    }
    const bool top_down = h < 0;
    if (top_down) h = -h;
    if (!size_ok(w, h, error)) return false;
    if (compression != 0 && !(compression == 3 && bits == 32)) {
        error = "compressed BMP images cannot be read; save it uncompressed";
        return false;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
        error = "BMP image with " + std::to_string(bits) + " bits per pixel cannot be read";
        return false;
    }
    const std::size_t entry = header == 12 ? 3 : 4;
    const std::size_t palette_at = 14 + static_cast<std::size_t>(header);
    if (bits <= 8 && (colours == 0 || colours > (1u << bits))) colours = 1u << bits;
    const std::size_t row_bytes = ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4;
    if (pixels_at > d.size() || row_bytes * static_cast<std::size_t>(h) > d.size() - pixels_at) {
        error = "BMP file shorter than its image";
        return false;
    }
    // A 32-bit image whose every alpha byte is 0 has no alpha at all.
    bool alpha = false;
    if (bits == 32) {
        for (std::size_t y = 0; y < static_cast<std::size_t>(h) && !alpha; ++y)
            for (std::size_t x = 0; x < static_cast<std::size_t>(w) && !alpha; ++x)
                alpha = d[pixels_at + y * row_bytes + x * 4 + 3] != 0;
    }
    start(out, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), alpha ? 4 : 3);
    for (std::size_t y = 0; y < static_cast<std::size_t>(h); ++y) {
        const std::uint8_t* row = d.data() + pixels_at + y * row_bytes;
        const std::size_t to_row = top_down ? static_cast<std::size_t>(h) - 1 - y : y;
        std::uint8_t* to = out.rgba.data() + to_row * static_cast<std::size_t>(w) * 4;
        for (std::size_t x = 0; x < static_cast<std::size_t>(w); ++x, to += 4) {
            if (bits >= 24) {
                const std::uint8_t* p = row + x * (bits / 8);
                to[0] = p[2];
                to[1] = p[1];
                to[2] = p[0];
                to[3] = alpha ? p[3] : 255;
                continue;
            }
            const std::size_t bit = x * bits;
            const std::uint32_t i = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            const std::size_t at = palette_at + i * entry;
            if (i < colours && at + 3 <= d.size()) {
                to[0] = d[at + 2];
                to[1] = d[at + 1];
                to[2] = d[at];
            } else {
                to[0] = to[1] = to[2] = 0;
            }
        }
    }
    return true;
}

// ---- SGI image (.rgb, .rgba, .bw): verbatim or run-length, one byte per
// channel. No Debian library reads it; the format is small and fixed.

bool decode_sgi(bytes d, texture_image& out, std::string& error) {
    if (d.size() < 512) {
        error = "SGI image file too short";
        return false;
    }
    const bool rle = d[2] == 1;
    const std::uint32_t per_channel = d[3], dimension = be16(d, 4);
    const std::int64_t w = be16(d, 6), h = dimension >= 2 ? be16(d, 8) : 1;
    const std::int64_t z = dimension >= 3 ? be16(d, 10) : 1;
    if (per_channel != 1) {
        error = "SGI image with two bytes per channel cannot be read";
        return false;
    }
    if (z < 1 || z > 4) {
        error = "SGI image with " + std::to_string(z) + " channels cannot be read";
        return false;
    }
    if (!size_ok(w, h, error)) return false;
    const auto rows = static_cast<std::size_t>(h), width = static_cast<std::size_t>(w);
    std::vector<std::uint8_t> line(width);
    start(out, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), static_cast<std::int32_t>(z));
    for (std::size_t c = 0; c < static_cast<std::size_t>(z); ++c) {
        for (std::size_t y = 0; y < rows; ++y) {
            if (!rle) {
                const std::size_t at = 512 + (c * rows + y) * width;
                if (at > d.size() || d.size() - at < width) {
                    error = "SGI image file shorter than its image";
                    return false;
                }
                std::memcpy(line.data(), d.data() + at, width);
            } else {
                const std::size_t slot = c * rows + y;
                std::size_t at = be32(d, 512 + slot * 4);
                const std::size_t length = be32(d, 512 + (static_cast<std::size_t>(z) * rows + slot) * 4);
                if (512 + (2 * static_cast<std::size_t>(z) * rows) * 4 > d.size() || at > d.size() ||
                    length > d.size() - at) {
                    error = "damaged SGI image (a row lies outside the file)";
                    return false;
                }
                const std::size_t end = at + length;
                std::size_t x = 0;
                while (at < end) {
                    const std::uint8_t head = d[at++];
                    const std::size_t count = head & 0x7f;
                    if (count == 0) break;
                    if (x + count > width || (head & 0x80 ? at + count > end : at + 1 > end)) {
                        error = "damaged SGI image (a run leaves its row)";
                        return false;
                    }
                    if (head & 0x80) {
                        std::memcpy(line.data() + x, d.data() + at, count);
                        at += count;
                    } else {
                        std::memset(line.data() + x, d[at++], count);
                    }
                    x += count;
                }
                if (x < width) std::memset(line.data() + x, 0, width - x);
            }
            // Rows are stored from the bottom up already.
            std::uint8_t* to = out.rgba.data() + y * width * 4;
            for (std::size_t x = 0; x < width; ++x) {
                if (z <= 2 && c == 0) to[x * 4] = to[x * 4 + 1] = to[x * 4 + 2] = line[x];
                else if (z <= 2) to[x * 4 + 3] = line[x];
                else to[x * 4 + c] = line[x];
            }
        }
    }
    return true;
}

}  // namespace

bool decode_image(std::span<const std::uint8_t> d, texture_image& out, std::string& error, std::int64_t max_pixels,
                  const std::function<void(int)>& progress) {
    const std::string source = out.source;
    out = texture_image{};
    out.source = source;
    struct allowance {
        allowance(std::int64_t pixels, const std::function<void(int)>& progress) {
            t_max_pixels = pixels;
            t_progress = &progress;
            t_percent = -1;
        }
        ~allowance() {
            t_max_pixels = max_image_pixels;
            t_progress = nullptr;
        }
    } allowed(max_pixels, progress);
    try {
        const auto starts = [&](std::initializer_list<std::uint8_t> magic) {
            return d.size() >= magic.size() && std::equal(magic.begin(), magic.end(), d.begin());
        };
        bool ok = false;
        if (starts({0x89, 'P', 'N', 'G'})) ok = decode_png(d, out, error);
        else if (starts({0xff, 0xd8})) ok = decode_jpeg(d, out, error);
        else if (starts({'G', 'I', 'F', '8'})) ok = decode_gif(d, out, error);
        else if (starts({'B', 'M'})) ok = decode_bmp(d, out, error);
        else if (starts({0x01, 0xda})) ok = decode_sgi(d, out, error);
        else error = "not an image in a known format (PNG, JPEG, GIF, BMP or SGI)";
        if (!ok) out.rgba = {};
        return ok;
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the image";
        out.rgba = {};
        return false;
    }
}

bool decode_image_file(const std::string& path, texture_image& out, std::string& error, std::int64_t max_pixels) {
    out = texture_image{};
    out.source = path;
    reader::opened_file file;
    std::vector<std::uint8_t> data;
    std::string why;
    if (!reader::open_regular_file(path, reader::file_origin::chosen, file, why) ||
        !reader::read_whole_file(file, max_image_file_bytes, data, why)) {
        error = "cannot read the image file (" + why + ")";
        return false;
    }
    return decode_image(data, out, error, max_pixels);
}

bool decode_sf_image(std::span<const std::int32_t> numbers, texture_image& out, std::string& error) {
    out = texture_image{};
    out.source = "inline";
    if (numbers.size() < 3) {
        error = "image field without width, height and components";
        return false;
    }
    const std::int64_t w = numbers[0], h = numbers[1], components = numbers[2];
    if (!size_ok(w, h, error)) return false;
    if (components < 1 || components > 4) {
        error = "image with " + std::to_string(components) + " components (1 to 4 can be shown)";
        return false;
    }
    if (static_cast<std::int64_t>(numbers.size()) - 3 < w * h) {
        error = "image field with fewer pixels than its size";
        return false;
    }
    start(out, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), static_cast<std::int32_t>(components));
    for (std::size_t i = 0; i < static_cast<std::size_t>(w * h); ++i) {
        const auto v = static_cast<std::uint32_t>(numbers[3 + i]);
        std::uint8_t c[4] = {};
        for (std::int64_t k = 0; k < components; ++k) c[k] = (v >> (8 * (components - 1 - k))) & 0xff;
        std::uint8_t* to = out.rgba.data() + i * 4;
        switch (components) {
            case 1: to[0] = to[1] = to[2] = c[0]; break;
            case 2: to[0] = to[1] = to[2] = c[0]; to[3] = c[1]; break;
            default:
                to[0] = c[0];
                to[1] = c[1];
                to[2] = c[2];
                if (components == 4) to[3] = c[3];
        }
    }
    return true;
}

}  // namespace tessel::vrml
