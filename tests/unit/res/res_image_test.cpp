// The compiled resource image and the reader: the directory, the icon
// groups and images, the accelerator table and the version block, checked
// against the bytes; then the parsers against hand-built data.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ios>
#include <string>
#include <vector>

#include "app/res/resource.h"
#include "platform/kernel/module.h"
#include "platform/res/image.h"
#include "platform/res/resources.h"

namespace {

using win32::res::Entry;
using win32::res::IconPixels;

uint16_t W(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t D(const uint8_t *p) {
    return W(p) | (static_cast<uint32_t>(W(p + 2)) << 16);
}

const std::vector<Entry> &Image() {
    return win32::res::EmbeddedEntries();
}

win32::ResourceData Resource(LPCSTR type, LPCSTR name) {
    win32::ResourceData d;
    EXPECT_TRUE(win32::FindModuleResource(win32::MainModule(), type, name, &d));
    return d;
}

// ---- the directory ---------------------------------------------------------

TEST(ResourceDirectory, HoldsExactlyTheProgramsResources) {
    struct Row {
        WORD type;
        const char *name;  // null: numeric id
        WORD id;
        size_t size;
    };
    const Row expected[] = {
        {3, nullptr, 1, 744},   {3, nullptr, 2, 744},   {3, nullptr, 3, 744},   {9, "ACCELERATORS_1", 0, 8},
        {14, nullptr, 125, 20}, {14, nullptr, 126, 20}, {14, nullptr, 127, 20}, {16, nullptr, 1, 912},
    };
    std::vector<const Entry *> entries;
    for (const Entry &e : Image()) entries.push_back(&e);
    ASSERT_EQ(entries.size(), std::size(expected));
    std::sort(entries.begin(), entries.end(), [](const Entry *a, const Entry *b) {
        if (a->type.id != b->type.id) return a->type.id < b->type.id;
        return a->name.id < b->name.id;
    });
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = *entries[i];
        const Row &r = expected[i];
        SCOPED_TRACE(i);
        EXPECT_TRUE(e.type.isId);
        EXPECT_EQ(e.type.id, r.type);
        if (r.name) {
            EXPECT_FALSE(e.name.isId);
            EXPECT_EQ(e.name.name, r.name);
        } else {
            EXPECT_TRUE(e.name.isId);
            EXPECT_EQ(e.name.id, r.id);
        }
        EXPECT_EQ(e.language, 0x0409);
        EXPECT_EQ(e.size, r.size);
    }
}

TEST(ResourceDirectory, OnlyTheMainModuleHasResources) {
    win32::ResourceData d;
    EXPECT_FALSE(win32::FindModuleResource(nullptr, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APPICON), &d));
    HINSTANCE other = reinterpret_cast<HINSTANCE>(uintptr_t{0x10000000});
    EXPECT_FALSE(win32::FindModuleResource(other, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APPICON), &d));
    EXPECT_FALSE(win32::FindModuleResource(win32::MainModule(), RT_GROUP_ICON, MAKEINTRESOURCEA(128), &d));
    EXPECT_FALSE(win32::FindModuleResource(win32::MainModule(), RT_ICON, MAKEINTRESOURCEA(IDI_APPICON), &d));
    // Ids by number or "#n", names without regard to case.
    EXPECT_TRUE(win32::FindModuleResource(win32::MainModule(), RT_GROUP_ICON, "#126", &d));
    EXPECT_EQ(d.size, 20u);
    EXPECT_TRUE(win32::FindModuleResource(win32::MainModule(), RT_ACCELERATOR, "accelerators_1", &d));
    EXPECT_EQ(d.language, 0x0409);
    EXPECT_FALSE(win32::FindModuleResource(win32::MainModule(), RT_ACCELERATOR, "ACCELERATORS_2", &d));
    EXPECT_FALSE(win32::FindModuleResource(win32::MainModule(), RT_ACCELERATOR, "#9", &d));
}

// ---- icons ----------------------------------------------------------------

