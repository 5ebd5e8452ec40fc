// Test seams of the layer's gdi part. Never included by the program.
#pragma once

#include <windows.h>

#include <cstddef>

namespace win32test {

// GDI objects created and not yet deleted: brushes, pens, fonts, regions,
// bitmaps. Stock objects and system-colour brushes are not counted.
size_t LiveGdiObjects();
// Device contexts of every kind that exist now.
size_t LiveDcs();
// Glyphs rasterized so far, over all fonts (a repaint adds none).
size_t GlyphsRasterized();

}  // namespace win32test
