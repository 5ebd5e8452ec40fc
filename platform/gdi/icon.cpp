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

// The icon pixels each device pixel covers along one axis, and how much of
// each: in units where icon pixel i spans [i * device, (i + 1) * device) and
// device pixel j spans [j * icon, (j + 1) * icon). A device pixel is never
// wider than an icon pixel, so it covers one or two: `first[j]` for
// `firstWeight[j]` of its `icon` units, the next one for the rest.
struct Axis {
    std::vector<int> first;
    std::vector<int> firstWeight;
};

Axis Cover(int icon, int device) {
    Axis a;
    a.first.resize(static_cast<size_t>(device));
    a.firstWeight.resize(static_cast<size_t>(device));
    for (int j = 0; j < device; ++j) {
        const int i = j * icon / device;
        a.first[static_cast<size_t>(j)] = i;
        a.firstWeight[static_cast<size_t>(j)] = std::min((i + 1) * device, (j + 1) * icon) - j * icon;
    }
    return a;
}

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
    const Axis across = Cover(width, dw), down = Cover(height, dh);
    const uint64_t area = static_cast<uint64_t>(width) * height;
    for (int dy = 0; dy < dh; ++dy) {
        const int sy = down.first[static_cast<size_t>(dy)], wy0 = down.firstWeight[static_cast<size_t>(dy)];
        const int rows[2] = {sy, std::min(sy + 1, height - 1)}, wys[2] = {wy0, height - wy0};
        for (int dx = 0; dx < dw; ++dx) {
            const int sx = across.first[static_cast<size_t>(dx)],
                      wx0 = across.firstWeight[static_cast<size_t>(dx)];
            const int cols[2] = {sx, std::min(sx + 1, width - 1)}, wxs[2] = {wx0, width - wx0};
            DevicePixel &out = p.pixels[static_cast<size_t>(dy) * dw + dx];
            const size_t first = static_cast<size_t>(sy) * width + sx;
            bool same = true;
            uint64_t r = 0, g = 0, b = 0, opaque = 0;
            for (int y = 0; y < 2; ++y) {
                if (!wys[y]) continue;
                for (int x = 0; x < 2; ++x) {
                    if (!wxs[x]) continue;
                    const size_t i = static_cast<size_t>(rows[y]) * width + cols[x];
                    same = same && colors[i] == colors[first] && (mask[i] != 0) == (mask[first] != 0);
                    if (mask[i]) continue;
                    const uint64_t a = static_cast<uint64_t>(wys[y]) * wxs[x];
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