TEST(ResourceIcons, GroupsHaveOne32x32SixteenColourEntry) {
    for (WORD id : {IDI_APPICON, IDI_FIXEDDRIVE, IDI_REMOVABLEDRIVE}) {
        SCOPED_TRACE(id);
        win32::ResourceData g = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(id));
        ASSERT_EQ(g.size, 20u);
        const uint8_t *p = g.data;
        EXPECT_EQ(W(p), 0);
        EXPECT_EQ(W(p + 2), 1);
        EXPECT_EQ(W(p + 4), 1);
        EXPECT_EQ(p[6], 32);
        EXPECT_EQ(p[7], 32);
        EXPECT_EQ(p[8], 16);
        EXPECT_EQ(p[9], 0);
        EXPECT_EQ(W(p + 10), 1);
        EXPECT_EQ(W(p + 12), 4);
        EXPECT_EQ(D(p + 14), 744u);
        EXPECT_EQ(W(p + 18), id - IDI_APPICON + 1);
    }
}

TEST(ResourceIcons, ImagesAreFourBitDibsWithTheStandardPaletteAndCleanMasks) {
    const uint32_t palette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                  0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                  0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (WORD id = 1; id <= 3; ++id) {
        SCOPED_TRACE(id);
        win32::ResourceData im = Resource(RT_ICON, MAKEINTRESOURCEA(id));
        ASSERT_EQ(im.size, 744u);
        const uint8_t *p = im.data;
        EXPECT_EQ(D(p), 40u);
        EXPECT_EQ(D(p + 4), 32u);
        EXPECT_EQ(D(p + 8), 64u);
        EXPECT_EQ(W(p + 12), 1);
        EXPECT_EQ(W(p + 14), 4);
        EXPECT_EQ(D(p + 16), 0u);
        EXPECT_EQ(D(p + 20), 640u);
        for (int off = 24; off < 40; off += 4) EXPECT_EQ(D(p + off), 0u) << off;
        for (int i = 0; i < 16; ++i) {
            const uint8_t *q = p + 40 + 4 * i;
            EXPECT_EQ((uint32_t{q[2]} << 16) | (q[1] << 8) | q[0], palette[i]) << i;
            EXPECT_EQ(q[3], 0);
        }
        // Every transparent pixel (mask bit set) has colour index 0, so no
        // pixel inverts the screen.
        const uint8_t *colour = p + 104;
        const uint8_t *mask = p + 104 + 512;
        int transparent = 0;
        for (int row = 0; row < 32; ++row) {
            for (int x = 0; x < 32; ++x) {
                bool clear = (mask[row * 4 + x / 8] >> (7 - x % 8)) & 1;
                int index = (colour[row * 16 + x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
                if (clear) {
                    ++transparent;
                    EXPECT_EQ(index, 0) << "row " << row << " x " << x;
                }
            }
        }
        EXPECT_GT(transparent, 0);
    }
}

IconPixels DecodedIcon(WORD group) {
    std::vector<win32::res::GroupIconEntry> entries;
    win32::ResourceData g = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(group));
    EXPECT_TRUE(win32::res::ParseIconGroup(g.data, g.size, &entries));
    int pick = win32::res::PickIconEntry(entries, 32);
    EXPECT_GE(pick, 0);
    IconPixels px;
    if (pick < 0) return px;
    win32::ResourceData im = Resource(RT_ICON, MAKEINTRESOURCEA(entries[pick].iconId));
    EXPECT_TRUE(win32::res::DecodeIcon(im.data, im.size, &px));
    return px;
}

// The box holding every opaque pixel, and the colours used.
struct Extent {
    int left = 32, top = 32, right = -1, bottom = -1;
    std::vector<uint32_t> colours;
    bool Has(uint32_t c) const { return std::find(colours.begin(), colours.end(), c) != colours.end(); }
};

Extent Opaque(const IconPixels &px) {
    Extent e;
    for (int y = 0; y < px.height; ++y) {
        for (int x = 0; x < px.width; ++x) {
            size_t i = static_cast<size_t>(y) * px.width + x;
            if (px.mask[i]) continue;
            e.left = std::min(e.left, x);
            e.right = std::max(e.right, x);
            e.top = std::min(e.top, y);
            e.bottom = std::max(e.bottom, y);
            if (!e.Has(px.colors[i])) e.colours.push_back(px.colors[i]);
        }
    }
    return e;
}

TEST(ResourceIcons, PicturesLieWithinTheirAreas) {
    IconPixels fixed = DecodedIcon(IDI_FIXEDDRIVE);
    ASSERT_EQ(fixed.width, 32);
    ASSERT_EQ(fixed.height, 32);
    Extent f = Opaque(fixed);
    EXPECT_GE(f.left, 2);
    EXPECT_LE(f.right, 17);
    EXPECT_GE(f.top, 3);
    EXPECT_LE(f.bottom, 12);
    // silver body, white highlight, red light, black shadow
    for (uint32_t c : {0xC0C0C0u, 0xFFFFFFu, 0xFF0000u, 0x000000u}) EXPECT_TRUE(f.Has(c)) << std::hex << c;

    Extent r = Opaque(DecodedIcon(IDI_REMOVABLEDRIVE));
    EXPECT_GE(r.left, 4);
    EXPECT_LE(r.right, 14);
    EXPECT_GE(r.top, 2);
    EXPECT_LE(r.bottom, 13);
    // blue disk, white label, silver lines and shutter, black dots, grey shadow
    for (uint32_t c : {0x0000FFu, 0xFFFFFFu, 0xC0C0C0u, 0x000000u, 0x808080u})
        EXPECT_TRUE(r.Has(c)) << std::hex << c;

    IconPixels app = DecodedIcon(IDI_APPICON);
    Extent a = Opaque(app);
    EXPECT_GE(a.left, 2);
    EXPECT_LE(a.right, 31);
    EXPECT_GE(a.top, 1);
    EXPECT_LE(a.bottom, 25);
    for (uint32_t c : {0xC0C0C0u, 0x808080u, 0xFFFFFFu, 0xFF0000u, 0x000000u, 0x00FFFFu})
        EXPECT_TRUE(a.Has(c)) << std::hex << c;
    // Rows 6 and 7 separate the gauge from the drive unit.
    for (int y = 6; y <= 7; ++y)
        for (int x = 0; x < 32; ++x) EXPECT_TRUE(app.mask[y * 32 + x]) << x << "," << y;
}

TEST(ResourceIcons, AppGaugeIsTwentyOfTwentySixInnerPixelsFilled) {
    IconPixels app = DecodedIcon(IDI_APPICON);
    ASSERT_EQ(app.width, 32);
    auto at = [&](int x, int y) { return app.mask[y * 32 + x] ? 0xFFFFFFFFu : app.colors[y * 32 + x]; };
    // The frame: grey, rows 1 to 5.
    int frameLeft = -1, frameRight = -1;
    for (int x = 0; x < 32; ++x) {
        if (at(x, 1) == 0x808080u) {
            if (frameLeft < 0) frameLeft = x;
            frameRight = x;
        }
    }
    ASSERT_GE(frameLeft, 2);
    EXPECT_EQ(frameRight - frameLeft - 1, 26);
    for (int y = 2; y <= 4; ++y) {
        SCOPED_TRACE(y);
        EXPECT_EQ(at(frameLeft, y), 0x808080u);
        EXPECT_EQ(at(frameRight, y), 0x808080u);
        int aqua = 0, white = 0;
        for (int x = frameLeft + 1; x < frameRight; ++x) {
            uint32_t c = at(x, y);
            if (c == 0x00FFFFu) {
                ++aqua;
                EXPECT_EQ(white, 0) << "aqua right of white at " << x;
            } else if (c == 0xFFFFFFu) {
                ++white;
            } else {
                ADD_FAILURE() << "unexpected colour " << std::hex << c << " at " << std::dec << x;
            }
        }
        EXPECT_EQ(aqua, 20);
        EXPECT_EQ(white, 6);
    }
    for (int x = frameLeft; x <= frameRight; ++x) EXPECT_EQ(at(x, 5), 0x808080u) << x;
}

// ---- the accelerator table ------------------------------------------------

TEST(ResourceAccelerators, OneAltXEntryMarkedLast) {
    win32::ResourceData a = Resource(RT_ACCELERATOR, "ACCELERATORS_1");
    ASSERT_EQ(a.size, 8u);
    const uint8_t expected[8] = {0x91, 0x00, 0x58, 0x00, 0x54, 0x23, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(a.data, expected, 8), 0);
}

TEST(ResourceAccelerators, LoadedTableIsSharedAndStripsTheLastMark) {
    HINSTANCE main = win32::MainModule();
    HACCEL h = LoadAcceleratorsA(main, "ACCELERATORS_1");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(LoadAcceleratorsA(main, "Accelerators_1"), h);
    std::vector<ACCEL> entries;
    ASSERT_TRUE(win32::AcceleratorEntries(h, &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].fVirt, FVIRTKEY | FALT);
    EXPECT_EQ(entries[0].key, 'X');
    EXPECT_EQ(entries[0].cmd, IDM_EXIT);

    EXPECT_EQ(LoadAcceleratorsA(nullptr, "ACCELERATORS_1"), nullptr);
    EXPECT_EQ(LoadAcceleratorsA(main, "NOSUCHTABLE"), nullptr);
    EXPECT_EQ(LoadAcceleratorsA(main, MAKEINTRESOURCEA(1)), nullptr);

    // A destroyed table's handle goes stale; the next load makes a new one.
    EXPECT_TRUE(DestroyAcceleratorTable(h));
    EXPECT_FALSE(win32::AcceleratorEntries(h, &entries));
    EXPECT_FALSE(DestroyAcceleratorTable(h));
    HACCEL again = LoadAcceleratorsA(main, "ACCELERATORS_1");
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, h);
    EXPECT_TRUE(win32::AcceleratorEntries(again, &entries));
    EXPECT_EQ(entries.size(), 1u);
}

