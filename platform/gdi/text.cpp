// Text output and measurement. Measuring and drawing share one layout
// (Font::Advance, in logical pixels), so extents always equal drawn widths;
// measuring never rasterizes a glyph. Drawing places each glyph, rasterized
// by FreeType at the surface's device size (never drawn at 1x and enlarged),
// on the device edge of its logical pen position: the layout is the same
// logical layout at every scale, so the program's measured extents, and the
// windows it sizes from them, do not change with the scale, and a string
// covers exactly the device pixels of its measured extent.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/common/a11y_hooks.h"
#include "platform/gdi/gdi_private.h"

using namespace win32;

namespace win32::gdi {

namespace {

Font *DcFont(Dc &dc) {
    Font *f = FontOf(dc.state.font);
    return f ? f : StockFont(SYSTEM_FONT);
}

inline uint32_t Blend(uint32_t dst, uint32_t src, unsigned cov) {
    if (cov >= 255) return src;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
        const int v = d + ((s - d) * static_cast<int>(cov) + 127) / 255;
        out |= static_cast<uint32_t>(v) << shift;
    }
    return out;
}

// An underline or strike-out line of the font from logical (x, y), `width`
// long: like a pen, one device width wherever it runs (the line's thickness
// by PenDeviceWidth from its logical top).
void Rule(Dc &dc, const Font &f, int x, int y, int width, uint32_t color) {
    const int top = DeviceY(dc, y);
    FillDevice(dc,
               RECT{DeviceX(dc, x), top, DeviceX(dc, x + width),
                    top + PenDeviceWidth(f.underlineThickness, dc.Scale())},
               color, R2_COPYPEN);
}

// Draws glyphs at logical (x, y) = top-left of the cell; `advances`, when
// given, replaces the font's advances (ExtTextOutA's lpDx). Returns the
// width covered.
int DrawRun(Dc &dc, Font &f, int x, int y, const char *s, int n, bool opaque, const INT *advances) {
    int width = 0;
    if (advances) {
        for (int i = 0; i < n; ++i) width += advances[i];
    } else {
        width = TextWidth(f, s, n);
    }
    const int height = f.tm.tmHeight;
    if (opaque)
        FillLogical(dc, RECT{x, y, x + width, y + height}, PixelFromColorref(dc.state.bkColor), R2_COPYPEN);
    const uint32_t color = PixelFromColorref(dc.state.textColor);
    const int scale = dc.Scale();
    // The glyphs of the scaled size keep within the cell's device rows: the
    // baseline on the device edge of the logical one, moved as little as
    // makes room for the face's ascent and descent at that size (which
    // round on their own), and what still does not fit is cut at the cell.
    const int top = DeviceY(dc, y), bottom = DeviceY(dc, y + height);
    int baseline = DeviceY(dc, y + f.tm.tmAscent);
    if (scale != kScaleOne) {
        int ascent = 0, descent = 0;
        f.DeviceMetrics(scale, &ascent, &descent);
        if (top + ascent <= bottom - descent) baseline = std::clamp(baseline, top + ascent, bottom - descent);
    }
    int pen = x;  // logical
    for (int i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const Glyph &g = f.GlyphAt(c, scale);
        const int penX = DeviceX(dc, pen);
        if (g.width > 0 && g.height > 0) {
            const int gx = penX + g.left, gy = baseline - g.top;
            const RECT ink{gx, std::max(gy, top), gx + g.width, std::min(gy + g.height, bottom)};
            ForEachClipped(dc, ink, [&](const RECT &p) {
                for (LONG py = p.top; py < p.bottom; ++py) {
                    uint32_t *row = dc.target->Row(py);
                    const uint8_t *cov = g.coverage.data() + static_cast<size_t>(py - gy) * g.width;
                    for (LONG px = p.left; px < p.right; ++px)
                        if (const uint8_t a = cov[px - gx]) row[px] = Blend(row[px], color, a);
                }
            });
        }
        pen += advances ? advances[i] : f.Advance(c);
    }
    if (f.underline) Rule(dc, f, x, y + f.tm.tmAscent + f.underlinePos, width, color);
    if (f.strikeOut) Rule(dc, f, x, y + f.tm.tmAscent - f.strikePos, width, color);
    return width;
}

// Clips the primitives that follow to `r` (logical) as well; restores the
// previous extra clip when it goes out of scope.
class ExtraClip {
public:
    ExtraClip(Dc &dc, const RECT *r) : dc_(dc), saved_(dc.extraClip) {
        if (!r) return;
        RECT d = ToDeviceRect(dc, *r);
        if (saved_) IntersectRect(&d, &d, &*saved_);
        dc.extraClip = d;
    }
    ~ExtraClip() { dc_.extraClip = saved_; }

private:
    Dc &dc_;
    std::optional<RECT> saved_;
};

}  // namespace

