// Device contexts: surface contexts for the window manager, memory
// contexts over bitmaps, information contexts; their state, SaveDC and
// RestoreDC, clipping, device capabilities, pixels and block transfers.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "platform/common/classic.h"
#include "platform/gdi/gdi_private.h"
#include "platform/gdi/testing.h"

using namespace win32;

namespace win32::gdi {

namespace {

win32::HandleTable<Dc> &Dcs() {
    static auto *t = new win32::HandleTable<Dc>(win32::HandleKind::DeviceContext);
    return *t;
}

int g_dpi = win32::classic::kDefaultDpi;
SIZE g_screen{win32::classic::kDefaultScreenWidth, win32::classic::kDefaultScreenHeight};

HDC AddDc(std::unique_ptr<Dc> dc) {
    InitDcState(&dc->state);
    return win32::MakeHandle<HDC>(Dcs().Add(std::move(dc)));
}

void ReleaseState(const DcState &s) {
    Release(s.pen);
    Release(s.brush);
    Release(s.font);
}

void RetainState(const DcState &s) {
    Retain(s.pen);
    Retain(s.brush);
    Retain(s.font);
}

// Replaces a saved object that was deleted meanwhile by the default.
void Revalidate(HGDIOBJ *h, UINT type, int stock) {
    if (!ObjectOfType(*h, type)) *h = GetStockObject(stock);
}

}  // namespace

void Surface::Resize(int w, int h, uint32_t fill) {
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    pixels.assign(static_cast<size_t>(width) * height, fill);
}

void SetLogicalDpi(int dpi) {
    g_dpi = dpi > 0 ? dpi : win32::classic::kDefaultDpi;
}
int LogicalDpi() {
    return g_dpi;
}

void SetScreenSize(SIZE size) {
    g_screen = size;
}

void InitDcState(DcState *s) {
    *s = DcState();
    s->pen = GetStockObject(BLACK_PEN);
    s->brush = GetStockObject(WHITE_BRUSH);
    s->font = GetStockObject(SYSTEM_FONT);
    RetainState(*s);
}

const Region &Dc::LogicalClip() {
    if (!effectiveValid) {
        effectiveLogical = visible;
        if (target)
            effectiveLogical.Intersect(Region(RECT{0, 0, target->LogicalWidth(), target->LogicalHeight()}));
        if (state.hasClip) {
            Region c = state.clip;
            c.Offset(origin.x, origin.y);
            effectiveLogical.Intersect(c);
        }
        effective = effectiveLogical.Scaled(Scale());
        effectiveValid = true;
    }
    return effectiveLogical;
}

const Region &Dc::Clip() {
    LogicalClip();
    return effective;
}

Dc *DcFromHandle(HDC h) {
    return Dcs().Get(win32::HandleValue(h));
}

Dc *DrawableDc(HDC h) {
    Dc *dc = DcFromHandle(h);
    return dc && dc->target ? dc : nullptr;
}

HDC CreateSurfaceDC(Surface *target, POINT origin, const Region &clip, HWND hwnd) {
    if (!target) return nullptr;
    auto dc = std::make_unique<Dc>();
    dc->kind = Dc::SurfaceDc;
    dc->target = target;
    dc->origin = origin;
    dc->visible = clip;
    dc->hwnd = hwnd;
    return AddDc(std::move(dc));
}

void SetSurfaceDCClip(HDC hdc, POINT origin, const Region &clip) {
    Dc *dc = DcFromHandle(hdc);
    if (!dc || dc->kind != Dc::SurfaceDc) return;
    dc->origin = origin;
    dc->visible = clip;
    dc->Invalidate();
}

BOOL DeleteSurfaceDC(HDC hdc) {
    Dc *dc = DcFromHandle(hdc);
    if (!dc || dc->kind != Dc::SurfaceDc) return FALSE;
    return DeleteDC(hdc);
}

Surface *SurfaceOfDC(HDC hdc) {
    Dc *dc = DcFromHandle(hdc);
    return dc ? dc->target : nullptr;
}

RECT ToDeviceRect(const Dc &dc, RECT r) {
    return RECT{DeviceX(dc, r.left), DeviceY(dc, r.top), DeviceX(dc, r.right), DeviceY(dc, r.bottom)};
}

void FillDevice(Dc &dc, const RECT &r, uint32_t pixel, int rop) {
    ForEachClipped(dc, r, [&](const RECT &p) {
        for (LONG y = p.top; y < p.bottom; ++y) {
            uint32_t *row = dc.target->Row(y);
            if (rop == R2_COPYPEN) {
                std::fill(row + p.left, row + p.right, pixel);
            } else {
                for (LONG x = p.left; x < p.right; ++x) row[x] = Rop2(rop, pixel, row[x]);
            }
        }
    });
}

void FillLogical(Dc &dc, RECT r, uint32_t pixel, int rop) {
    FillDevice(dc, ToDeviceRect(dc, r), pixel, rop);
}

void FillRegionDevice(Dc &dc, const Region &rgn, uint32_t pixel, int rop) {
    for (const RECT &r : rgn.Rects()) FillDevice(dc, r, pixel, rop);
}

}  // namespace win32::gdi

