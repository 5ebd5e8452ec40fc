// morvalen-iconpng OUT.png [SIZE]: writes the program's icon (resource 125)
// as a SIZE x SIZE PNG with transparency (32 unless told), for the desktop
// entry. Other sizes are scaled from the 32x32 picture by nearest neighbour,
// so the pixels stay sharp.
#include <windows.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/res/resource.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/kernel/module.h"

namespace {

// Pixel (x, y) of the scaled picture is pixel (x * w / size, y * h / size)
// of the original.
void ScaleNearest(int w, int h, int size, std::vector<uint32_t> *colors, std::vector<uint8_t> *mask) {
    std::vector<uint32_t> c(static_cast<size_t>(size) * static_cast<size_t>(size));
    std::vector<uint8_t> m(c.size());
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            size_t from = static_cast<size_t>(y * h / size) * static_cast<size_t>(w) +
                          static_cast<size_t>(x * w / size);
            size_t to = static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x);
            c[to] = (*colors)[from];
            m[to] = (*mask)[from];
        }
    }
    colors->swap(c);
    mask->swap(m);
}

bool WriteRgba(const char *path, int w, int h, const std::vector<uint32_t> &colors,
               const std::vector<uint8_t> &mask) {
    FILE *f = std::fopen(path, "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            uint32_t p = colors[i];
            bool clear = mask[i] != 0;
            png_byte *out = &row[static_cast<size_t>(x) * 4];
            out[0] = clear ? 0 : static_cast<png_byte>(p >> 16);
            out[1] = clear ? 0 : static_cast<png_byte>(p >> 8);
            out[2] = clear ? 0 : static_cast<png_byte>(p);
            out[3] = clear ? 0 : 0xFF;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    int size = argc == 3 ? std::atoi(argv[2]) : 32;
    if (argc < 2 || argc > 3 || size < 1 || size > 1024) {
        std::fprintf(stderr, "usage: morvalen-iconpng OUT.png [SIZE]\n");
        return 2;
    }
    HICON icon = LoadIconA(win32::MainModule(), MAKEINTRESOURCEA(IDI_APPICON));
    int w = 0, h = 0;
    std::vector<uint32_t> colors;
    std::vector<uint8_t> mask;
    if (!icon || !win32::gdi::IconPixels(icon, &w, &h, &colors, &mask) || w <= 0 || h <= 0) {
        std::fprintf(stderr, "morvalen-iconpng: the program has no icon %d\n", IDI_APPICON);
        return 1;
    }
    ScaleNearest(w, h, size, &colors, &mask);
    if (!WriteRgba(argv[1], size, size, colors, mask)) {
        std::fprintf(stderr, "morvalen-iconpng: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
