// morvalen-rescheck: the program's own resource image passes; each kind of
// damage is reported; PE images are walked through their resource
// directory, and damaged ones are refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/res/resources.h"
#include "tools/rescheck/rescheck.h"

namespace {

using rescheck::Resource;

std::vector<uint8_t> EmbeddedImage() {
    size_t size = 0;
    const unsigned char *p = morvalen_embedded_resources(&size);
    return std::vector<uint8_t>(p, p + size);
}

std::vector<Resource> ProgramResources() {
    std::vector<Resource> rs;
    std::string error;
    EXPECT_TRUE(rescheck::ReadRes(EmbeddedImage(), &rs, &error)) << error;
    return rs;
}

Resource *Get(std::vector<Resource> &rs, uint16_t type, uint16_t id) {
    for (Resource &r : rs)
        if (r.type.numeric && r.type.id == type && r.name.numeric && r.name.id == id) return &r;
    return nullptr;
}

Resource *Accelerators(std::vector<Resource> &rs) {
    for (Resource &r : rs)
        if (r.type.numeric && r.type.id == 9) return &r;
    return nullptr;
}

// True when exactly one problem is reported and it mentions `text`.
::testing::AssertionResult OneProblemMentioning(const std::vector<Resource> &rs, const std::string &text) {
    std::vector<std::string> problems = rescheck::Check(rs);
    std::string all;
    for (const std::string &p : problems) all += "\n  " + p;
    if (problems.size() != 1) return ::testing::AssertionFailure() << problems.size() << " problems:" << all;
    if (problems[0].find(text) == std::string::npos)
        return ::testing::AssertionFailure() << "no \"" << text << "\" in:" << all;
    return ::testing::AssertionSuccess();
}

// Replaces the UTF-16 text `from` by `to` (same length) inside `data`.
bool ReplaceText(std::vector<uint8_t> &data, const std::string &from, const std::string &to) {
    std::vector<uint8_t> f, t;
    for (char c : from) f.insert(f.end(), {static_cast<uint8_t>(c), 0});
    for (char c : to) t.insert(t.end(), {static_cast<uint8_t>(c), 0});
    auto it = std::search(data.begin(), data.end(), f.begin(), f.end());
    if (it == data.end() || f.size() != t.size()) return false;
    std::copy(t.begin(), t.end(), it);
    return true;
}

TEST(ResCheck, TheProgramsImagePasses) {
    std::vector<Resource> rs = ProgramResources();
    EXPECT_EQ(rs.size(), 8u);
    std::vector<std::string> problems = rescheck::Check(rs);
    for (const std::string &p : problems) ADD_FAILURE() << p;
}

TEST(ResCheck, ReportsEachKindOfDifference) {
    {
        std::vector<Resource> rs = ProgramResources();
        Get(rs, 14, 126)->language = 0x0407;
        EXPECT_TRUE(OneProblemMentioning(rs, "RT_GROUP_ICON 126 language"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        rs.erase(rs.begin() + (Get(rs, 3, 2) - rs.data()));
        EXPECT_TRUE(OneProblemMentioning(rs, "missing: RT_ICON 2"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        Resource extra = *Get(rs, 3, 1);
        extra.name.id = 4;
        rs.push_back(extra);
        EXPECT_TRUE(OneProblemMentioning(rs, "unexpected resource: RT_ICON 4"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        Accelerators(rs)->data[0] = 0x11;  // no last-entry mark
        EXPECT_TRUE(OneProblemMentioning(rs, "flags"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        Accelerators(rs)->name.name = "ACCELERATORS_2";
        EXPECT_EQ(rescheck::Check(rs).size(), 2u);  // unexpected, and missing
    }
    {
        std::vector<Resource> rs = ProgramResources();
        Get(rs, 14, 127)->data[18] = 1;  // points at image 1
        EXPECT_TRUE(OneProblemMentioning(rs, "RT_GROUP_ICON 127 image id"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        Get(rs, 3, 3)->data.push_back(0);
        EXPECT_TRUE(OneProblemMentioning(rs, "745 bytes"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        std::vector<uint8_t> &d = Get(rs, 3, 1)->data;
        d[104 + 512] |= 0x80;  // bottom-left pixel made transparent ...
        d[104] |= 0x30;        // ... with colour 3
        EXPECT_TRUE(OneProblemMentioning(rs, "transparent pixels"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        std::vector<uint8_t> &d = Get(rs, 3, 2)->data;
        d[40 + 7 * 4] = 0xC1;  // silver's blue
        EXPECT_TRUE(OneProblemMentioning(rs, "palette entry 7"));
    }
}

TEST(ResCheck, ReportsVersionDifferences) {
    {
        std::vector<Resource> rs = ProgramResources();
        ASSERT_TRUE(ReplaceText(Get(rs, 16, 1)->data, "1.12", "1.13"));  // FileVersion comes first
        EXPECT_TRUE(OneProblemMentioning(rs, "FileVersion is \"1.13\""));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        ASSERT_TRUE(ReplaceText(Get(rs, 16, 1)->data, "InternalName", "InternalNamf"));
        EXPECT_TRUE(OneProblemMentioning(rs, "want \"InternalName\""));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        ASSERT_TRUE(ReplaceText(Get(rs, 16, 1)->data, "040904e4", "040904b0"));
        EXPECT_TRUE(OneProblemMentioning(rs, "string table"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        std::vector<uint8_t> &d = Get(rs, 16, 1)->data;
        // The fixed part starts at 40: signature, structure version, file
        // version MS and LS; the file OS is its ninth field.
        d[40 + 12] = 1;  // file version LS 1.1.2.1
        EXPECT_TRUE(OneProblemMentioning(rs, "file version LS"));
        d[40 + 12] = 0;
        d[40 + 32] = 0x05;
        EXPECT_TRUE(OneProblemMentioning(rs, "file OS"));
    }
    {
        std::vector<Resource> rs = ProgramResources();
        std::vector<uint8_t> &d = Get(rs, 16, 1)->data;
        d[d.size() - 2] = 0xB0;  // code page 0x04B0
        EXPECT_TRUE(OneProblemMentioning(rs, "code page"));
        d[0] = 0xFF;  // root length past the data
        std::vector<std::string> problems = rescheck::Check(rs);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find("damaged"), std::string::npos);
    }
}

// ---- PE images -------------------------------------------------------------

void PutW(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    if (v.size() < at + 2) v.resize(at + 2);
    v[at] = x & 0xFF;
    v[at + 1] = (x >> 8) & 0xFF;
}
void PutD(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    PutW(v, at, x & 0xFFFF);
    PutW(v, at + 2, x >> 16);
}

// A 32-bit PE image with one .rsrc section at RVA 0x2000, file offset
// 0x400, holding `rs` in a three-level resource directory (one name and
// one language per type here: enough for the reader).
std::vector<uint8_t> MakePe(const std::vector<Resource> &rs) {
    const uint32_t rva = 0x2000, raw = 0x400;
    // Directory: root, then per resource a type dir, a name dir, a data
    // entry; then names; then data.
    std::vector<uint8_t> sec;
    size_t n = rs.size();
    size_t rootSize = 16 + 8 * n;
    size_t perRes = 16 + 8 + 16 + 8 + 16;  // name dir + entry, language dir + entry, data entry
    size_t namesAt = rootSize + perRes * n;
    size_t namesSize = 0;
    for (const Resource &r : rs)
        if (!r.name.numeric) namesSize += 2 + 2 * r.name.name.size();
    size_t dataAt = (namesAt + namesSize + 15) & ~size_t{15};
    sec.resize(dataAt);
    PutW(sec, 14, static_cast<uint32_t>(n));  // root: n id entries
    size_t nameCursor = namesAt, dataCursor = dataAt;
    for (size_t i = 0; i < n; ++i) {
        const Resource &r = rs[i];
        size_t nameDir = rootSize + perRes * i, langDir = nameDir + 24, dataEntry = langDir + 24;
        PutD(sec, 16 + 8 * i, r.type.id);
        PutD(sec, 16 + 8 * i + 4, 0x80000000u | static_cast<uint32_t>(nameDir));
        if (r.name.numeric) {
            PutW(sec, nameDir + 14, 1);
            PutD(sec, nameDir + 16, r.name.id);
        } else {
            PutW(sec, nameDir + 12, 1);
            PutD(sec, nameDir + 16, 0x80000000u | static_cast<uint32_t>(nameCursor));
            PutW(sec, nameCursor, static_cast<uint32_t>(r.name.name.size()));
            for (size_t c = 0; c < r.name.name.size(); ++c)
                PutW(sec, nameCursor + 2 + 2 * c, static_cast<uint8_t>(r.name.name[c]));
            nameCursor += 2 + 2 * r.name.name.size();
        }
        PutD(sec, nameDir + 20, 0x80000000u | static_cast<uint32_t>(langDir));
        PutW(sec, langDir + 14, 1);
        PutD(sec, langDir + 16, r.language);
        PutD(sec, langDir + 20, static_cast<uint32_t>(dataEntry));
        PutD(sec, dataEntry, rva + static_cast<uint32_t>(dataCursor));
        PutD(sec, dataEntry + 4, static_cast<uint32_t>(r.data.size()));
        sec.resize(dataCursor);
        sec.insert(sec.end(), r.data.begin(), r.data.end());
        dataCursor = (sec.size() + 7) & ~size_t{7};
        sec.resize(dataCursor);
    }

    std::vector<uint8_t> pe(raw, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    PutD(pe, 0x3C, 0x80);
    PutD(pe, 0x80, 0x00004550);
    PutW(pe, 0x84, 0x14C);  // i386
    PutW(pe, 0x86, 1);      // one section
    PutW(pe, 0x94, 224);    // optional header size
    size_t opt = 0x98;
    PutW(pe, opt, 0x10B);
    PutD(pe, opt + 92, 16);  // data directories
    PutD(pe, opt + 96 + 16, rva);
    PutD(pe, opt + 96 + 20, static_cast<uint32_t>(sec.size()));
    size_t s = opt + 224;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(name, name + 8, pe.begin() + s);
    PutD(pe, s + 8, static_cast<uint32_t>(sec.size()));
    PutD(pe, s + 12, rva);
    PutD(pe, s + 16, static_cast<uint32_t>(sec.size()));
    PutD(pe, s + 20, raw);
    pe.insert(pe.end(), sec.begin(), sec.end());
    return pe;
}

TEST(ResCheck, ReadsAPeResourceDirectory) {
    std::vector<Resource> original = ProgramResources();
    std::vector<uint8_t> pe = MakePe(original);
    std::vector<Resource> rs;
    std::string error;
    ASSERT_TRUE(rescheck::ReadPe(pe, &rs, &error)) << error;
    ASSERT_EQ(rs.size(), original.size());
    for (size_t i = 0; i < rs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rs[i].type.Text(), original[i].type.Text());
        EXPECT_EQ(rs[i].name.Text(), original[i].name.Text());
        EXPECT_EQ(rs[i].language, original[i].language);
        EXPECT_EQ(rs[i].data, original[i].data);
    }
    EXPECT_TRUE(rescheck::Check(rs).empty());
}

TEST(ResCheck, RefusesDamagedPeImages) {
    std::vector<uint8_t> good = MakePe(ProgramResources());
    std::vector<Resource> rs;
    std::string error;
    auto refused = [&](std::vector<uint8_t> pe) {
        error.clear();
        bool ok = rescheck::ReadPe(pe, &rs, &error);
        return !ok && !error.empty() && rs.empty();
    };
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 0x300)));  // no section data
    std::vector<uint8_t> pe = good;
    pe[0] = 'X';
    EXPECT_TRUE(refused(pe));
    pe = good;
    PutD(pe, 0x3C, 0xFFFFFF00u);  // PE header past the end
    EXPECT_TRUE(refused(pe));
    pe = good;
    PutD(pe, 0x98 + 96 + 16, 0);  // no resources
    EXPECT_TRUE(refused(pe));
    pe = good;
    PutD(pe, 0x400 + 16 + 4, 0x80000000u);  // first type points back at the root: a loop
    EXPECT_TRUE(refused(pe));
    pe = good;
    PutW(pe, 0x400 + 14, 0x7FFF);  // more entries than the file holds
    EXPECT_TRUE(refused(pe));
    pe = good;
    // Make the first data entry's size run past the section.
    size_t firstData = 0x400 + 16 + 8 * 8 + 48;
    PutD(pe, firstData + 4, 0x100000);
    EXPECT_TRUE(refused(pe));
}

}  // namespace