namespace win32::testing {
size_t LiveDcs() {
    return gdi::Dcs().LiveCount();
}
}  // namespace win32::testing

using gdi::Dc;

HDC WINAPI CreateICA(LPCSTR driver, LPCSTR, LPCSTR, const void *) {
    if (!driver || strcasecmp(driver, "DISPLAY") != 0) return nullptr;
    auto dc = std::make_unique<Dc>();
    dc->kind = Dc::InfoDc;
    return gdi::AddDc(std::move(dc));
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (hdc && !gdi::DcFromHandle(hdc)) return nullptr;
    // A new memory context holds a 1 x 1 bitmap of its own until the
    // program selects one.
    HGDIOBJ defaultBitmap = gdi::DefaultBitmap();
    auto dc = std::make_unique<Dc>();
    dc->kind = Dc::MemoryDc;
    dc->bitmap = defaultBitmap;
    gdi::GdiObject *bm = gdi::ObjectFromHandle(defaultBitmap);
    dc->target = &bm->bitmap;
    dc->visible = gdi::Region(RECT{0, 0, 1, 1});
    return gdi::AddDc(std::move(dc));
}

BOOL WINAPI DeleteDC(HDC hdc) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return FALSE;
    gdi::ReleaseState(dc->state);
    gdi::Release(dc->bitmap);
    gdi::Dcs().Remove(win32::HandleValue(hdc));
    return TRUE;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    if (!gdi::DcFromHandle(hdc)) return 0;
    const SIZE screen = gdi::g_screen;
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY:
            return gdi::g_dpi;
        case HORZRES:
            return screen.cx;
        case VERTRES:
            return screen.cy;
        case HORZSIZE:
            return screen.cx * 254 / (gdi::g_dpi * 10);
        case VERTSIZE:
            return screen.cy * 254 / (gdi::g_dpi * 10);
        case BITSPIXEL:
            return 32;
        case PLANES:
            return 1;
        case TECHNOLOGY:
            return DT_RASDISPLAY;
        case NUMCOLORS:
            return -1;
        case DRIVERVERSION:
            return 0x400;
        default:
            return 0;
    }
}

int WINAPI SaveDC(HDC hdc) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->state);
    gdi::RetainState(dc->state);
    return static_cast<int>(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int level) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return FALSE;
    const int depth = static_cast<int>(dc->saved.size());
    if (level < 0) level = depth + 1 + level;
    if (level < 1 || level > depth) return FALSE;
    while (static_cast<int>(dc->saved.size()) > level) {
        gdi::ReleaseState(dc->saved.back());
        dc->saved.pop_back();
    }
    gdi::ReleaseState(dc->state);
    dc->state = std::move(dc->saved.back());
    dc->saved.pop_back();
    // The saved state held its objects selected, so they still exist; the
    // checks guard against a handle that was never valid.
    gdi::Revalidate(&dc->state.pen, OBJ_PEN, BLACK_PEN);
    gdi::Revalidate(&dc->state.brush, OBJ_BRUSH, WHITE_BRUSH);
    gdi::Revalidate(&dc->state.font, OBJ_FONT, SYSTEM_FONT);
    dc->Invalidate();
    return TRUE;
}

// ---- attributes ---------------------------------------------------------

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF c) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->state.textColor;
    dc->state.textColor = c & 0xFFFFFF;
    return old;
}