TEST(ResourceAccelerators, ParserStopsAtTheMarkedEntry) {
    // flags, key, command, filler
    const uint8_t table[24] = {0x09, 0, 'O', 0, 1, 0, 0, 0,   // Ctrl+O
                               0x95, 0, 'S', 0, 2, 0, 0, 0,   // Alt+Shift+S, last
                               0x01, 0, 'Q', 0, 3, 0, 0, 0};  // past the end mark
    std::vector<ACCEL> out;
    ASSERT_TRUE(win32::res::ParseAccelerators(table, sizeof table, &out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].fVirt, FVIRTKEY | FCONTROL);
    EXPECT_EQ(out[0].cmd, 1);
    EXPECT_EQ(out[1].fVirt, FVIRTKEY | FALT | FSHIFT);
    EXPECT_EQ(out[1].key, 'S');
    // Without a mark the data's end ends the table; a part entry is refused.
    ASSERT_TRUE(win32::res::ParseAccelerators(table, 8, &out));
    EXPECT_EQ(out.size(), 1u);
    EXPECT_FALSE(win32::res::ParseAccelerators(table, 12, &out));
    EXPECT_FALSE(win32::res::ParseAccelerators(table, 0, &out));
}

// ---- the version block ------------------------------------------------------

// One node of the version tree, read from its bytes.
struct Node {
    uint16_t length = 0, valueLength = 0, type = 0;
    std::string key;
    const uint8_t *value = nullptr;
    std::vector<Node> children;
};

