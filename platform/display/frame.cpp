// Drawing the classic frame: the raised sizing border, the caption bar in
// the active or inactive caption colour with the title in the system font,
// and the caption buttons with their glyphs, all in logical pixels through
// a device context on the window's picture.
#include "platform/display/frame.h"

namespace win32::display::frame {

namespace {

void FillSys(HDC dc, const RECT &r, int colorIndex) {
    FillRect(dc, &r, GetSysColorBrush(colorIndex));
}

// Filled rectangles relative to a button's corner, in its glyph colour.
struct Bar {
    int left, top, right, bottom;
};

void FillBars(HDC dc, const RECT &button, std::initializer_list<Bar> bars, int offset) {
    for (const Bar &b : bars) {
        RECT r{button.left + b.left + offset, button.top + b.top + offset, button.left + b.right + offset,
               button.top + b.bottom + offset};
        FillSys(dc, r, COLOR_BTNTEXT);
    }
}

// The close button's cross: two strokes two pixels wide, 8 x 7.
void CloseGlyph(HDC dc, const RECT &button, int offset) {
    for (int i = 0; i < 7; ++i) {
        FillBars(dc, button, {{4 + i, 3 + i, 6 + i, 4 + i}, {10 - i, 3 + i, 12 - i, 4 + i}}, offset);
    }
}

void ButtonGlyph(HDC dc, Part part, bool maximized, const RECT &button, int offset) {
    switch (part) {
        case Part::Close:
            CloseGlyph(dc, button, offset);
            break;
        case Part::Minimize:
            FillBars(dc, button, {{4, 9, 10, 11}}, offset);
            break;
        case Part::Maximize:
            if (!maximized) {
                // A window with a thick top edge.
                FillBars(dc, button, {{3, 2, 12, 4}, {3, 4, 4, 10}, {11, 4, 12, 10}, {3, 9, 12, 10}}, offset);
            } else {
                // Restore: two such windows, the front one lower left.
                FillBars(dc, button, {{5, 1, 11, 3}, {10, 3, 11, 7}, {8, 6, 10, 7}, {5, 3, 6, 4}}, offset);
                FillBars(dc, button, {{2, 4, 8, 6}, {2, 6, 3, 10}, {7, 6, 8, 10}, {2, 9, 8, 10}}, offset);
            }
            break;
        default:
            break;
    }
}

}  // namespace

void PaintFrame(gdi::Surface &surface, const Look &look) {
    const int width = surface.LogicalWidth(), height = surface.LogicalHeight();
    if (width <= 2 * kBorder || height <= kTop + kBorder) return;
    const RECT whole{0, 0, width, height};
    HDC dc = gdi::CreateSurfaceDC(&surface, {0, 0}, gdi::Region(whole), nullptr);
    if (!dc) return;
    // The border: the raised edge, then the border colour up to the caption.
    const RECT client = ClientRect(width, height);
    FillSys(dc, RECT{2, 2, width - 2, client.top}, COLOR_ACTIVEBORDER);
    FillSys(dc, RECT{2, client.top, client.left, height - 2}, COLOR_ACTIVEBORDER);
    FillSys(dc, RECT{client.right, client.top, width - 2, height - 2}, COLOR_ACTIVEBORDER);
    FillSys(dc, RECT{client.left, client.bottom, client.right, height - 2}, COLOR_ACTIVEBORDER);
    RECT edge = whole;
    DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);

    const RECT bar{kBorder, kBorder, width - kBorder, kBorder + kCaptionBar};
    FillSys(dc, bar, look.active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    const RECT lowest = ButtonRect(Part::Minimize, width);
    if (!look.title.empty() && lowest.left - 2 > bar.left + 2) {
        SaveDC(dc);
        IntersectClipRect(dc, bar.left, bar.top, lowest.left - 2, bar.bottom);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(look.active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        const int y = bar.top + (kCaptionBar - static_cast<int>(tm.tmHeight)) / 2;
        TextOutA(dc, bar.left + 2, y, look.title.c_str(), static_cast<int>(look.title.size()));
        RestoreDC(dc, -1);
    }
    for (Part b : {Part::Close, Part::Maximize, Part::Minimize}) {
        const RECT r = ButtonRect(b, width);
        const bool down = look.pressed == b;
        RECT edge = r;
        DrawEdge(dc, &edge, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_SOFT);
        ButtonGlyph(dc, b, look.maximized, r, down ? 1 : 0);
    }
    gdi::DeleteSurfaceDC(dc);
}

}  // namespace win32::display::frame