COLORREF WINAPI GetTextColor(HDC hdc) {
    Dc *dc = gdi::DcFromHandle(hdc);
    return dc ? dc->state.textColor : CLR_INVALID;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF c) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF old = dc->state.bkColor;
    dc->state.bkColor = c & 0xFFFFFF;
    return old;
}

COLORREF WINAPI GetBkColor(HDC hdc) {
    Dc *dc = gdi::DcFromHandle(hdc);
    return dc ? dc->state.bkColor : CLR_INVALID;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
    int old = dc->state.bkMode;
    dc->state.bkMode = mode;
    return old;
}

int WINAPI GetBkMode(HDC hdc) {
    Dc *dc = gdi::DcFromHandle(hdc);
    return dc ? dc->state.bkMode : 0;
}

int WINAPI SetROP2(HDC hdc, int rop) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || rop < R2_BLACK || rop > R2_WHITE) return 0;
    int old = dc->state.rop2;
    dc->state.rop2 = rop;
    return old;
}

UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return GDI_ERROR;
    UINT old = dc->state.textAlign;
    dc->state.textAlign = align;
    return old;
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT old) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return FALSE;
    if (old) *old = dc->state.cp;
    dc->state.cp = POINT{x, y};
    return TRUE;
}

BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT pt) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || !pt) return FALSE;
    *pt = dc->state.cp;
    return TRUE;
}

// ---- clipping -----------------------------------------------------------

namespace {

// The visible area in the context's own coordinates.
gdi::Region VisibleLogical(Dc &dc) {
    gdi::Region v = dc.visible;
    if (dc.target)
        v.Intersect(gdi::Region(RECT{0, 0, dc.target->LogicalWidth(), dc.target->LogicalHeight()}));
    v.Offset(-dc.origin.x, -dc.origin.y);
    return v;
}

int ClipComplexity(Dc &dc) {
    return gdi::RegionComplexity(dc.Clip());
}

}  // namespace

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return ERROR;
    if (!hrgn) {
        dc->state.hasClip = false;
        dc->state.clip = gdi::Region();
    } else {
        gdi::Region *r = gdi::RegionFromHandle(hrgn);
        if (!r) return ERROR;
        dc->state.hasClip = true;
        dc->state.clip = *r;
    }
    dc->Invalidate();
    return ClipComplexity(*dc);
}

int WINAPI GetClipBox(HDC hdc, LPRECT rc) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc || !rc) return ERROR;
    if (!dc->target) {
        *rc = RECT{0, 0, GetDeviceCaps(hdc, HORZRES), GetDeviceCaps(hdc, VERTRES)};
        return SIMPLEREGION;
    }
    const gdi::Region &c = dc->LogicalClip();
    *rc = c.Bounds();
    if (!c.Empty()) OffsetRect(rc, -dc->origin.x, -dc->origin.y);
    return gdi::RegionComplexity(c);
}

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return ERROR;
    gdi::Region r(RECT{left, top, right, bottom});
    if (dc->state.hasClip) {
        dc->state.clip.Intersect(r);
    } else {
        dc->state.clip = r;
        dc->state.hasClip = true;
    }
    dc->Invalidate();
    return ClipComplexity(*dc);
}

int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return ERROR;
    if (!dc->state.hasClip) {
        dc->state.clip = VisibleLogical(*dc);
        dc->state.hasClip = true;
    }
    dc->state.clip.Subtract(gdi::Region(RECT{left, top, right, bottom}));
    dc->Invalidate();
    return ClipComplexity(*dc);
}

// ---- pixels and blocks -------------------------------------------------

// GetPixel and SetPixel work in logical pixels: on a scaled surface a
// pixel is read from the top-left device pixel of its device pixels and
// written to all of them.
COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc) return CLR_INVALID;
    if (!dc->LogicalClip().Contains(x + dc->origin.x, y + dc->origin.y)) return CLR_INVALID;
    return gdi::ColorrefFromPixel(dc->target->Row(gdi::DeviceY(*dc, y))[gdi::DeviceX(*dc, x)]);
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc) return CLR_INVALID;
    if (!dc->LogicalClip().Contains(x + dc->origin.x, y + dc->origin.y)) return CLR_INVALID;
    gdi::FillLogical(*dc, RECT{x, y, x + 1, y + 1}, gdi::PixelFromColorref(color), R2_COPYPEN);
    return color & 0xFFFFFF;
}