size_t Align4(size_t n) {
    return (n + 3) & ~size_t{3};
}

// Reads the node at p (limit bytes available); `valueBytes` turns the value
// length into bytes for this node. Fails the test on structural faults.
bool ReadNode(const uint8_t *p, size_t limit, Node *n, int depth) {
    if (limit < 6) return false;
    n->length = W(p);
    n->valueLength = W(p + 2);
    n->type = W(p + 4);
    if (n->length > limit || n->length < 6) return false;
    size_t at = 6;
    for (;;) {
        if (at + 2 > n->length) return false;
        uint16_t ch = W(p + at);
        at += 2;
        if (ch == 0) break;
        n->key.push_back(static_cast<char>(ch));
    }
    at = Align4(at);
    size_t valueBytes = 0;
    if (depth == 0) valueBytes = n->valueLength;                      // VS_FIXEDFILEINFO
    if (depth == 3 && n->type == 1) valueBytes = 2 * n->valueLength;  // String, in WCHARs
    if (depth == 2 && n->type == 0) valueBytes = n->valueLength;      // Var
    n->value = p + at;
    if (at + valueBytes > n->length) return false;
    at = Align4(at + valueBytes);
    while (at < n->length) {
        Node c;
        if (!ReadNode(p + at, n->length - at, &c, depth + 1)) return false;
        at = Align4(at + c.length);
        n->children.push_back(std::move(c));
    }
    return true;
}

