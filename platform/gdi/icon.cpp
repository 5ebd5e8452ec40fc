// Icons: colour image plus transparency mask, drawn as
// dest = (dest AND mask) XOR colour.
#include <algorithm>

#include "platform/gdi/gdi_private.h"

using namespace win32;

namespace win32::gdi {
namespace {

// One device pixel of an icon drawn at another size than its own: either
// wholly within pixels of one colour and mask (drawn by AND and XOR as at
// 1x), or the average colour of the opaque part it covers, blended over the
// destination by how much of it that part covers.
struct DevicePixel {
    uint32_t color = 0;
    uint32_t andMask = 0;
    uint16_t alpha = 0;  // 0..256, when not exact
    bool exact = false;
};

struct Picture {
    int width = 0, height = 0;
    std::vector<DevicePixel> pixels;
};

struct Icon {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colors;
    std::vector<uint8_t> mask;      // non-zero = transparent
    std::vector<Picture> pictures;  // made for the device sizes drawn at

    const Picture &At(int dw, int dh);
};

// The icon's pixels averaged over each device pixel of a dw x dh picture by
// the area they cover there (a box filter): at a whole scale every device
// pixel lies within one icon pixel, the nearest-neighbour enlargement; at
// any other scale no icon pixel comes out wider than another, and edges
// between colours are shared out by area instead.
const Picture &Icon::At(int dw, int dh) {
    for (const Picture &p : pictures)
        if (p.width == dw && p.height == dh) return p;
    Picture p;
    p.width = dw;
    p.height = dh;
    p.pixels.resize(static_cast<size_t>(dw) * dh);
    // In units where icon pixel i spans [i * dw, (i + 1) * dw) and device
    // pixel j spans [j * width, (j + 1) * width) (likewise down).
    auto overlap = [](int i, int ispan, int j, int jspan) {
        return std::max(0, std::min((i + 1) * ispan, (j + 1) * jspan) - std::max(i * ispan, j * jspan));
    };
    for (int dy = 0; dy < dh; ++dy) {
        const int sy0 = dy * height / dh, sy1 = std::min(height - 1, ((dy + 1) * height - 1) / dh);
        for (int dx = 0; dx < dw; ++dx) {
            const int sx0 = dx * width / dw, sx1 = std::min(width - 1, ((dx + 1) * width - 1) / dw);
            DevicePixel &out = p.pixels[static_cast<size_t>(dy) * dw + dx];
            const size_t first = static_cast<size_t>(sy0) * width + sx0;
            bool same = true;
            uint64_t r = 0, g = 0, b = 0, opaque = 0;
            for (int sy = sy0; sy <= sy1; ++sy) {
                const int wy = overlap(sy, dh, dy, height);
                for (int sx = sx0; sx <= sx1; ++sx) {
                    const size_t i = static_cast<size_t>(sy) * width + sx;
                    same = same && colors[i] == colors[first] && (mask[i] != 0) == (mask[first] != 0);
                    if (mask[i]) continue;
                    const uint64_t a = static_cast<uint64_t>(wy) * overlap(sx, dw, dx, width);
                    opaque += a;
                    r += a * ((colors[i] >> 16) & 0xFF);
                    g += a * ((colors[i] >> 8) & 0xFF);
                    b += a * (colors[i] & 0xFF);
                }
            }
            if (same) {
                out.exact = true;
                out.andMask = mask[first] ? 0xFFFFFF : 0;
                out.color = colors[first];
            } else if (opaque > 0) {
                const uint64_t area = static_cast<uint64_t>(width) * height;
                out.alpha = static_cast<uint16_t>((opaque * 256 + area / 2) / area);
                out.color =
                    static_cast<uint32_t>(((r + opaque / 2) / opaque) << 16 |
                                          ((g + opaque / 2) / opaque) << 8 | ((b + opaque / 2) / opaque));
            }
        }
    }
    pictures.push_back(std::move(p));
    return pictures.back();
}

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
// a scaled surface it covers the device pixels between the device edges of
// its logical box, its pixels averaged over them (Icon::At).
BOOL WINAPI DrawIcon(HDC hdc, int x, int y, HICON h) {
    gdi::Dc *dc = gdi::DrawableDc(hdc);
    gdi::Icon *icon = gdi::Icons().Get(win32::HandleValue(h));
    if (!dc || !icon) return FALSE;
    const RECT d = gdi::ToDeviceRect(*dc, RECT{x, y, x + icon->width, y + icon->height});
    const int dw = d.right - d.left, dh = d.bottom - d.top;
    if (dw % icon->width == 0 && dh % icon->height == 0) {
        // A whole number of device pixels for each icon pixel: its own
        // colour and mask, as Icon::At would give them, without the copy.
        const int kx = dw / icon->width, ky = dh / icon->height;
        gdi::ForEachClipped(*dc, d, [&](const RECT &p) {
            for (LONG py = p.top; py < p.bottom; ++py) {
                uint32_t *row = dc->target->Row(py);
                const size_t base = static_cast<size_t>((py - d.top) / ky) * icon->width;
                for (LONG px = p.left; px < p.right; ++px) {
                    const size_t i = base + static_cast<size_t>(kx == 1 ? px - d.left : (px - d.left) / kx);
                    const uint32_t andMask = icon->mask[i] ? 0xFFFFFF : 0;
                    row[px] = (row[px] & andMask) ^ icon->colors[i];
                }
            }
        });
        return TRUE;
    }
    const gdi::Picture &picture = icon->At(dw, dh);
    gdi::ForEachClipped(*dc, d, [&](const RECT &p) {
        for (LONG py = p.top; py < p.bottom; ++py) {
            uint32_t *row = dc->target->Row(py);
            const gdi::DevicePixel *src =
                picture.pixels.data() + static_cast<size_t>(py - d.top) * picture.width;
            for (LONG px = p.left; px < p.right; ++px) {
                const gdi::DevicePixel &s = src[px - d.left];
                if (s.exact)
                    row[px] = (row[px] & s.andMask) ^ s.color;
                else if (s.alpha)
                    row[px] = gdi::BlendPixel(row[px], s.color, s.alpha);
            }
        }
    });
    return TRUE;
}

BOOL WINAPI DestroyIcon(HICON h) {
    return gdi::Icons().Remove(win32::HandleValue(h)) != nullptr;
}