int TextWidth(Font &f, const char *s, int n) {
    int w = 0;
    for (int i = 0; i < n; ++i) w += f.Advance(static_cast<unsigned char>(s[i]));
    return w;
}

int DrawTextLine(Dc &dc, Font &f, int x, int y, const char *s, int n, bool opaque) {
    return DrawRun(dc, f, x, y, s, n, opaque, nullptr);
}

}  // namespace win32::gdi

using gdi::Dc;
using gdi::Font;

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR s, int n, LPSIZE size) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || !size || n < 0 || (!s && n > 0)) return FALSE;
    Font &f = *gdi::DcFont(*dc);
    size->cx = gdi::TextWidth(f, s, n);
    size->cy = f.tm.tmHeight;
    return TRUE;
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || !tm) return FALSE;
    *tm = gdi::DcFont(*dc)->tm;
    return TRUE;
}

int WINAPI GetTextFaceA(HDC hdc, int c, LPSTR name) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return 0;
    const std::string &family = gdi::DcFont(*dc)->family;
    if (!name) return static_cast<int>(family.size()) + 1;
    if (c <= 0) return 0;
    const int n = std::min(c - 1, static_cast<int>(family.size()));
    std::memcpy(name, family.data(), static_cast<size_t>(n));
    name[n] = '\0';
    return n + 1;
}

// ExtTextOutA: with ETO_OPAQUE the rectangle is filled with the background
// colour first; with ETO_CLIPPED the text is clipped to it. The text cell
// follows the text alignment as in TextOutA.
BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT *rc, LPCSTR s, UINT c,
                        const INT *dx) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || (!s && c > 0)) return FALSE;
    if (!dc->target) return FALSE;
    const int n = static_cast<int>(std::min<UINT>(c, 0x7FFFFFFF));
    Font &f = *gdi::DcFont(*dc);
    const UINT align = dc->state.textAlign;
    if (align & TA_UPDATECP) {
        x = dc->state.cp.x;
        y = dc->state.cp.y;
    }
    int width = 0;
    if (dx) {
        for (int i = 0; i < n; ++i) width += dx[i];
    } else {
        width = gdi::TextWidth(f, s, n);
    }
    int left = x, top = y;
    if ((align & TA_CENTER) == TA_CENTER)
        left = x - width / 2;
    else if (align & TA_RIGHT)
        left = x - width;
    if ((align & TA_BASELINE) == TA_BASELINE)
        top = y - f.tm.tmAscent;
    else if (align & TA_BOTTOM)
        top = y - f.tm.tmHeight;
    if (rc && (options & ETO_OPAQUE))
        gdi::FillLogical(*dc, *rc, gdi::PixelFromColorref(dc->state.bkColor), R2_COPYPEN);
    {
        gdi::ExtraClip clip(*dc, rc && (options & ETO_CLIPPED) ? rc : nullptr);
        gdi::DrawRun(*dc, f, left, top, s, n, dc->state.bkMode == OPAQUE, dx);
    }
    a11y::NoteText(dc->hwnd, RECT{left, top, left + width, top + f.tm.tmHeight}, s, n, f.underline);
    if (align & TA_UPDATECP) {
        if ((align & TA_CENTER) == TA_CENTER) {
        } else if (align & TA_RIGHT) {
            dc->state.cp.x -= width;
        } else {
            dc->state.cp.x += width;
        }
    }
    return TRUE;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR s, int c) {
    if (c < 0) return FALSE;
    return ExtTextOutA(hdc, x, y, 0, nullptr, s, static_cast<UINT>(c), nullptr);
}