std::string Narrow(const uint8_t *p, size_t chars) {
    std::string s;
    for (size_t i = 0; i < chars; ++i) s.push_back(static_cast<char>(W(p + 2 * i)));
    return s;
}

TEST(ResourceVersion, FixedPartHoldsVersion1120) {
    win32::ResourceData v = Resource(RT_VERSION, MAKEINTRESOURCEA(1));
    Node root;
    ASSERT_TRUE(ReadNode(v.data, v.size, &root, 0));
    EXPECT_EQ(root.length, 912);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.valueLength, 52);
    const uint8_t *f = root.value;
    const uint32_t expected[13] = {0xFEEF04BD, 0x00010000, 0x00010001, 0x00020000, 0x00010001,
                                   0x00020000, 0x3F,       0,          0x00040004, 1,
                                   0,          0,          0};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(D(f + 4 * i), expected[i]) << "field " << i;
}

TEST(ResourceVersion, StringsAndTranslation) {
    win32::ResourceData v = Resource(RT_VERSION, MAKEINTRESOURCEA(1));
    Node root;
    ASSERT_TRUE(ReadNode(v.data, v.size, &root, 0));
    ASSERT_EQ(root.children.size(), 2u);
    const Node &sfi = root.children[0];
    EXPECT_EQ(sfi.key, "StringFileInfo");
    ASSERT_EQ(sfi.children.size(), 1u);
    const Node &table = sfi.children[0];
    EXPECT_EQ(table.key, "040904e4");

    const char *keys[12] = {"Comments",     "CompanyName",    "FileDescription", "FileVersion",
                            "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
                            "PrivateBuild", "ProductName",    "ProductVersion",  "SpecialBuild"};
    const char *fixed[12] = {nullptr,    nullptr,        "Show free space on all drives.",
                             "1.12",     "Morvalen",     nullptr,
                             "",         "Morvalen.exe", "",
                             "Morvalen", "1.12",         ""};
    ASSERT_EQ(table.children.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        const Node &s = table.children[i];
        SCOPED_TRACE(keys[i]);
        EXPECT_EQ(s.key, keys[i]);
        ASSERT_GE(s.valueLength, 1);
        std::string value = Narrow(s.value, s.valueLength - 1u);
        EXPECT_EQ(W(s.value + 2 * (s.valueLength - 1u)), 0);  // NUL-terminated
        if (fixed[i]) {
            EXPECT_EQ(value, fixed[i]);
        } else {
            EXPECT_FALSE(value.empty());
        }
    }

    const Node &vfi = root.children[1];
    EXPECT_EQ(vfi.key, "VarFileInfo");
    ASSERT_EQ(vfi.children.size(), 1u);
    const Node &tr = vfi.children[0];
    EXPECT_EQ(tr.key, "Translation");
    ASSERT_EQ(tr.valueLength, 4);
    EXPECT_EQ(W(tr.value), 0x0409);
    EXPECT_EQ(W(tr.value + 2), 0x04E4);
}

// ---- the parsers on hand-built data ----------------------------------------

