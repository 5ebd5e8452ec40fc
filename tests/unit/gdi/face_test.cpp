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
#include <system_error>
#include <vector>

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
    // Places that do not exist are guarded by the directory above them:
    // one that changes without any of them appearing keeps the answers and
    // gives a text to keep instead, with the guard as it is now.
    enum Outcome { kFresh, kFreshRenewed, kRefused };
    struct Case {
        const char *change;
        std::function<void(const TempDir &)> apply;
        Outcome outcome;
    };
    const Case cases[] = {
        {"nothing", [](const TempDir &) {}, kFresh},
        {"a configuration file is rewritten",
         [](const TempDir &t) { std::ofstream(t.Path("fonts.conf")) << "x"; }, kRefused},
        {"a face file is touched",
         [](const TempDir &t) {
             struct timespec times[2] = {{0, UTIME_NOW}, {12345, 0}};
             utimensat(AT_FDCWD, t.Path("face.ttf").c_str(), times, 0);
         },
         kRefused},
        {"a face file is removed", [](const TempDir &t) { fs::remove(t.Path("face.ttf")); }, kRefused},
        {"an absent user configuration appears", [](const TempDir &t) { std::ofstream(t.Path("user.conf")); },
         kRefused},
        {"a file appears below an absent directory",
         [](const TempDir &t) {
             fs::create_directories(t.Path("user/fontconfig"));
             std::ofstream(t.Path("user/fontconfig/fonts.conf"));
         },
         kRefused},
        {"a dangling symlink comes to point at a configuration",
         [](const TempDir &t) {
             fs::create_directory(t.Path("elsewhere/target"));
             std::ofstream(t.Path("elsewhere/target/fonts.conf"));
         },
         kRefused},
        {"an unrelated file appears beside the absent places",
         [](const TempDir &t) { std::ofstream(t.Path("unrelated")); }, kFreshRenewed},
        {"a font directory gains a font", [](const TempDir &t) { std::ofstream(t.Path("fonts/new.ttf")); },
         kRefused},
        {"the language changes", [](const TempDir &) { setenv("FC_LANG", "el", 1); }, kRefused},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.change);
        TempDir t;
        std::ofstream(t.Path("fonts.conf")) << "<fontconfig/>";
        std::ofstream(t.Path("face.ttf")) << "face";
        fs::create_directory(t.Path("fonts"));
        fs::create_directory(t.Path("elsewhere"));
        fs::create_symlink(t.Path("elsewhere/target"), t.Path("link"));
        // An old mtime: a change made within the file system's clock tick
        // still shows.
        struct timespec old[2] = {{0, UTIME_OMIT}, {12345, 0}};
        utimensat(AT_FDCWD, t.Path(".").c_str(), old, 0);
        unsetenv("FC_LANG");
        std::string text = gdi::FaceCacheText(
            OneAnswer(t.Path("face.ttf")),
            {t.Path("fonts.conf"), t.Path("face.ttf"), t.Path("user.conf"), t.Path("user/fontconfig"),
             t.Path("user/fontconfig/fonts.conf"), t.Path("link/fonts.conf"), t.Path("fonts")});
        ASSERT_FALSE(text.empty());
        c.apply(t);
        gdi::FaceAnswers read;
        std::string renewed = "?";
        bool fresh = gdi::ReadFaceCache(text, &read, &renewed);
        unsetenv("FC_LANG");
        if (c.outcome == kRefused) {
            EXPECT_FALSE(fresh);
            EXPECT_TRUE(read.empty());
            continue;
        }
        EXPECT_TRUE(fresh);
        ASSERT_EQ(1u, read.size());
        EXPECT_EQ(t.Path("face.ttf"), read.begin()->second.path);
        EXPECT_TRUE(read.begin()->second.bold);
        EXPECT_EQ(c.outcome == kFreshRenewed, !renewed.empty());
        if (!renewed.empty()) {
            // What is kept instead holds, and needs no renewal itself.
            std::string kept = renewed;
            EXPECT_TRUE(gdi::ReadFaceCache(kept, &read, &renewed));
            EXPECT_TRUE(renewed.empty());
        }
    }
    // A file cut short or from another version is no cache either.
    TempDir t;
    std::ofstream(t.Path("face.ttf")) << "face";
    std::string text = gdi::FaceCacheText(OneAnswer(t.Path("face.ttf")), {t.Path("face.ttf")});
    gdi::FaceAnswers read;
    EXPECT_FALSE(gdi::ReadFaceCache(text.substr(0, text.size() - 3), &read));
    EXPECT_FALSE(gdi::ReadFaceCache("morvalen faces 0" + text.substr(text.find('\n')), &read));
    // Nor one whose answer names a file that was not checked, or one that
    // is not a regular file (reading it could wait for ever).
    ASSERT_EQ(0, mkfifo(t.Path("fifo.ttf").c_str(), 0600));
    struct Named {
        const char *path;
        std::vector<std::string> checked;
    };
    for (const Named &n : {Named{"/etc/passwd", {t.Path("face.ttf")}}, Named{"/dev/zero", {"/dev/zero"}},
                           Named{"fifo.ttf", {t.Path("fifo.ttf")}}}) {
        SCOPED_TRACE(n.path);
        std::string path = n.path[0] == '/' ? n.path : t.Path(n.path);
        text = gdi::FaceCacheText(OneAnswer(path), n.checked);
        ASSERT_FALSE(text.empty());
        EXPECT_FALSE(gdi::ReadFaceCache(text, &read));
    }
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
