// Reading resources out of PE images and .res images. Every offset is
// checked against the file's size before it is used.

#include <algorithm>
#include <set>
#include <utility>

#include "tools/rescheck/rescheck.h"

namespace rescheck {

std::string Id::Text() const {
    return numeric ? std::to_string(id) : "\"" + name + "\"";
}

namespace {

class Reader {
public:
    explicit Reader(const std::vector<uint8_t> &bytes) : b_(bytes) {}

    bool Has(uint64_t at, uint64_t n) const { return at <= b_.size() && n <= b_.size() - at; }
    uint16_t W(uint64_t at) const { return static_cast<uint16_t>(b_[at] | (b_[at + 1] << 8)); }
    uint32_t D(uint64_t at) const { return W(at) | (static_cast<uint32_t>(W(at + 2)) << 16); }
    const uint8_t *At(uint64_t at) const { return b_.data() + at; }

private:
    const std::vector<uint8_t> &b_;
};

std::string Narrow(uint16_t ch) {
    return ch < 0x80 ? std::string(1, static_cast<char>(ch)) : "?";
}

struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

class PeResources {
public:
    PeResources(const Reader &r, std::vector<Section> sections, uint32_t base)
        : r_(r), sections_(std::move(sections)), base_(base) {}

    bool Walk(std::vector<Resource> *out, std::string *error) {
        return Directory(base_, 0, Resource{}, out, error);
    }

private:
    bool FileOffset(uint32_t rva, uint32_t size, uint64_t *at) const {
        for (const Section &s : sections_) {
            uint32_t span = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
                uint64_t off = uint64_t{s.rawOffset} + (rva - s.virtualAddress);
                if (rva - s.virtualAddress + uint64_t{size} > s.rawSize || !r_.Has(off, size)) return false;
                *at = off;
                return true;
            }
        }
        return false;
    }

    bool Name(uint32_t field, Id *id, std::string *error) const {
        if (field & 0x80000000u) {
            uint64_t at = base_ + (field & 0x7FFFFFFFu);
            if (!r_.Has(at, 2) || !r_.Has(at + 2, uint64_t{r_.W(at)} * 2)) {
                *error = "resource name outside the file";
                return false;
            }
            id->numeric = false;
            id->name.clear();
            for (uint32_t i = 0; i < r_.W(at); ++i) id->name += Narrow(r_.W(at + 2 + 2 * i));
        } else {
            id->numeric = true;
            id->id = static_cast<uint16_t>(field);
        }
        return true;
    }

    // Levels: 0 type, 1 name, 2 language, then a data entry.
    bool Directory(uint64_t at, int level, Resource partial, std::vector<Resource> *out, std::string *error) {
        if (level > 2 || !r_.Has(at, 16)) {
            *error = "resource directory damaged";
            return false;
        }
        if (!visited_.insert(at).second) {
            *error = "resource directory loops";
            return false;
        }
        uint32_t count = uint32_t{r_.W(at + 12)} + r_.W(at + 14);
        if (!r_.Has(at + 16, uint64_t{count} * 8)) {
            *error = "resource directory entries outside the file";
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t e = at + 16 + uint64_t{i} * 8;
            uint32_t nameField = r_.D(e), target = r_.D(e + 4);
            Resource r = partial;
            if (level == 0 && !Name(nameField, &r.type, error)) return false;
            if (level == 1 && !Name(nameField, &r.name, error)) return false;
            if (level == 2) r.language = static_cast<uint16_t>(nameField);
            if (target & 0x80000000u) {
                if (!Directory(base_ + (target & 0x7FFFFFFFu), level + 1, r, out, error)) return false;
                continue;
            }
            if (level != 2) {
                *error = "resource data entry above the language level";
                return false;
            }
            uint64_t d = base_ + target;
            uint64_t file = 0;
            if (!r_.Has(d, 16) || !FileOffset(r_.D(d), r_.D(d + 4), &file)) {
                *error = "resource data outside the file";
                return false;
            }
            r.data.assign(r_.At(file), r_.At(file) + r_.D(d + 4));
            out->push_back(std::move(r));
        }
        return true;
    }

    const Reader &r_;
    std::vector<Section> sections_;
    uint64_t base_;
    std::set<uint64_t> visited_;
};

}  // namespace

