// Surface to PNG through libpng's simplified API.
#include <png.h>

#include <cstring>

#include "platform/gdi/gdi_private.h"

namespace win32::gdi {

bool WritePng(const Surface &s, const char *path) {
    if (!path || s.width <= 0 || s.height <= 0) return false;
    std::vector<uint8_t> rgb(static_cast<size_t>(s.width) * s.height * 3);
    for (size_t i = 0; i < s.pixels.size(); ++i) {
        const uint32_t p = s.pixels[i];
        rgb[i * 3] = static_cast<uint8_t>(p >> 16);
        rgb[i * 3 + 1] = static_cast<uint8_t>(p >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(p);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(s.width);
    image.height = static_cast<png_uint_32>(s.height);
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, path, 0, rgb.data(), s.width * 3, nullptr);
    png_image_free(&image);
    return ok != 0;
}

}  // namespace win32::gdi
