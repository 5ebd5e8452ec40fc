// Fonts: fontconfig finds a face file (face.cpp), FreeType scales and rasterizes it.
//
// Glyphs are rendered with full hinting in monochrome by default: the
// classic look is bitmap fonts without smoothing, hinted one-bit glyphs are
// crisp at 11-16 pixels, and the text pixels are exactly the text colour
// over any background (no fringes on the cyan and beige rows, and XOR
// drawing stays reversible). A font made with ANTIALIASED_QUALITY gets
// light hinting with grayscale coverage blended over the destination.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/common/classic.h"
#include "platform/gdi/face.h"
#include "platform/gdi/gdi_private.h"
#include "platform/gdi/testing.h"

namespace win32::gdi {

// A face file's bytes, mapped read-only for FreeType.
struct FaceBytes {
    void *data = nullptr;
    size_t size = 0;
    ~FaceBytes() {
        if (data) munmap(data, size);
    }
};

struct Font::Impl {
    FT_Face face = nullptr;
    std::unique_ptr<FaceBytes> bytes;  // outlives `face`
    int ppem = 0;
    int fixedAdvance = 0;  // forces every advance when non-zero
    FT_Int32 loadFlags = FT_LOAD_DEFAULT;
    bool emboldenSynth = false;
    bool obliqueSynth = false;
    bool haveAdvance[256] = {};
    int advances[256] = {};
    // Glyphs rasterized at one device size (pixels per em), made on first
    // use, with the face's size object for it; the font's own size is
    // `size1x` (metrics, advances, glyphs at 1x).
    struct Strike {
        int ppem = 0;
        int ascent = 0, descent = 0;  // the face's, at this size
        FT_Size size = nullptr;
        bool have[256] = {};
        Glyph glyphs[256];
    };
    FT_Size size1x = nullptr;
    std::vector<std::unique_ptr<Strike>> strikes;
    int lastScale = 0;  // the scale StrikeAt answered last, and its strike
    Strike *last = nullptr;

    // Makes `size` (made on first use, at `ppem`) the face's active one;
    // false without it.
    bool Activate(FT_Size *size, int ppem) {
        if (!*size) {
            if (FT_New_Size(face, size) != 0) {
                *size = nullptr;
                return false;
            }
            FT_Activate_Size(*size);
            return FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) == 0;
        }
        return FT_Activate_Size(*size) == 0;
    }
    // The strike for display scale n: the font's size scaled by the one
    // rule (DeviceEdge), so 13 pixels per em are 16 at 1.25x, 20 at 1.5x and
    // 23 at 1.75x.
    Strike &StrikeAt(int n);
    // Loads the outline of byte c at `size` with the font's hinting and
    // synthetic styles; false when the face has no glyph for it.
    bool Load(unsigned char c, FT_Size *size, int ppem);
};

Font::~Font() {
    if (impl && impl->face) FT_Done_Face(impl->face);  // frees the sizes too
}

namespace {

size_t g_glyphsRasterized = 0;

FT_Library Library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

// Windows-1252 bytes 0x80-0x9F; the rest of the upper half is Latin-1.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

uint32_t Unicode(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
}

long Scale(long units, int ppem, int em) {
    return static_cast<long>(std::lround(static_cast<double>(units) * ppem / em));
}

// Vertical metrics the way Windows takes them from a TrueType face: the
// OS/2 table's Windows ascent and descent, scaled and rounded.
void VerticalMetrics(FT_Face face, int ppem, long *ascent, long *descent) {
    const int em = face->units_per_EM ? face->units_per_EM : 2048;
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        *ascent = Scale(os2->usWinAscent, ppem, em);
        *descent = Scale(os2->usWinDescent, ppem, em);
    } else {
        *ascent = Scale(face->ascender, ppem, em);
        *descent = Scale(-face->descender, ppem, em);
    }
}

// What a font is asked to be, after the stock fonts and height rules are
// resolved.
struct Request {
    std::string family;
    bool bold = false;
    bool italic = false;
    bool mono = false;
    int ppem = 0;        // character height (em) in pixels, or 0:
    int cellHeight = 0;  // the largest size whose line height fits this
    int exactCell = 0;   // the largest size whose line height is exactly this
    int fixedAdvance = 0;
    bool antialias = false;
    bool underline = false;
    bool strikeOut = false;
    bool zeroExternalLeading = false;
    LONG weight = 0;
};