namespace {

// Ternary raster operations on (pattern, source, destination) bits: the
// operation code's high word is the truth table indexed by P*4 + S*2 + D.
uint32_t Rop3(DWORD rop, uint32_t p, uint32_t s, uint32_t d) {
    const uint32_t table = (rop >> 16) & 0xFF;
    uint32_t out = 0;
    for (int i = 0; i < 8; ++i) {
        if (!(table & (1u << i))) continue;
        uint32_t m = 0xFFFFFF;
        m &= (i & 4) ? p : ~p;
        m &= (i & 2) ? s : ~s;
        m &= (i & 1) ? d : ~d;
        out |= m;
    }
    return out & 0xFFFFFF;
}

bool UsesSource(DWORD rop) {
    return (((rop >> 2) ^ rop) & 0x330000) != 0;
}
bool UsesPattern(DWORD rop) {
    return (((rop >> 4) ^ rop) & 0x0F0000) != 0;
}

}  // namespace

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    return BitBlt(hdc, x, y, w, h, nullptr, 0, 0, rop);
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc) return FALSE;
    if (cx < 0) x += cx, x1 += cx, cx = -cx;
    if (cy < 0) y += cy, y1 += cy, cy = -cy;
    uint32_t pattern = 0;
    if (UsesPattern(rop)) {
        bool valid;
        if (!gdi::BrushPixel(static_cast<HBRUSH>(dc->state.brush), &pattern, &valid)) pattern = 0;
    }
    // The destination in device pixels. Each of its pixels takes the source
    // pixel at the same place of the same logical pixel (in proportion
    // where the two scales differ), so blocks between
    // surfaces of one scale copy exactly and a memory bitmap (one device
    // pixel a logical pixel) is enlarged or sampled nearest-neighbour.
    const int dn = dc->Scale();
    const RECT r = gdi::ToDeviceRect(*dc, RECT{x, y, x + cx, y + cy});
    const int dw = r.right - r.left, dh = r.bottom - r.top;
    // A copy of the source block, so that overlapping copies read the
    // pixels as they were.
    std::vector<uint32_t> src;
    std::vector<uint8_t> srcValid;
    if (UsesSource(rop)) {
        Dc *s = gdi::DrawableDc(hdcSrc);
        if (!s) return FALSE;
        const int sn = s->Scale();
        // The source device coordinate for a destination device coordinate,
        // along one axis: `p` on the destination, logical `at` and `from`
        // where the block starts on each (surface coordinates).
        auto source = [&](int p, int at, int from) {
            const int lp = gdi::LogicalPixel(p, dn);
            const int start = gdi::DeviceEdge(lp, dn), span = gdi::DeviceEdge(lp + 1, dn) - start;
            const int sl = from + (lp - at);
            const int sstart = gdi::DeviceEdge(sl, sn), sspan = gdi::DeviceEdge(sl + 1, sn) - sstart;
            return sstart + (p - start) * sspan / span;
        };
        src.assign(static_cast<size_t>(dw) * dh, 0);
        srcValid.assign(static_cast<size_t>(dw) * dh, 0);
        for (int j = 0; j < dh; ++j) {
            const int sy = source(r.top + j, y + dc->origin.y, y1 + s->origin.y);
            if (sy < 0 || sy >= s->target->height) continue;
            for (int i = 0; i < dw; ++i) {
                const int sx = source(r.left + i, x + dc->origin.x, x1 + s->origin.x);
                if (sx < 0 || sx >= s->target->width) continue;
                src[static_cast<size_t>(j) * dw + i] = s->target->Row(sy)[sx];
                srcValid[static_cast<size_t>(j) * dw + i] = 1;
            }
        }
    }
    gdi::ForEachClipped(*dc, r, [&](const RECT &p) {
        for (LONG py = p.top; py < p.bottom; ++py) {
            uint32_t *row = dc->target->Row(py);
            for (LONG px = p.left; px < p.right; ++px) {
                uint32_t sp = 0;
                if (!src.empty()) {
                    const size_t k = static_cast<size_t>(py - r.top) * dw + (px - r.left);
                    if (!srcValid[k]) continue;
                    sp = src[k];
                }
                row[px] = Rop3(rop, pattern, sp, row[px]);
            }
        }
    });
    return TRUE;
}