void PutW(std::vector<uint8_t> &v, uint16_t x) {
    v.push_back(x & 0xFF);
    v.push_back(x >> 8);
}
void PutD(std::vector<uint8_t> &v, uint32_t x) {
    PutW(v, x & 0xFFFF);
    PutW(v, x >> 16);
}

// A .res entry with a numeric type and a string or numeric name.
void PutEntry(std::vector<uint8_t> &v, uint16_t type, const char *name, uint16_t id, uint16_t lang,
              const std::vector<uint8_t> &data) {
    std::vector<uint8_t> h;
    PutW(h, 0xFFFF);
    PutW(h, type);
    if (name) {
        for (const char *c = name; *c; ++c) PutW(h, static_cast<uint8_t>(*c));
        PutW(h, 0);
    } else {
        PutW(h, 0xFFFF);
        PutW(h, id);
    }
    while ((8 + h.size()) % 4) h.push_back(0);
    PutD(h, 0);       // data version
    PutW(h, 0x1030);  // memory flags
    PutW(h, lang);
    PutD(h, 0);
    PutD(h, 0);
    PutD(v, static_cast<uint32_t>(data.size()));
    PutD(v, static_cast<uint32_t>(8 + h.size()));
    v.insert(v.end(), h.begin(), h.end());
    v.insert(v.end(), data.begin(), data.end());
    while (v.size() % 4) v.push_back(0);
}