int FindPpem(FT_Face face, const Request &r) {
    if (r.ppem > 0) return r.ppem;
    int best = 0, fit = 1;
    for (int ppem = 4; ppem <= 200; ++ppem) {
        long a, d;
        VerticalMetrics(face, ppem, &a, &d);
        const long h = a + d;
        if (r.exactCell && h == r.exactCell) best = ppem;
        if (r.cellHeight && h <= r.cellHeight) fit = ppem;
        if (h > (r.exactCell ? r.exactCell : r.cellHeight) + 2) break;
    }
    return best ? best : fit;
}

// Whether a face gives readable text at the size found for a request: at
// least a few pixels per em (or what was asked, when less), and a line no
// taller than four ems. Faces with absurd vertical metrics (an ascent of
// 65,535 units) or a tiny em square (16 units) fail: their line heights
// leave nothing but one-pixel text for a given cell, or make a line of a
// given em as tall as the screen.
bool Readable(FT_Face face, const Request &r, int ppem) {
    const int cell = r.cellHeight ? r.cellHeight : r.exactCell;
    const int least = r.ppem ? r.ppem : std::clamp(cell / 2, 1, 6);
    if (ppem < least) return false;
    long a, d;
    VerticalMetrics(face, ppem, &a, &d);
    return a > 0 && d >= 0 && a + d <= 4L * ppem + 2;
}

// Opens a face file for FreeType without ever waiting on it: a FIFO, a
// device or anything else that is not a regular file is no face.
FT_Face OpenFace(const FaceFile &file, std::unique_ptr<FaceBytes> *bytes) {
    int fd = open(file.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    auto mapped = std::make_unique<FaceBytes>();
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        void *data = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (data != MAP_FAILED) {
            mapped->data = data;
            mapped->size = static_cast<size_t>(st.st_size);
        }
    }
    close(fd);
    FT_Face face = nullptr;
    if (!mapped->data || FT_New_Memory_Face(Library(), static_cast<const FT_Byte *>(mapped->data),
                                            static_cast<FT_Long>(mapped->size), file.index, &face) != 0)
        return nullptr;
    *bytes = std::move(mapped);
    return face;
}

// Metrics of an empty font, for when no face is usable, so layout still works.
void SetFacelessMetrics(const Request &r, Font *font) {
    Font::Impl &im = *font->impl;
    TEXTMETRICA &tm = font->tm;
    im.ppem = r.ppem ? r.ppem : 13;
    tm.tmAscent = im.ppem;
    tm.tmDescent = im.ppem / 4;
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmAveCharWidth = tm.tmMaxCharWidth = r.fixedAdvance ? r.fixedAdvance : im.ppem / 2;
    im.fixedAdvance = tm.tmAveCharWidth;
}

// Ascent, descent, height and the leadings at the font's size.
void SetVerticalMetrics(FT_Face face, const Request &r, Font *font) {
    const int ppem = font->impl->ppem;
    const int em = face->units_per_EM ? face->units_per_EM : 2048;
    TEXTMETRICA &tm = font->tm;
    long ascent, descent;
    VerticalMetrics(face, ppem, &ascent, &descent);
    tm.tmAscent = ascent;
    tm.tmDescent = descent;
    tm.tmHeight = ascent + descent;
    tm.tmInternalLeading = tm.tmHeight > ppem ? tm.tmHeight - ppem : 0;
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto *hhea = static_cast<TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    tm.tmExternalLeading = 0;
    if (hhea && os2 && !r.zeroExternalLeading) {
        const long gap =
            (hhea->Ascender - hhea->Descender + hhea->Line_Gap) - (os2->usWinAscent + os2->usWinDescent);
        if (gap > 0) tm.tmExternalLeading = Scale(gap, ppem, em);
    }
}

