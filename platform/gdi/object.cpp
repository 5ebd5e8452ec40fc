// GDI objects: the handle table, stock objects, brushes, pens, fonts,
// bitmaps, SelectObject and DeleteObject, system colours.
#include <cstring>

#include "platform/common/classic.h"
#include "platform/gdi/gdi_private.h"
#include "platform/gdi/testing.h"

using namespace win32;

namespace win32::gdi {

namespace {

struct Globals {
    ObjectTable objects{win32::HandleKind::GdiObject};
    size_t stockCount = 0;
    HGDIOBJ stock[DEFAULT_GUI_FONT + 1] = {};
    HBRUSH sysBrushes[win32::classic::kSysColorCount] = {};
};

// Never destroyed: the program's static objects may release GDI objects
// from exit-time actions.
Globals &GdiGlobals() {
    static Globals *g = new Globals;
    return *g;
}

HGDIOBJ AddStock(std::unique_ptr<GdiObject> o) {
    o->stock = true;
    HGDIOBJ h = AddObject(std::move(o));
    ++GdiGlobals().stockCount;
    return h;
}

std::unique_ptr<GdiObject> MakeBrush(COLORREF c, bool null) {
    auto o = std::make_unique<GdiObject>();
    o->type = OBJ_BRUSH;
    o->color = c & 0xFFFFFF;
    o->null = null;
    return o;
}

std::unique_ptr<GdiObject> MakePen(COLORREF c, int width, bool null) {
    auto o = std::make_unique<GdiObject>();
    o->type = OBJ_PEN;
    o->color = c & 0xFFFFFF;
    o->null = null;
    o->penWidth = width < 1 ? 1 : width;
    return o;
}

std::unique_ptr<GdiObject> MakeStockFont(int which) {
    auto o = std::make_unique<GdiObject>();
    o->type = OBJ_FONT;
    o->stockFont = which;
    return o;
}

void CreateStockObjects() {
    Globals &g = GdiGlobals();
    if (g.stock[WHITE_BRUSH]) return;
    g.stock[WHITE_BRUSH] = AddStock(MakeBrush(RGB(255, 255, 255), false));
    g.stock[LTGRAY_BRUSH] = AddStock(MakeBrush(RGB(192, 192, 192), false));
    g.stock[GRAY_BRUSH] = AddStock(MakeBrush(RGB(128, 128, 128), false));
    g.stock[DKGRAY_BRUSH] = AddStock(MakeBrush(RGB(64, 64, 64), false));
    g.stock[BLACK_BRUSH] = AddStock(MakeBrush(RGB(0, 0, 0), false));
    g.stock[NULL_BRUSH] = AddStock(MakeBrush(0, true));
    g.stock[WHITE_PEN] = AddStock(MakePen(RGB(255, 255, 255), 1, false));
    g.stock[BLACK_PEN] = AddStock(MakePen(RGB(0, 0, 0), 1, false));
    g.stock[NULL_PEN] = AddStock(MakePen(0, 1, true));
    g.stock[SYSTEM_FONT] = AddStock(MakeStockFont(SYSTEM_FONT));
    g.stock[SYSTEM_FIXED_FONT] = AddStock(MakeStockFont(SYSTEM_FIXED_FONT));
    g.stock[DEFAULT_GUI_FONT] = AddStock(MakeStockFont(DEFAULT_GUI_FONT));
    // The fixed fonts are one face; the other font names alias the system font.
    g.stock[OEM_FIXED_FONT] = g.stock[SYSTEM_FIXED_FONT];
    g.stock[ANSI_FIXED_FONT] = g.stock[SYSTEM_FIXED_FONT];
    g.stock[ANSI_VAR_FONT] = g.stock[DEFAULT_GUI_FONT];
    g.stock[DEVICE_DEFAULT_FONT] = g.stock[SYSTEM_FONT];
}

}  // namespace

ObjectTable &Objects() {
    return GdiGlobals().objects;
}

GdiObject *ObjectFromHandle(HGDIOBJ h) {
    return GdiGlobals().objects.Get(win32::HandleValue(h));
}

GdiObject *ObjectOfType(HGDIOBJ h, UINT type) {
    GdiObject *o = ObjectFromHandle(h);
    return o && o->type == type ? o : nullptr;
}

HGDIOBJ AddObject(std::unique_ptr<GdiObject> obj) {
    return win32::MakeHandle<HGDIOBJ>(GdiGlobals().objects.Add(std::move(obj)));
}

size_t StockObjectCount() {
    return GdiGlobals().stockCount;
}

HGDIOBJ DefaultBitmap() {
    static HGDIOBJ bitmap = [] {
        auto o = std::make_unique<GdiObject>();
        o->type = OBJ_BITMAP;
        o->bitmap.Resize(1, 1, 0);
        return AddStock(std::move(o));
    }();
    return bitmap;
}

void Retain(HGDIOBJ h) {
    if (GdiObject *o = ObjectFromHandle(h)) ++o->selected;
}

void Release(HGDIOBJ h) {
    if (GdiObject *o = ObjectFromHandle(h); o && o->selected > 0) --o->selected;
}

bool BrushPixel(HBRUSH hbr, uint32_t *pixel, bool *valid) {
    const uintptr_t v = win32::HandleValue(hbr);
    *valid = true;
    if (v >= 1 && v <= static_cast<uintptr_t>(win32::classic::kSysColorCount)) {
        *pixel = PixelFromColorref(win32::classic::kSysColors[v - 1]);
        return true;
    }
    GdiObject *o = ObjectOfType(hbr, OBJ_BRUSH);
    if (!o) {
        *valid = false;
        return false;
    }
    if (o->null) return false;
    *pixel = PixelFromColorref(o->color);
    return true;
}

}  // namespace win32::gdi