TEST(ResourceParser, ReadsEntriesAndRefusesDamagedImages) {
    std::vector<uint8_t> image;
    PutEntry(image, 0, nullptr, 0, 0, {});
    PutEntry(image, 10, "Data", 0, 0x0407, {1, 2, 3});  // odd size: padded
    PutEntry(image, 10, nullptr, 7, 0x0409, {9, 8, 7, 6, 5});
    std::vector<Entry> entries;
    ASSERT_TRUE(win32::res::ParseImage(image.data(), image.size(), &entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_FALSE(entries[0].name.isId);
    EXPECT_EQ(entries[0].name.name, "DATA");
    EXPECT_EQ(entries[0].language, 0x0407);
    ASSERT_EQ(entries[0].size, 3u);
    EXPECT_EQ(entries[0].data[2], 3);
    EXPECT_EQ(entries[1].name.id, 7);
    EXPECT_EQ(entries[1].size, 5u);
    EXPECT_EQ(entries[1].data[4], 5);
    EXPECT_EQ(win32::res::Find(entries, MAKEINTRESOURCEA(10), "data"), &entries[0]);
    EXPECT_EQ(win32::res::Find(entries, MAKEINTRESOURCEA(10), "#7"), &entries[1]);
    EXPECT_EQ(win32::res::Find(entries, MAKEINTRESOURCEA(10), "#7x"), nullptr);
    EXPECT_EQ(win32::res::Find(entries, MAKEINTRESOURCEA(11), MAKEINTRESOURCEA(7)), nullptr);

    // The last entry's padding may be missing.
    std::vector<uint8_t> cut(image.begin(), image.end() - 3);
    EXPECT_TRUE(win32::res::ParseImage(cut.data(), cut.size(), &entries));
    EXPECT_EQ(entries.size(), 2u);

    // Cut into the data, a header size past the end, a data size past the
    // end, an unterminated name: all refused, nothing returned.
    std::vector<uint8_t> shortData(image.begin(), image.end() - 5);
    EXPECT_FALSE(win32::res::ParseImage(shortData.data(), shortData.size(), &entries));
    EXPECT_TRUE(entries.empty());
    std::vector<uint8_t> badHeader = image;
    badHeader[32 + 4] = 0xF0;
    EXPECT_FALSE(win32::res::ParseImage(badHeader.data(), badHeader.size(), &entries));
    std::vector<uint8_t> badData = image;
    badData[32 + 3] = 0x7F;
    EXPECT_FALSE(win32::res::ParseImage(badData.data(), badData.size(), &entries));
    std::vector<uint8_t> noEnd;
    PutD(noEnd, 0);
    PutD(noEnd, 32);
    PutW(noEnd, 0xFFFF);
    PutW(noEnd, 10);
    for (int i = 0; i < 10; ++i) PutW(noEnd, 'A');  // name runs to the header's end
    EXPECT_FALSE(win32::res::ParseImage(noEnd.data(), noEnd.size(), &entries));
}

TEST(ResourceParser, PicksThe32PixelEntryWithTheMostColours) {
    using G = win32::res::GroupIconEntry;
    auto group = [](std::initializer_list<std::pair<int, int>> sizesBits) {
        std::vector<uint8_t> d;
        PutW(d, 0);
        PutW(d, 1);
        PutW(d, static_cast<uint16_t>(sizesBits.size()));
        uint16_t id = 1;
        for (auto [size, bits] : sizesBits) {
            d.push_back(static_cast<uint8_t>(size & 0xFF));
            d.push_back(static_cast<uint8_t>(size & 0xFF));
            d.push_back(bits == 4 ? 16 : 0);
            d.push_back(0);
            PutW(d, 1);
            PutW(d, static_cast<uint16_t>(bits));
            PutD(d, 1000);
            PutW(d, id++);
        }
        return d;
    };
    std::vector<G> entries;
    std::vector<uint8_t> g = group({{16, 4}, {32, 4}, {48, 8}, {32, 8}, {256, 32}});
    ASSERT_TRUE(win32::res::ParseIconGroup(g.data(), g.size(), &entries));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[4].width, 256);
    EXPECT_EQ(entries[3].iconId, 4);
    EXPECT_EQ(win32::res::PickIconEntry(entries, 32), 3);
    EXPECT_EQ(win32::res::PickIconEntry(entries, 16), 0);

    g = group({{16, 8}, {48, 4}, {24, 4}});
    ASSERT_TRUE(win32::res::ParseIconGroup(g.data(), g.size(), &entries));
    EXPECT_EQ(win32::res::PickIconEntry(entries, 32), 2);  // nearest size
    EXPECT_EQ(win32::res::PickIconEntry({}, 32), -1);

    // Not an icon directory (type 2 = cursor), or cut short.
    g[2] = 2;
    EXPECT_FALSE(win32::res::ParseIconGroup(g.data(), g.size(), &entries));
    g[2] = 1;
    EXPECT_FALSE(win32::res::ParseIconGroup(g.data(), g.size() - 1, &entries));
}

// A 4-bit icon image built pixel by pixel: colour index (x + 2y) % 16, the
// pixels with x == y or in row 0 transparent (index forced to 0).
std::vector<uint8_t> HandBuiltIcon(int w, int h) {
    std::vector<uint8_t> d;
    PutD(d, 40);
    PutD(d, static_cast<uint32_t>(w));
    PutD(d, static_cast<uint32_t>(2 * h));
    PutW(d, 1);
    PutW(d, 4);
    for (int i = 0; i < 6; ++i) PutD(d, 0);
    for (int i = 0; i < 16; ++i) {  // palette entry i: blue i, green 2i, red 3i
        d.push_back(static_cast<uint8_t>(i));
        d.push_back(static_cast<uint8_t>(2 * i));
        d.push_back(static_cast<uint8_t>(3 * i));
        d.push_back(0);
    }
    auto clear = [](int x, int y) { return x == y || y == 0; };
    int cstride = ((w * 4 + 31) / 32) * 4, mstride = ((w + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(cstride, 0);
        for (int x = 0; x < w; ++x) {
            int idx = clear(x, y) ? 0 : (x + 2 * y) % 16;
            row[x / 2] |= static_cast<uint8_t>(x % 2 ? idx : idx << 4);
        }
        d.insert(d.end(), row.begin(), row.end());
    }
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(mstride, 0);
        for (int x = 0; x < w; ++x)
            if (clear(x, y)) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        d.insert(d.end(), row.begin(), row.end());
    }
    return d;
}

TEST(ResourceParser, DecodesBottomUpRowsNibblesAndMask) {
    for (int size : {32, 16, 5}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> d = HandBuiltIcon(size, size);
        IconPixels px;
        ASSERT_TRUE(win32::res::DecodeIcon(d.data(), d.size(), &px));
        ASSERT_EQ(px.width, size);
        ASSERT_EQ(px.height, size);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                size_t i = static_cast<size_t>(y) * size + x;
                bool clear = x == y || y == 0;
                int idx = clear ? 0 : (x + 2 * y) % 16;
                uint32_t rgb = (uint32_t(3 * idx) << 16) | (uint32_t(2 * idx) << 8) | uint32_t(idx);
                ASSERT_EQ(px.mask[i], clear ? 1 : 0) << x << "," << y;
                ASSERT_EQ(px.colors[i], rgb) << x << "," << y;
            }
        }
        // Any cut is refused.
        EXPECT_FALSE(win32::res::DecodeIcon(d.data(), d.size() - 1, &px));
    }
    std::vector<uint8_t> d = HandBuiltIcon(32, 32);
    IconPixels px;
    std::vector<uint8_t> odd = d;
    odd[8] = 63;  // height not even
    EXPECT_FALSE(win32::res::DecodeIcon(odd.data(), odd.size(), &px));
    std::vector<uint8_t> rle = d;
    rle[16] = 2;  // compressed
    EXPECT_FALSE(win32::res::DecodeIcon(rle.data(), rle.size(), &px));
    std::vector<uint8_t> wide = d;
    wide[5] = 0x10;  // 4096 pixels wide
    EXPECT_FALSE(win32::res::DecodeIcon(wide.data(), wide.size(), &px));
}