// The average and widest character widths.
void SetCharWidths(FT_Face face, const Request &r, Font *font) {
    TEXTMETRICA &tm = font->tm;
    if (r.fixedAdvance) {
        tm.tmAveCharWidth = tm.tmMaxCharWidth = r.fixedAdvance;
        return;
    }
    const int ppem = font->impl->ppem;
    const int em = face->units_per_EM ? face->units_per_EM : 2048;
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    tm.tmAveCharWidth = os2 && os2->xAvgCharWidth ? Scale(os2->xAvgCharWidth, ppem, em)
                                                  : Scale(face->max_advance_width, ppem, em) / 2;
    // The widest character this font can draw: the 8-bit range only, not
    // the face's widest glyph anywhere in Unicode.
    tm.tmMaxCharWidth = 0;
    for (int c = 0x20; c <= 0xFF; ++c)
        tm.tmMaxCharWidth = std::max<LONG>(tm.tmMaxCharWidth, font->Advance(static_cast<unsigned char>(c)));
}

// What TEXTMETRICA says of the font beyond its sizes: weight, character
// range, style, pitch and family, character set.
void SetDescription(FT_Face face, const Request &r, TEXTMETRICA *tm) {
    tm->tmWeight = r.weight ? r.weight : (r.bold ? FW_BOLD : FW_NORMAL);
    tm->tmDigitizedAspectX = tm->tmDigitizedAspectY = win32::classic::kDefaultDpi;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFF;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = r.italic;
    tm->tmUnderlined = r.underline;
    tm->tmStruckOut = r.strikeOut;
    const bool fixedPitch = r.fixedAdvance || FT_IS_FIXED_WIDTH(face);
    // TMPF_FIXED_PITCH set means a variable-pitch font.
    tm->tmPitchAndFamily = static_cast<BYTE>((fixedPitch ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR |
                                             TMPF_TRUETYPE | (fixedPitch ? FF_MODERN : FF_SWISS));
    tm->tmCharSet = ANSI_CHARSET;
}

// Where underline and strike-out lines go, the underline within the descent.
void SetLinePositions(FT_Face face, Font *font) {
    const int ppem = font->impl->ppem;
    const int em = face->units_per_EM ? face->units_per_EM : 2048;
    const long ascent = font->tm.tmAscent, descent = font->tm.tmDescent;
    auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    long upos = face->underline_position ? Scale(-face->underline_position, ppem, em) : 1;
    font->underlineThickness = std::max(1L, Scale(face->underline_thickness, ppem, em));
    if (upos < 1) upos = 1;
    if (upos + font->underlineThickness > descent) upos = std::max(1L, descent - font->underlineThickness);
    font->underlinePos = static_cast<int>(upos);
    font->strikePos = static_cast<int>(
        os2 && os2->yStrikeoutPosition ? Scale(os2->yStrikeoutPosition, ppem, em) : ascent / 3);
}

std::unique_ptr<Font> Realize(const Request &r) {
    auto font = std::make_unique<Font>();
    font->impl = std::make_unique<Font::Impl>();
    Font::Impl &im = *font->impl;
    font->underline = r.underline;
    font->strikeOut = r.strikeOut;
    FaceFile file;
    FT_Face face = nullptr;
    // The first candidate that loads and reads well at the size asked.
    auto take = [&](const FaceFile &candidate) {
        std::unique_ptr<FaceBytes> bytes;
        FT_Face f = OpenFace(candidate, &bytes);
        if (!f) return false;
        int ppem = FindPpem(f, r);
        if (!Readable(f, r, ppem) || FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(ppem)) != 0) {
            FT_Done_Face(f);
            return false;
        }
        face = f;
        im.bytes = std::move(bytes);
        im.ppem = ppem;
        return true;
    };
    if (Library() && MatchFace(r.family, r.bold, r.italic, r.mono, take, &file)) {
        im.face = face;
        font->family = file.family;
    } else {
        font->family = r.family;
    }
    if (!face) {
        SetFacelessMetrics(r, font.get());
        return font;
    }
    im.size1x = face->size;
    im.fixedAdvance = r.fixedAdvance;
    im.emboldenSynth = r.bold && !file.bold;
    im.obliqueSynth = r.italic && !file.italic;
    im.loadFlags = r.antialias ? FT_LOAD_TARGET_LIGHT : (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME);
    SetVerticalMetrics(face, r, font.get());
    SetCharWidths(face, r, font.get());
    SetDescription(face, r, &font->tm);
    SetLinePositions(face, font.get());
    return font;
}

