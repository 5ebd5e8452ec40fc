// Icons: colour image plus transparency mask, drawn as
// dest = (dest AND mask) XOR colour.
#include "platform/gdi/gdi_private.h"

using namespace win32;

namespace win32::gdi {
namespace {

struct Icon {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colors;
    std::vector<uint8_t> mask;  // non-zero = transparent
};

win32::HandleTable<Icon> &Icons() {
    static auto *t = new win32::HandleTable<Icon>(win32::HandleKind::Icon);
    return *t;
}

}  // namespace

HICON CreateIconFromPixels(int w, int h, const uint32_t *colors, const uint8_t *mask) {
    if (w <= 0 || h <= 0 || w > 256 || h > 256 || !colors || !mask) return nullptr;
    auto icon = std::make_unique<Icon>();
    const size_t n = static_cast<size_t>(w) * h;
    icon->width = w;
    icon->height = h;
    icon->colors.assign(colors, colors + n);
    for (uint32_t &c : icon->colors) c &= 0xFFFFFF;
    icon->mask.assign(mask, mask + n);
    return win32::MakeHandle<HICON>(Icons().Add(std::move(icon)));
}

bool IconPixels(HICON h, int *w, int *hgt, std::vector<uint32_t> *colors, std::vector<uint8_t> *mask) {
    Icon *icon = Icons().Get(win32::HandleValue(h));
    if (!icon) return false;
    if (w) *w = icon->width;
    if (hgt) *hgt = icon->height;
    if (colors) *colors = icon->colors;
    if (mask) *mask = icon->mask;
    return true;
}

}  // namespace win32::gdi

// DrawIcon: the icon at its own size with its top-left corner at (x, y); on
// a scaled surface each icon pixel covers S x S device pixels.
BOOL WINAPI DrawIcon(HDC hdc, int x, int y, HICON h) {
    gdi::Dc *dc = gdi::DrawableDc(hdc);
    gdi::Icon *icon = gdi::Icons().Get(win32::HandleValue(h));
    if (!dc || !icon) return FALSE;
    const int k = dc->Scale();
    const RECT d = gdi::ToDeviceRect(*dc, RECT{x, y, x + icon->width, y + icon->height});
    gdi::ForEachClipped(*dc, d, [&](const RECT &p) {
        for (LONG py = p.top; py < p.bottom; ++py) {
            uint32_t *row = dc->target->Row(py);
            const size_t base = static_cast<size_t>((py - d.top) / k) * icon->width;
            for (LONG px = p.left; px < p.right; ++px) {
                const size_t i = base + static_cast<size_t>((px - d.left) / k);
                const uint32_t andMask = icon->mask[i] ? 0xFFFFFF : 0;
                row[px] = (row[px] & andMask) ^ icon->colors[i];
            }
        }
    });
    return TRUE;
}

BOOL WINAPI DestroyIcon(HICON h) {
    return gdi::Icons().Remove(win32::HandleValue(h)) != nullptr;
}
