#pragma once
// Images made for hostile scenes: written with the same libraries tessel
// reads them with, then bent where a hostile file would bend them.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace tessel::test {

// A small PNG of width x height grey pixels, as file bytes.
inline std::string png_bytes(int width, int height) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i / width);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_GRAY;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::string out(size, '\0');
    png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr);
    out.resize(size);
    return out;
}

// A progressive JPEG whose frame header claims width x height pixels: the
// picture itself is 16 x 16, so the file stays small.
inline std::string progressive_jpeg_claiming(int width, int height) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 16;
    info.image_height = 16;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(16 * 3, 200);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    // The progressive frame header: FF C2, length, precision, height, width.
    const std::size_t sof = out.find("\xff\xc2");
    if (sof != std::string::npos && sof + 9 <= out.size()) {
        out[sof + 5] = static_cast<char>(height >> 8);
        out[sof + 6] = static_cast<char>(height & 0xff);
        out[sof + 7] = static_cast<char>(width >> 8);
        out[sof + 8] = static_cast<char>(width & 0xff);
    }
    return out;
}

// A GIF of `frames` images of side x side pixels, each in one colour: one
// frame is encoded, and its bytes repeated.
inline std::string gif_of_frames(int frames, int side) {
    std::string out;
    const auto write = [](GifFileType* gif, const GifByteType* bytes, int n) {
        static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), n);
        return n;
    };
    int error = 0;
    GifFileType* gif = EGifOpen(&out, write, &error);
    GifColorType colours[2] = {{200, 30, 30}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    EGifPutScreenDesc(gif, side, side, 1, 0, map);
    EGifPutImageDesc(gif, 0, 0, side, side, false, nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(side), 0);
    for (int y = 0; y < side; ++y) EGifPutLine(gif, line.data(), side);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    // Header (6), screen (7) and colour table (6) come first, the trailer last.
    const std::size_t head = 6 + 7 + 6;
    const std::string frame = out.substr(head, out.size() - head - 1);
    std::string many = out.substr(0, head);
    many.reserve(head + frame.size() * static_cast<std::size_t>(frames) + 1);
    for (int i = 0; i < frames; ++i) many += frame;
    return many + ';';
}

}  // namespace tessel::test
