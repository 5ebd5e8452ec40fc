// The .res reader: entries, icon groups, icon bitmaps, accelerator tables.
// Every read is bounds-checked; a malformed image is refused as a whole.

#include "platform/res/image.h"

#include <cstdlib>
#include <cstring>

#include "platform/kernel/module.h"
#include "platform/res/resources.h"

namespace win32::res {

namespace {

uint16_t Word(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Dword(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t SignedDword(const uint8_t *p) {
    uint32_t v = Dword(p);
    int32_t s;
    std::memcpy(&s, &v, sizeof s);
    return s;
}

size_t Align4(size_t n) {
    return (n + 3) & ~size_t{3};
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Reads a type or name field at `*pos` (within [0, end)): 0xFFFF and a
// WORD id, or a NUL-terminated UTF-16 string. Characters outside ASCII
// become '?': no name we look up has them.
bool ReadId(const uint8_t *base, size_t end, size_t *pos, ResId *out) {
    if (*pos + 2 > end) return false;
    if (Word(base + *pos) == 0xFFFF) {
        if (*pos + 4 > end) return false;
        out->isId = true;
        out->id = Word(base + *pos + 2);
        out->name.clear();
        *pos += 4;
        return true;
    }
    out->isId = false;
    out->id = 0;
    out->name.clear();
    for (;;) {
        if (*pos + 2 > end) return false;
        uint16_t ch = Word(base + *pos);
        *pos += 2;
        if (ch == 0) break;
        out->name.push_back(ch < 0x80 ? Upper(static_cast<char>(ch)) : '?');
    }
    return true;
}

}  // namespace

bool ResId::Matches(LPCSTR key) const {
    if (key == nullptr) return false;
    if (IS_INTRESOURCE(key)) return isId && id == LOWORD(reinterpret_cast<ULONG_PTR>(key));
    if (key[0] == '#') {
        // "#123" names the id 123.
        char *endp = nullptr;
        unsigned long v = std::strtoul(key + 1, &endp, 10);
        if (endp == key + 1 || *endp != '\0' || v > 0xFFFF) return false;
        return isId && id == v;
    }
    if (isId) return false;
    size_t n = std::strlen(key);
    if (n != name.size()) return false;
    for (size_t i = 0; i < n; ++i)
        if (Upper(key[i]) != name[i]) return false;
    return true;
}

bool ParseImage(const uint8_t *image, size_t size, std::vector<Entry> *out) {
    out->clear();
    if (image == nullptr) return size == 0;
    std::vector<Entry> entries;
    size_t pos = 0;
    while (pos < size) {
        if (size - pos < 8) return false;
        uint32_t dataSize = Dword(image + pos);
        uint32_t headerSize = Dword(image + pos + 4);
        if (headerSize < 32 || headerSize > size - pos || dataSize > size - pos - headerSize) return false;
        size_t headerEnd = pos + headerSize;

        Entry e;
        size_t p = pos + 8;
        if (!ReadId(image, headerEnd, &p, &e.type) || !ReadId(image, headerEnd, &p, &e.name)) return false;
        p = pos + Align4(p - pos);
        // data version, memory flags, language, version, characteristics
        if (p + 16 > headerEnd) return false;
        e.language = Word(image + p + 6);
        e.data = image + headerEnd;
        e.size = dataSize;

        // The image starts with an empty entry of type 0 and name 0.
        bool empty = dataSize == 0 && e.type.isId && e.type.id == 0 && e.name.isId && e.name.id == 0;
        if (!empty) entries.push_back(std::move(e));

        size_t next = headerEnd + dataSize;
        pos = next + ((4 - next % 4) % 4);
        if (pos > size) pos = size;  // the last entry's padding may be left off
    }
    *out = std::move(entries);
    return true;
}

const std::vector<Entry> &EmbeddedEntries() {
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> parsed;
        if (morvalen_embedded_resources) {
            size_t size = 0;
            const unsigned char *image = morvalen_embedded_resources(&size);
            if (!ParseImage(image, size, &parsed)) parsed.clear();
        }
        return parsed;
    }();
    return entries;
}

const Entry *Find(const std::vector<Entry> &entries, LPCSTR type, LPCSTR name) {
    for (const Entry &e : entries)
        if (e.type.Matches(type) && e.name.Matches(name)) return &e;
    return nullptr;
}

bool ParseIconGroup(const uint8_t *data, size_t size, std::vector<GroupIconEntry> *out) {
    out->clear();
    if (data == nullptr || size < 6) return false;
    if (Word(data) != 0 || Word(data + 2) != 1) return false;
    size_t count = Word(data + 4);
    if (size < 6 + count * 14) return false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *p = data + 6 + i * 14;
        GroupIconEntry g;
        g.width = p[0] == 0 ? 256 : p[0];
        g.height = p[1] == 0 ? 256 : p[1];
        g.colorCount = p[2];
        g.planes = Word(p + 4);
        g.bitCount = Word(p + 6);
        g.bytes = Dword(p + 8);
        g.iconId = Word(p + 12);
        out->push_back(g);
    }
    return true;
}

int PickIconEntry(const std::vector<GroupIconEntry> &entries, int size) {
    int best = -1;
    long bestScore = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const GroupIconEntry &g = entries[i];
        // Nearest size first, then the deepest colour up to 32 bits.
        long dist =
            std::labs(static_cast<long>(g.width - size)) + std::labs(static_cast<long>(g.height - size));
        int bits = g.bitCount > 0 && g.bitCount <= 32 ? g.bitCount : 0;
        long score = dist * 64 - bits;
        if (best < 0 || score < bestScore) {
            best = static_cast<int>(i);
            bestScore = score;
        }
    }
    return best;
}

namespace {

// The colour of pixel x of a stored row: through the palette up to 8 bits
// per pixel, else blue, green, red bytes.
uint32_t PixelColor(const uint8_t *row, int x, uint16_t bpp, const std::vector<uint32_t> &palette) {
    if (bpp <= 8) {
        size_t bit = static_cast<size_t>(x) * bpp;
        unsigned byte = row[bit / 8];
        unsigned index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        return index < palette.size() ? palette[index] : 0;
    }
    const uint8_t *q = row + static_cast<size_t>(x) * (bpp / 8);
    return (uint32_t{q[2]} << 16) | (uint32_t{q[1]} << 8) | q[0];
}

}  // namespace

bool DecodeIcon(const uint8_t *data, size_t size, IconPixels *out) {
    if (data == nullptr || size < 40) return false;
    uint32_t headerSize = Dword(data);
    if (headerSize < 40 || headerSize > size) return false;
    int32_t width = SignedDword(data + 4);
    int32_t fullHeight = SignedDword(data + 8);
    uint16_t planes = Word(data + 12);
    uint16_t bpp = Word(data + 14);
    uint32_t compression = Dword(data + 16);
    uint32_t colorsUsed = Dword(data + 32);
    if (width <= 0 || width > 256 || fullHeight <= 0 || fullHeight > 512 || fullHeight % 2 != 0) return false;
    if (planes != 1 || compression != 0 /* BI_RGB */) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    const int height = fullHeight / 2;

    size_t paletteCount = 0;
    if (bpp <= 8) {
        paletteCount = colorsUsed != 0 ? colorsUsed : (size_t{1} << bpp);
        if (paletteCount > (size_t{1} << bpp)) return false;
    }
    const size_t colorStride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    const size_t paletteAt = headerSize;
    const size_t colorAt = paletteAt + paletteCount * 4;
    const size_t maskAt = colorAt + colorStride * height;
    if (maskAt + maskStride * height > size) return false;

    std::vector<uint32_t> palette(paletteCount);
    for (size_t i = 0; i < paletteCount; ++i) {
        const uint8_t *q = data + paletteAt + i * 4;  // blue, green, red, 0
        palette[i] = (uint32_t{q[2]} << 16) | (uint32_t{q[1]} << 8) | q[0];
    }

    out->width = width;
    out->height = height;
    out->colors.assign(static_cast<size_t>(width) * height, 0);
    out->mask.assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        // Stored bottom row first.
        const uint8_t *crow = data + colorAt + colorStride * (height - 1 - y);
        const uint8_t *mrow = data + maskAt + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            size_t i = static_cast<size_t>(y) * width + x;
            out->colors[i] = PixelColor(crow, x, bpp, palette);
            // A set AND bit shows the screen through. (With a non-black
            // colour Windows would invert the screen there; we have no such
            // pixel and treat it as transparent too.)
            out->mask[i] = (mrow[x / 8] >> (7 - x % 8)) & 1;
        }
    }
    return true;
}

bool ParseAccelerators(const uint8_t *data, size_t size, std::vector<ACCEL> *out) {
    out->clear();
    if (data == nullptr || size == 0 || size % 8 != 0) return false;
    for (size_t at = 0; at < size; at += 8) {
        uint16_t flags = Word(data + at);
        ACCEL a{};
        a.fVirt = static_cast<BYTE>(flags & 0x7F);
        a.key = Word(data + at + 2);
        a.cmd = Word(data + at + 4);
        out->push_back(a);
        if (flags & 0x80) break;
    }
    return true;
}

}  // namespace win32::res

namespace win32 {

// The main module's resources are the embedded image; no other module (NULL
// included) has any.
bool FindModuleResource(HINSTANCE module, LPCSTR type, LPCSTR name, ResourceData *out) {
    if (module == nullptr || module != MainModule() || type == nullptr || name == nullptr) return false;
    const res::Entry *e = res::Find(res::EmbeddedEntries(), type, name);
    if (e == nullptr) return false;
    if (out) {
        out->data = e->data;
        out->size = e->size;
        out->language = e->language;
    }
    return true;
}

}  // namespace win32