namespace win32::testing {

size_t LiveGdiObjects() {
    return gdi::Objects().LiveCount() - gdi::StockObjectCount();
}

}  // namespace win32::testing

using gdi::GdiObject;

HGDIOBJ WINAPI GetStockObject(int i) {
    gdi::CreateStockObjects();
    if (i < 0 || i > DEFAULT_GUI_FONT) return nullptr;
    return gdi::GdiGlobals().stock[i];
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    return static_cast<HBRUSH>(gdi::AddObject(gdi::MakeBrush(color, false)));
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    if (style < PS_SOLID || style > PS_INSIDEFRAME) return nullptr;
    // Dashed styles are drawn solid; wide pens are always solid.
    auto pen = gdi::MakePen(color, width, style == PS_NULL);
    pen->insideFrame = style == PS_INSIDEFRAME;
    return static_cast<HPEN>(gdi::AddObject(std::move(pen)));
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA *lf) {
    if (!lf) return nullptr;
    auto o = std::make_unique<GdiObject>();
    o->type = OBJ_FONT;
    o->logFont = *lf;
    o->logFont.lfFaceName[LF_FACESIZE - 1] = '\0';
    return static_cast<HFONT>(gdi::AddObject(std::move(o)));
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR face) {
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = static_cast<BYTE>(italic);
    lf.lfUnderline = static_cast<BYTE>(underline);
    lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
    lf.lfCharSet = static_cast<BYTE>(charSet);
    lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectA(&lf);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (!gdi::DcFromHandle(hdc)) return nullptr;
    if (cx <= 0 || cy <= 0 || cx > 16384 || cy > 16384) return nullptr;
    auto o = std::make_unique<GdiObject>();
    o->type = OBJ_BITMAP;
    o->bitmap.Resize(cx, cy, 0);
    return static_cast<HBITMAP>(gdi::AddObject(std::move(o)));
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
    if (GdiObject *o = gdi::ObjectFromHandle(h)) return o->type;
    if (gdi::Dc *dc = gdi::DcFromHandle(static_cast<HDC>(h)))
        return dc->kind == gdi::Dc::MemoryDc ? OBJ_MEMDC : OBJ_DC;
    return 0;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    gdi::Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return nullptr;
    switch (type) {
        case OBJ_PEN:
            return dc->state.pen;
        case OBJ_BRUSH:
            return dc->state.brush;
        case OBJ_FONT:
            return dc->state.font;
        case OBJ_BITMAP:
            return dc->bitmap;
        default:
            return nullptr;
    }
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    gdi::Dc *dc = gdi::DcFromHandle(hdc);
    GdiObject *o = gdi::ObjectFromHandle(h);
    if (!dc || !o) return nullptr;
    HGDIOBJ *slot = nullptr;
    switch (o->type) {
        case OBJ_PEN:
            slot = &dc->state.pen;
            break;
        case OBJ_BRUSH:
            slot = &dc->state.brush;
            break;
        case OBJ_FONT:
            slot = &dc->state.font;
            break;
        case OBJ_REGION: {
            const int r = SelectClipRgn(hdc, static_cast<HRGN>(h));
            return r == ERROR ? HGDI_ERROR : reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(r));
        }
        case OBJ_BITMAP: {
            if (dc->kind != gdi::Dc::MemoryDc) return nullptr;
            if (h == dc->bitmap) return h;
            if (o->selected > 0 && !o->stock) return nullptr;  // in another context
            HGDIOBJ old = dc->bitmap;
            gdi::Release(old);
            gdi::Retain(h);
            dc->bitmap = h;
            dc->target = &o->bitmap;
            dc->visible = gdi::Region(RECT{0, 0, o->bitmap.width, o->bitmap.height});
            dc->Invalidate();
            return old;
        }
        default:
            return nullptr;
    }
    HGDIOBJ old = *slot;
    if (old != h) {
        gdi::Release(old);
        gdi::Retain(h);
        *slot = h;
    }
    return old;
}

BOOL WINAPI DeleteObject(HGDIOBJ h) {
    GdiObject *o = gdi::ObjectFromHandle(h);
    if (!o) return FALSE;
    if (o->stock) return TRUE;
    if (o->selected > 0) return FALSE;
    gdi::Objects().Remove(win32::HandleValue(h));
    return TRUE;
}

DWORD WINAPI GetSysColor(int index) {
    if (index < 0 || index >= win32::classic::kSysColorCount) return 0;
    return win32::classic::kSysColors[index];
}

HBRUSH WINAPI GetSysColorBrush(int index) {
    if (index < 0 || index >= win32::classic::kSysColorCount) return nullptr;
    HBRUSH &b = gdi::GdiGlobals().sysBrushes[index];
    if (!b) b = static_cast<HBRUSH>(gdi::AddStock(gdi::MakeBrush(win32::classic::kSysColors[index], false)));
    return b;
}