std::string Key(const Request &r) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%d/%d/%d/%d/%d/%d/%d/%d/%d/%d/%d/%d/%ld|", r.bold, r.italic, r.mono,
                  r.ppem, r.cellHeight, r.exactCell, r.fixedAdvance, r.antialias, r.underline, r.strikeOut,
                  r.zeroExternalLeading, 0, static_cast<long>(r.weight));
    return buf + r.family;
}

Font *Cached(const Request &r) {
    static auto *cache = new std::map<std::string, std::unique_ptr<Font>>;
    auto &slot = (*cache)[Key(r)];
    if (!slot) slot = Realize(r);
    return slot.get();
}

Request StockRequest(int which) {
    Request r;
    switch (which) {
        case SYSTEM_FIXED_FONT:
            r.family = "DejaVu Sans Mono";
            r.mono = true;
            r.exactCell = 15;
            r.cellHeight = win32::classic::kSystemFontHeight;
            r.fixedAdvance = win32::classic::kSystemFixedAdvance;
            r.zeroExternalLeading = true;
            break;
        case DEFAULT_GUI_FONT:
            r.family = "sans-serif";
            r.ppem = 11;
            break;
        default:  // SYSTEM_FONT
            r.family = "DejaVu Sans";
            r.bold = true;
            r.exactCell = win32::classic::kSystemFontHeight;
            r.cellHeight = win32::classic::kSystemFontHeight;
            r.zeroExternalLeading = true;
            r.weight = FW_BOLD;
            break;
    }
    return r;
}

Request LogicalRequest(const LOGFONTA &lf) {
    std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
    if (strcasecmp(face.c_str(), "System") == 0 && lf.lfHeight == 0) return StockRequest(SYSTEM_FONT);
    if ((strcasecmp(face.c_str(), "Fixedsys") == 0 || strcasecmp(face.c_str(), "Terminal") == 0) &&
        lf.lfHeight == 0)
        return StockRequest(SYSTEM_FIXED_FONT);
    Request r;
    const bool wantsFixed =
        (lf.lfPitchAndFamily & 3) == FIXED_PITCH || (lf.lfPitchAndFamily & 0xF0) == FF_MODERN;
    if (face.empty() || strcasecmp(face.c_str(), "MS Sans Serif") == 0 ||
        strcasecmp(face.c_str(), "MS Shell Dlg") == 0 || strcasecmp(face.c_str(), "System") == 0) {
        face = wantsFixed ? "monospace" : "sans-serif";
    } else if (strcasecmp(face.c_str(), "Fixedsys") == 0 || strcasecmp(face.c_str(), "Terminal") == 0) {
        face = "monospace";
    }
    r.family = face;
    r.mono = wantsFixed;
    r.bold = lf.lfWeight >= FW_SEMIBOLD;
    r.weight = lf.lfWeight;
    r.italic = lf.lfItalic != 0;
    r.underline = lf.lfUnderline != 0;
    r.strikeOut = lf.lfStrikeOut != 0;
    r.antialias = lf.lfQuality == ANTIALIASED_QUALITY;
    if (lf.lfHeight < 0)
        r.ppem = static_cast<int>(-static_cast<long>(lf.lfHeight));
    else if (lf.lfHeight > 0)
        r.cellHeight = static_cast<int>(lf.lfHeight);
    else
        r.cellHeight = win32::classic::kSystemFontHeight;
    if (r.ppem > 500) r.ppem = 500;
    if (r.cellHeight > 600) r.cellHeight = 600;
    return r;
}

}  // namespace

