// Test seams of the layer's gdi part. Never included by the program.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace win32::testing {

// GDI objects created and not yet deleted: brushes, pens, fonts, regions,
// bitmaps. Stock objects and system-colour brushes are not counted.
size_t LiveGdiObjects();
// Device contexts of every kind that exist now.
size_t LiveDcs();
// Glyphs rasterized so far, over all fonts (a repaint adds none).
size_t GlyphsRasterized();
// Where fontconfig's answers are kept between runs (empty: nowhere); the
// answers this process has are forgotten.
void SetFaceCacheFile(const std::string &path);
// Faces looked up in fontconfig so far (answers from the cache not counted).
size_t FontconfigMatches();

}  // namespace win32::testing