// ---- the layer's own icons ---------------------------------------------------

TEST(SystemIcons, ClassicPicturesWithTransparentSurroundings) {
    struct Case {
        WORD id;
        bool cursor;
        std::vector<uint32_t> colours;
    };
    const Case cases[] = {
        {32513, false, {0xFF0000, 0xFFFFFF}},  // hand: red disc, white cross
        {32514, false, {0xFFFFFF, 0x0000FF}},  // question: bubble, blue mark
        {32515, false, {0xFFFF00, 0x000000}},  // exclamation: yellow, black
        {32516, false, {0xFFFFFF, 0x0000FF}},  // asterisk: bubble, blue i
        {32512, false, {0xFFFFFF}},            // application
        {32512, true, {0x000000, 0xFFFFFF}},   // arrow
    };
    std::vector<std::vector<uint32_t>> seen;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        IconPixels px;
        ASSERT_TRUE(win32::res::SystemIconPixels(c.id, c.cursor, &px));
        ASSERT_EQ(px.width, 32);
        ASSERT_EQ(px.height, 32);
        Extent e = Opaque(px);
        for (uint32_t col : c.colours) EXPECT_TRUE(e.Has(col)) << std::hex << col;
        EXPECT_EQ(px.mask[31 * 32 + 31], 1);  // bottom-right corner clear
        for (size_t i = 0; i < px.mask.size(); ++i) {
            if (px.mask[i]) {
                ASSERT_EQ(px.colors[i], 0u);
            }
        }
        std::vector<uint32_t> pixels = px.colors;
        for (size_t i = 0; i < pixels.size(); ++i)
            if (px.mask[i]) pixels[i] = 0xFFFFFFFF;
        EXPECT_EQ(std::find(seen.begin(), seen.end(), pixels), seen.end()) << "same picture twice";
        seen.push_back(pixels);
    }
    // The arrow's hot spot is its top-left pixel.
    IconPixels arrow;
    ASSERT_TRUE(win32::res::SystemIconPixels(32512, true, &arrow));
    EXPECT_EQ(arrow.mask[0], 0);
    EXPECT_EQ(arrow.colors[0], 0u);

    IconPixels none;
    EXPECT_FALSE(win32::res::SystemIconPixels(125, false, &none));
    EXPECT_FALSE(win32::res::SystemIconPixels(32513, true, &none));  // IDC_IBEAM: not drawn
}

}  // namespace
