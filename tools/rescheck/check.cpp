// The program's resource table and the checks against it.

#include <cstdio>
#include <cstring>

#include "tools/rescheck/rescheck.h"

namespace rescheck {

namespace {

constexpr uint16_t kIcon = 3, kAccelerator = 9, kGroupIcon = 14, kVersion = 16;
constexpr uint16_t kLanguage = 0x0409;

struct Expected {
    uint16_t type;
    const char *name;  // null: numeric id
    uint16_t id;
    size_t size;
};

const Expected kTable[] = {
    {kIcon, nullptr, 1, 744},       {kIcon, nullptr, 2, 744},
    {kIcon, nullptr, 3, 744},       {kAccelerator, "ACCELERATORS_1", 0, 8},
    {kGroupIcon, nullptr, 125, 20}, {kGroupIcon, nullptr, 126, 20},
    {kGroupIcon, nullptr, 127, 20}, {kVersion, nullptr, 1, 912},
};

std::string TypeText(const Id &t) {
    if (!t.numeric) return "type " + t.Text();
    switch (t.id) {
        case kIcon:
            return "RT_ICON";
        case kAccelerator:
            return "RT_ACCELERATOR";
        case kGroupIcon:
            return "RT_GROUP_ICON";
        case kVersion:
            return "RT_VERSION";
        default:
            return "type " + std::to_string(t.id);
    }
}

std::string Label(const Resource &r) {
    return TypeText(r.type) + " " + r.name.Text();
}

bool Is(const Resource &r, const Expected &e) {
    if (!r.type.numeric || r.type.id != e.type) return false;
    if (e.name) return !r.name.numeric && r.name.name == e.name;
    return r.name.numeric && r.name.id == e.id;
}

uint16_t W(const std::vector<uint8_t> &d, size_t at) {
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}
uint32_t D(const std::vector<uint8_t> &d, size_t at) {
    return W(d, at) | (static_cast<uint32_t>(W(d, at + 2)) << 16);
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

class Checker {
public:
    explicit Checker(std::vector<std::string> *problems) : problems_(problems) {}

    void Field(const std::string &what, uint32_t got, uint32_t want) {
        if (got != want) Fail(what + " is " + Hex(got) + ", want " + Hex(want));
    }
    void Fail(const std::string &message) { problems_->push_back(message); }

    void IconImage(const Resource &r) {
        const std::vector<uint8_t> &d = r.data;
        std::string l = Label(r);
        const uint32_t header[10] = {40, 32, 64, 1 | (4u << 16), 0, 640, 0, 0, 0, 0};
        const char *names[10] = {
            "header size", "width",      "height",     "planes and bits", "compression",
            "image size",  "x pixels/m", "y pixels/m", "colours used",    "important colours"};
        for (int i = 0; i < 10; ++i) Field(l + " " + names[i], D(d, 4 * i), header[i]);
        const uint32_t palette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                      0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                      0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
        for (int i = 0; i < 16; ++i) {
            size_t q = 40 + 4 * i;
            uint32_t rgb = (uint32_t{d[q + 2]} << 16) | (uint32_t{d[q + 1]} << 8) | d[q];
            Field(l + " palette entry " + std::to_string(i), rgb | (uint32_t{d[q + 3]} << 24), palette[i]);
        }
        int inverting = 0;
        for (int row = 0; row < 32; ++row) {
            for (int x = 0; x < 32; ++x) {
                bool clear = (d[104 + 512 + row * 4 + x / 8] >> (7 - x % 8)) & 1;
                int index = (d[104 + row * 16 + x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
                if (clear && index != 0) ++inverting;
            }
        }
        if (inverting)
            Fail(l + ": " + std::to_string(inverting) + " transparent pixels with a colour other than 0");
    }

    void IconGroup(const Resource &r) {
        const std::vector<uint8_t> &d = r.data;
        std::string l = Label(r);
        Field(l + " reserved", W(d, 0), 0);
        Field(l + " type", W(d, 2), 1);
        Field(l + " count", W(d, 4), 1);
        Field(l + " width", d[6], 32);
        Field(l + " height", d[7], 32);
        Field(l + " colour count", d[8], 16);
        Field(l + " entry reserved", d[9], 0);
        Field(l + " planes", W(d, 10), 1);
        Field(l + " bits per pixel", W(d, 12), 4);
        Field(l + " image size", D(d, 14), 744);
        Field(l + " image id", W(d, 18), static_cast<uint32_t>(r.name.id - 125 + 1));
    }

    void Accelerator(const Resource &r) {
        std::string l = Label(r);
        Field(l + " flags", W(r.data, 0), 0x91);
        Field(l + " key", W(r.data, 2), 0x58);
        Field(l + " command", W(r.data, 4), 9044);
        Field(l + " filler", W(r.data, 6), 0);
    }

    void Version(const Resource &r);

private:
    std::vector<std::string> *problems_;
};

// A node of the version tree.
struct Node {
    uint16_t length = 0, valueLength = 0, type = 0;
    std::string key;
    size_t value = 0;  // offset of the value in the block
    std::vector<Node> children;
};

size_t Align4(size_t n) {
    return (n + 3) & ~size_t{3};
}

// depth 0 root, 1 StringFileInfo/VarFileInfo, 2 StringTable/Var, 3 String.
bool ReadNode(const std::vector<uint8_t> &d, size_t at, size_t limit, int depth, Node *n) {
    if (depth > 3 || at + 6 > limit) return false;
    n->length = W(d, at);
    n->valueLength = W(d, at + 2);
    n->type = W(d, at + 4);
    if (n->length < 6 || at + n->length > limit) return false;
    size_t end = at + n->length, p = at + 6;
    for (;;) {
        if (p + 2 > end) return false;
        uint16_t ch = W(d, p);
        p += 2;
        if (ch == 0) break;
        n->key.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    }
    p = at + Align4(p - at);
    size_t valueBytes = 0;
    if (depth == 0) valueBytes = n->valueLength;
    if (depth == 3) valueBytes = 2 * size_t{n->valueLength};
    if (depth == 2 && n->type == 0) valueBytes = n->valueLength;
    if (p + valueBytes > end) return false;
    n->value = p;
    p = at + Align4(p + valueBytes - at);
    while (p < end) {
        Node c;
        if (!ReadNode(d, p, end, depth + 1, &c)) return false;
        p = p + Align4(c.length);
        n->children.push_back(std::move(c));
    }
    return true;
}

std::string StringValue(const std::vector<uint8_t> &d, const Node &n) {
    std::string s;
    for (size_t i = 0; i < n.valueLength; ++i) {
        uint16_t ch = W(d, n.value + 2 * i);
        if (ch == 0) break;
        s.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    }
    return s;
}

void Checker::Version(const Resource &r) {
    const std::vector<uint8_t> &d = r.data;
    Node root;
    if (!ReadNode(d, 0, d.size(), 0, &root)) {
        Fail("RT_VERSION: the block's structure is damaged");
        return;
    }
    Field("RT_VERSION length", root.length, 912);
    if (root.key != "VS_VERSION_INFO") Fail("RT_VERSION key is \"" + root.key + "\"");
    Field("RT_VERSION fixed part length", root.valueLength, 52);
    if (root.valueLength == 52) {
        const uint32_t want[13] = {0xFEEF04BD, 0x00010000, 0x00010001, 0x00020000, 0x00010001,
                                   0x00020000, 0x3F,       0,          0x00040004, 1,
                                   0,          0,          0};
        const char *names[13] = {"signature",       "structure version",  "file version MS",
                                 "file version LS", "product version MS", "product version LS",
                                 "file flags mask", "file flags",         "file OS",
                                 "file type",       "file subtype",       "file date MS",
                                 "file date LS"};
        for (int i = 0; i < 13; ++i)
            Field(std::string("RT_VERSION ") + names[i], D(d, root.value + 4 * i), want[i]);
    }

    const Node *strings = nullptr, *vars = nullptr;
    for (const Node &c : root.children) {
        if (c.key == "StringFileInfo" && !strings)
            strings = &c;
        else if (c.key == "VarFileInfo" && !vars)
            vars = &c;
        else
            Fail("RT_VERSION: unexpected block \"" + c.key + "\"");
    }
    if (!strings || strings->children.size() != 1) {
        Fail("RT_VERSION: want one string table");
    } else {
        const Node &table = strings->children[0];
        if (table.key != "040904e4" && table.key != "040904E4")
            Fail("RT_VERSION string table is \"" + table.key + "\", want \"040904e4\"");
        struct Key {
            const char *key;
            const char *value;  // null: any text that is not empty
        };
        const Key keys[12] = {{"Comments", nullptr},
                              {"CompanyName", nullptr},
                              {"FileDescription", "Show free space on all drives."},
                              {"FileVersion", "1.12"},
                              {"InternalName", "Morvalen"},
                              {"LegalCopyright", nullptr},
                              {"LegalTrademarks", ""},
                              {"OriginalFilename", "Morvalen.exe"},
                              {"PrivateBuild", ""},
                              {"ProductName", "Morvalen"},
                              {"ProductVersion", "1.12"},
                              {"SpecialBuild", ""}};
        if (table.children.size() != 12)
            Fail("RT_VERSION: " + std::to_string(table.children.size()) + " strings, want 12");
        for (size_t i = 0; i < 12 && i < table.children.size(); ++i) {
            const Node &s = table.children[i];
            if (s.key != keys[i].key) {
                Fail("RT_VERSION string " + std::to_string(i + 1) + " is \"" + s.key + "\", want \"" +
                     keys[i].key + "\"");
                continue;
            }
            std::string v = StringValue(d, s);
            if (keys[i].value ? v != keys[i].value : v.empty())
                Fail("RT_VERSION " + s.key + " is \"" + v + "\"" +
                     (keys[i].value ? ", want \"" + std::string(keys[i].value) + "\"" : ", want some text"));
        }
    }
    if (!vars || vars->children.size() != 1 || vars->children[0].key != "Translation" ||
        vars->children[0].valueLength != 4) {
        Fail("RT_VERSION: want one Translation pair");
    } else {
        const Node &t = vars->children[0];
        Field("RT_VERSION translation language", W(d, t.value), 0x0409);
        Field("RT_VERSION translation code page", W(d, t.value + 2), 1252);
    }
}

}  // namespace

std::vector<std::string> Check(const std::vector<Resource> &resources) {
    std::vector<std::string> problems;
    Checker c(&problems);
    for (const Resource &r : resources) {
        bool known = false;
        for (const Expected &e : kTable) known = known || Is(r, e);
        if (!known) c.Fail("unexpected resource: " + Label(r) + " language " + Hex(r.language));
    }
    for (const Expected &e : kTable) {
        std::vector<const Resource *> found;
        for (const Resource &r : resources)
            if (Is(r, e)) found.push_back(&r);
        Resource want;
        want.type.id = e.type;
        if (e.name) {
            want.name.numeric = false;
            want.name.name = e.name;
        } else {
            want.name.id = e.id;
        }
        std::string l = Label(want);
        if (found.empty()) {
            c.Fail("missing: " + l);
            continue;
        }
        if (found.size() > 1) c.Fail(l + ": " + std::to_string(found.size()) + " languages, want one");
        const Resource &r = *found[0];
        c.Field(l + " language", r.language, kLanguage);
        if (r.data.size() != e.size) {
            c.Fail(l + ": " + std::to_string(r.data.size()) + " bytes, want " + std::to_string(e.size));
            continue;
        }
        switch (e.type) {
            case kIcon:
                c.IconImage(r);
                break;
            case kGroupIcon:
                c.IconGroup(r);
                break;
            case kAccelerator:
                c.Accelerator(r);
                break;
            case kVersion:
                c.Version(r);
                break;
        }
    }
    return problems;
}

}  // namespace rescheck