Font::Impl::Strike &Font::Impl::StrikeAt(int n) {
    if (n == lastScale) return *last;
    lastScale = n;
    const int devicePpem = DeviceEdge(ppem, std::clamp(n, kScaleOne, kScaleMax));
    for (auto &s : strikes)
        if (s->ppem == devicePpem) return *(last = s.get());
    auto strike = std::make_unique<Strike>();
    strike->ppem = devicePpem;
    if (devicePpem == ppem) strike->size = size1x;
    if (face) {
        long a = 0, d = 0;
        VerticalMetrics(face, devicePpem, &a, &d);
        strike->ascent = static_cast<int>(a);
        strike->descent = static_cast<int>(d);
    }
    strikes.push_back(std::move(strike));
    return *(last = strikes.back().get());
}

bool Font::Impl::Load(unsigned char c, FT_Size *size, int sizePpem) {
    if (!face || !Activate(size, sizePpem)) return false;
    const FT_UInt index = FT_Get_Char_Index(face, Unicode(c));
    if (FT_Load_Glyph(face, index, loadFlags) != 0) return false;
    if (emboldenSynth) FT_GlyphSlot_Embolden(face->glyph);
    if (obliqueSynth) FT_GlyphSlot_Oblique(face->glyph);
    return true;
}

int Font::Advance(unsigned char c) {
    Impl &im = *impl;
    if (im.haveAdvance[c]) return im.advances[c];
    im.haveAdvance[c] = true;
    int advance = im.fixedAdvance;
    if (!im.fixedAdvance && im.Load(c, &im.size1x, im.ppem))
        advance = static_cast<int>((im.face->glyph->advance.x + 32) >> 6);
    im.advances[c] = advance;
    return advance;
}

void Font::DeviceMetrics(int n, int *ascent, int *descent) {
    const Impl::Strike &strike = impl->StrikeAt(n);
    *ascent = strike.ascent;
    *descent = strike.descent;
}

const Glyph &Font::GlyphAt(unsigned char c, int n) {
    Impl &im = *impl;
    Impl::Strike &strike = im.StrikeAt(n);
    Glyph &g = strike.glyphs[c];
    if (strike.have[c]) return g;
    strike.have[c] = true;
    g = Glyph();
    if (!im.Load(c, &strike.size, strike.ppem)) return g;
    FT_GlyphSlot slot = im.face->glyph;
    const bool mono = (im.loadFlags & FT_LOAD_MONOCHROME) != 0;
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return g;
    ++g_glyphsRasterized;
    const FT_Bitmap &bm = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.coverage.assign(static_cast<size_t>(g.width) * g.height, 0);
    for (int y = 0; y < g.height; ++y) {
        const unsigned char *row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        for (int x = 0; x < g.width; ++x) {
            uint8_t v;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else
                v = row[x];
            g.coverage[static_cast<size_t>(y) * g.width + x] = v;
        }
    }
    return g;
}

Font *StockFont(int which) {
    return Cached(StockRequest(which));
}

Font *FontOf(HGDIOBJ hfont) {
    GdiObject *o = ObjectOfType(hfont, OBJ_FONT);
    if (!o) return nullptr;
    if (!o->realized)
        o->realized = o->stockFont >= 0 ? StockFont(o->stockFont) : Cached(LogicalRequest(o->logFont));
    return o->realized;
}

bool StockFontsReadable() {
    return StockFont(SYSTEM_FONT)->impl->face && StockFont(SYSTEM_FIXED_FONT)->impl->face;
}

bool StockFontMetrics(int stockFont, TEXTMETRICA *tm) {
    if (!tm) return false;
    switch (stockFont) {
        case OEM_FIXED_FONT:
        case ANSI_FIXED_FONT:
        case SYSTEM_FIXED_FONT:
            *tm = StockFont(SYSTEM_FIXED_FONT)->tm;
            return true;
        case ANSI_VAR_FONT:
        case DEFAULT_GUI_FONT:
            *tm = StockFont(DEFAULT_GUI_FONT)->tm;
            return true;
        case SYSTEM_FONT:
        case DEVICE_DEFAULT_FONT:
            *tm = StockFont(SYSTEM_FONT)->tm;
            return true;
        default:
            return false;
    }
}

}  // namespace win32::gdi

namespace win32::testing {
size_t GlyphsRasterized() {
    return gdi::g_glyphsRasterized;
}
}  // namespace win32::testing
