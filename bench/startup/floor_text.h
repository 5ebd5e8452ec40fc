// The floor programs' one string: FreeType's one-bit glyphs drawn into
// 32-bit pixels, as the least text a start that shows text must draw.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string>

// Draws `text` at (x, baseline) in `ink` into the width x height pixels.
inline void DrawFloorText(FT_Face face, const std::string &text, int x, int baseline, uint32_t *pixels,
                          int width, int height, uint32_t ink) {
    for (unsigned char c : text) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0) continue;
        const FT_Bitmap &bm = face->glyph->bitmap;
        for (unsigned row = 0; row < bm.rows; ++row) {
            for (unsigned col = 0; col < bm.width; ++col) {
                if (!(bm.buffer[row * bm.pitch + (col >> 3)] & (0x80 >> (col & 7)))) continue;
                int px = x + face->glyph->bitmap_left + static_cast<int>(col);
                int py = baseline - face->glyph->bitmap_top + static_cast<int>(row);
                if (px >= 0 && px < width && py >= 0 && py < height) pixels[py * width + px] = ink;
            }
        }
        x += static_cast<int>(face->glyph->advance.x >> 6);
    }
}
