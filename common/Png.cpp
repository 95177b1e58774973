#include "common/Exception.h"
#include "common/Image.h"

#include <cstdio>
#include <memory>
#include <png.h>

namespace varnok {

namespace {
struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
} // namespace

namespace {
// Finishes a read begun on image; name is used in messages.
RgbaImage FinishRead(png_image& image, const std::string& name) {
    image.format = PNG_FORMAT_RGBA;
    if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide ||
        image.height > kMaxImageSide || static_cast<int64_t>(image.width) * image.height > kMaxImagePixels) {
        png_image_free(&image);
        throw EFileError("PNG file " + name + " has an unsupported size");
    }
    RgbaImage result(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!png_image_finish_read(&image, nullptr, result.Pixels.data(), 0, nullptr)) {
        std::string msg = image.message;
        png_image_free(&image);
        throw EFileError("Cannot decode PNG file " + name + ": " + msg);
    }
    return result;
}
} // namespace

RgbaImage ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        throw EFileError("Cannot read PNG file " + path + ": " + image.message);
    return FinishRead(image, path);
}

RgbaImage ReadPngBytes(const std::string& bytes, const std::string& name) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        throw EFileError("Cannot read PNG file " + name + ": " + image.message);
    return FinishRead(image, name);
}

void WritePng(const std::string& path, const RgbaImage& img) {
    if (img.Width <= 0 || img.Height <= 0 ||
        img.Pixels.size() != static_cast<size_t>(img.Width) * img.Height * 4)
        throw EFileError("Cannot write an empty picture to " + path);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(img.Width);
    image.height = static_cast<png_uint_32>(img.Height);
    image.format = PNG_FORMAT_RGBA;
    FilePtr f(std::fopen(path.c_str(), "wb"));
    if (!f) throw EFileError("Cannot create " + path);
    if (!png_image_write_to_stdio(&image, f.get(), 0, img.Pixels.data(), 0, nullptr))
        throw EFileError("Cannot write PNG file " + path + ": " + image.message);
    if (std::fflush(f.get()) != 0) throw EFileError("Cannot write PNG file " + path);
}

} // namespace varnok