namespace {

struct Line {
    std::string text;    // prefix characters removed
    int underline = -1;  // index in text of the '&'-marked character
};

Line StripPrefix(const char *s, int n, bool noPrefix) {
    Line l;
    l.text.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (!noPrefix && s[i] == '&') {
            if (i + 1 < n && s[i + 1] == '&') {
                l.text.push_back('&');
                ++i;
                continue;
            }
            if (i + 1 < n) l.underline = static_cast<int>(l.text.size());
            continue;
        }
        l.text.push_back(s[i]);
    }
    return l;
}

std::vector<Line> SplitLines(const char *s, int n, UINT format) {
    const bool noPrefix = format & DT_NOPREFIX;
    std::vector<Line> lines;
    if (format & DT_SINGLELINE) {
        lines.push_back(StripPrefix(s, n, noPrefix));
        return lines;
    }
    int start = 0;
    for (int i = 0; i <= n; ++i) {
        if (i == n || s[i] == '\n' || s[i] == '\r') {
            lines.push_back(StripPrefix(s + start, i - start, noPrefix));
            if (i < n && s[i] == '\r' && i + 1 < n && s[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    return lines;
}

}  // namespace

// DrawTextA: lines placed in the rectangle by DT_CENTER / DT_RIGHT and, for
// one line, DT_VCENTER / DT_BOTTOM; clipped to the rectangle unless
// DT_NOCLIP. Returns the height of the text, or with DT_VCENTER/DT_BOTTOM
// the distance from the rectangle's top to the text's bottom.
int WINAPI DrawTextA(HDC hdc, LPCSTR text, int n, LPRECT rc, UINT format) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || !rc || (!text && n != 0)) return 0;
    if (n < 0) n = text ? static_cast<int>(std::strlen(text)) : 0;
    Font &f = *gdi::DcFont(*dc);
    const std::vector<Line> lines = SplitLines(text ? text : "", n, format);
    const int lineHeight = f.tm.tmHeight + ((format & DT_EXTERNALLEADING) ? f.tm.tmExternalLeading : 0);
    const int total = lineHeight * static_cast<int>(lines.size());
    int top = rc->top;
    const bool single = format & DT_SINGLELINE;
    if (single && (format & DT_VCENTER))
        top = rc->top + (rc->bottom - rc->top - f.tm.tmHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rc->bottom - f.tm.tmHeight;
    const int result = single && (format & (DT_VCENTER | DT_BOTTOM)) ? top - rc->top + f.tm.tmHeight : total;

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line &l : lines)
            widest = std::max(widest, gdi::TextWidth(f, l.text.data(), static_cast<int>(l.text.size())));
        rc->right = rc->left + widest;
        rc->bottom = rc->top + total;
        return result;
    }
    if (!dc->target) return 0;

    gdi::ExtraClip clip(*dc, (format & DT_NOCLIP) ? nullptr : rc);
    const bool opaque = dc->state.bkMode == OPAQUE;
    int y = top;
    for (const Line &l : lines) {
        const int len = static_cast<int>(l.text.size());
        const int w = gdi::TextWidth(f, l.text.data(), len);
        int x = rc->left;
        if (format & DT_CENTER)
            x = rc->left + (rc->right - rc->left - w) / 2;
        else if (format & DT_RIGHT)
            x = rc->right - w;
        gdi::DrawTextLine(*dc, f, x, y, l.text.data(), len, opaque);
        a11y::NoteText(dc->hwnd, RECT{x, y, x + w, y + f.tm.tmHeight}, l.text.data(), len, f.underline);
        if (l.underline >= 0) {
            const int ux = x + gdi::TextWidth(f, l.text.data(), l.underline);
            const int uw = gdi::TextWidth(f, l.text.data() + l.underline, 1);
            gdi::Rule(*dc, f, ux, y + f.tm.tmAscent + f.underlinePos, uw,
                      gdi::PixelFromColorref(dc->state.textColor));
        }
        y += lineHeight;
    }
    return result;
}
