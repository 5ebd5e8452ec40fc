// The cache of fontconfig's face answers: served while what they were
// worked out from is unchanged, refused once anything of it changes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/gdi/face.h"
#include "platform/gdi/testing.h"

using namespace win32;

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/morvalen-faces-XXXXXX";
        root_ = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Path(const std::string &name) const { return root_ + "/" + name; }

private:
    std::string root_;
};

bool TakeAny(const gdi::FaceFile &) {
    return true;
}

gdi::FaceAnswers OneAnswer(const std::string &path) {
    gdi::FaceFile face;
    face.path = path;
    face.family = "Some Sans";
    face.bold = true;
    return {{gdi::FaceQuery{"MS Sans Serif", true, false, false}, face}};
}

TEST(FaceCache, AnswersAreRefusedOnceWhatTheyCameFromChanges) {
    struct Case {
        const char *change;
        std::function<void(const TempDir &)> apply;
    };
    const Case cases[] = {
        {"nothing", [](const TempDir &) {}},
        {"a configuration file is rewritten",
         [](const TempDir &t) { std::ofstream(t.Path("fonts.conf")) << "x"; }},
        {"a face file is touched",
         [](const TempDir &t) {
             struct timespec times[2] = {{0, UTIME_NOW}, {12345, 0}};
             utimensat(AT_FDCWD, t.Path("face.ttf").c_str(), times, 0);
         }},
        {"a face file is removed", [](const TempDir &t) { fs::remove(t.Path("face.ttf")); }},
        {"an absent user configuration appears",
         [](const TempDir &t) { std::ofstream(t.Path("user.conf")); }},
        {"a font directory gains a font", [](const TempDir &t) { std::ofstream(t.Path("fonts/new.ttf")); }},
        {"the language changes", [](const TempDir &) { setenv("FC_LANG", "el", 1); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.change);
        TempDir t;
        std::ofstream(t.Path("fonts.conf")) << "<fontconfig/>";
        std::ofstream(t.Path("face.ttf")) << "face";
        fs::create_directory(t.Path("fonts"));
        unsetenv("FC_LANG");
        std::string text = gdi::FaceCacheText(
            OneAnswer(t.Path("face.ttf")),
            {t.Path("fonts.conf"), t.Path("face.ttf"), t.Path("user.conf"), t.Path("fonts")});
        ASSERT_FALSE(text.empty());
        c.apply(t);
        gdi::FaceAnswers read;
        bool fresh = gdi::ReadFaceCache(text, &read);
        unsetenv("FC_LANG");
        if (std::string(c.change) == "nothing") {
            EXPECT_TRUE(fresh);
            ASSERT_EQ(1u, read.size());
            EXPECT_EQ(t.Path("face.ttf"), read.begin()->second.path);
            EXPECT_TRUE(read.begin()->second.bold);
        } else {
            EXPECT_FALSE(fresh);
            EXPECT_TRUE(read.empty());
        }
    }
    // A file cut short or from another version is no cache either.
    TempDir t;
    std::ofstream(t.Path("face.ttf")) << "face";
    std::string text = gdi::FaceCacheText(OneAnswer(t.Path("face.ttf")), {t.Path("face.ttf")});
    gdi::FaceAnswers read;
    EXPECT_FALSE(gdi::ReadFaceCache(text.substr(0, text.size() - 3), &read));
    EXPECT_FALSE(gdi::ReadFaceCache("morvalen faces 0" + text.substr(text.find('\n')), &read));
}

TEST(FaceCache, ANextStartGetsTheSameFacesWithoutFontconfig) {
    TempDir t;
    win32::testing::SetFaceCacheFile(t.Path("cache/faces"));
    gdi::FaceFile regular, mono;
    size_t before = win32::testing::FontconfigMatches();
    ASSERT_TRUE(gdi::MatchFace("DejaVu Sans", false, false, false, TakeAny, &regular));
    ASSERT_TRUE(gdi::MatchFace("DejaVu Sans Mono", false, false, true, TakeAny, &mono));
    EXPECT_EQ(before + 2, win32::testing::FontconfigMatches());
    EXPECT_TRUE(fs::exists(t.Path("cache/faces")));

    // As a new process would: only the file's answers.
    win32::testing::SetFaceCacheFile(t.Path("cache/faces"));
    gdi::FaceFile again;
    ASSERT_TRUE(gdi::MatchFace("DejaVu Sans Mono", false, false, true, TakeAny, &again));
    ASSERT_TRUE(gdi::MatchFace("DejaVu Sans", false, false, false, TakeAny, &again));
    EXPECT_EQ(before + 2, win32::testing::FontconfigMatches());
    EXPECT_EQ(regular.path, again.path);
    EXPECT_EQ(regular.family, again.family);
    win32::testing::SetFaceCacheFile("");
}

}  // namespace