bool ReadPe(const std::vector<uint8_t> &file, std::vector<Resource> *out, std::string *error) {
    out->clear();
    Reader r(file);
    if (!r.Has(0, 64) || file[0] != 'M' || file[1] != 'Z') {
        *error = "not an executable (no MZ header)";
        return false;
    }
    uint64_t pe = r.D(0x3C);
    if (!r.Has(pe, 24) || r.D(pe) != 0x00004550) {
        *error = "no PE signature";
        return false;
    }
    uint16_t sectionCount = r.W(pe + 6);
    uint16_t optionalSize = r.W(pe + 20);
    uint64_t opt = pe + 24;
    if (!r.Has(opt, optionalSize) || optionalSize < 2) {
        *error = "optional header outside the file";
        return false;
    }
    uint16_t magic = r.W(opt);
    uint64_t dirs;
    if (magic == 0x10B) {
        dirs = opt + 96;
    } else if (magic == 0x20B) {
        dirs = opt + 112;
    } else {
        *error = "unknown optional header";
        return false;
    }
    uint32_t dirCount = r.D(dirs - 4);
    if (dirCount < 3 || dirs + 3 * 8 > opt + optionalSize) {
        *error = "no resource directory";
        return false;
    }
    uint32_t resourceRva = r.D(dirs + 16);
    uint32_t resourceSize = r.D(dirs + 20);
    if (resourceRva == 0 || resourceSize == 0) {
        *error = "the executable has no resources";
        return false;
    }
    std::vector<Section> sections;
    uint64_t table = opt + optionalSize;
    if (!r.Has(table, uint64_t{sectionCount} * 40)) {
        *error = "section table outside the file";
        return false;
    }
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint64_t s = table + uint64_t{i} * 40;
        sections.push_back({r.D(s + 12), r.D(s + 8), r.D(s + 16), r.D(s + 20)});
    }
    uint64_t base = 0;
    bool found = false;
    for (const Section &s : sections) {
        if (resourceRva >= s.virtualAddress && resourceRva - s.virtualAddress < s.rawSize) {
            base = uint64_t{s.rawOffset} + (resourceRva - s.virtualAddress);
            found = r.Has(base, 16);
            break;
        }
    }
    if (!found) {
        *error = "resource directory outside the file";
        return false;
    }
    PeResources walker(r, std::move(sections), static_cast<uint32_t>(base));
    if (!walker.Walk(out, error)) {
        out->clear();
        return false;
    }
    return true;
}

bool ReadRes(const std::vector<uint8_t> &file, std::vector<Resource> *out, std::string *error) {
    out->clear();
    Reader r(file);
    uint64_t at = 0;
    auto readId = [&](uint64_t *p, uint64_t end, Id *id) {
        if (*p + 2 > end) return false;
        if (r.W(*p) == 0xFFFF) {
            if (*p + 4 > end) return false;
            id->numeric = true;
            id->id = r.W(*p + 2);
            *p += 4;
            return true;
        }
        id->numeric = false;
        id->name.clear();
        for (;;) {
            if (*p + 2 > end) return false;
            uint16_t ch = r.W(*p);
            *p += 2;
            if (ch == 0) return true;
            id->name += Narrow(ch);
        }
    };
    while (at < file.size()) {
        if (!r.Has(at, 8)) {
            *error = "resource image cut short";
            return false;
        }
        uint32_t dataSize = r.D(at), headerSize = r.D(at + 4);
        if (headerSize < 32 || !r.Has(at, headerSize) || !r.Has(at + headerSize, dataSize)) {
            *error = "resource entry outside the image";
            return false;
        }
        Resource res;
        uint64_t p = at + 8, end = at + headerSize;
        if (!readId(&p, end, &res.type) || !readId(&p, end, &res.name)) {
            *error = "resource entry header damaged";
            return false;
        }
        p = at + ((p - at + 3) & ~uint64_t{3});
        if (p + 16 > end) {
            *error = "resource entry header damaged";
            return false;
        }
        res.language = r.W(p + 6);
        res.data.assign(r.At(end), r.At(end) + dataSize);
        bool empty = dataSize == 0 && res.type.numeric && res.type.id == 0;
        if (!empty) out->push_back(std::move(res));
        at = (end + dataSize + 3) & ~uint64_t{3};
    }
    return true;
}

}  // namespace rescheck
