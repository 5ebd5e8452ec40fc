// Face files for font families.
//
// Starting fontconfig (parsing its configuration, loading its caches) costs
// more than all the rest of the program's start, and the program asks for
// the same few faces every time. Its answers are therefore kept in a small
// file under $XDG_CACHE_HOME together with the state of everything they
// were worked out from: the configuration files fontconfig read and their
// directories, the user's configuration places, the font and cache
// directories it scanned, the face files themselves, and the environment
// variables fontconfig reads. A file or directory counts as unchanged while
// its device, inode, size, mtime and ctime are; installing, removing or
// updating fonts or configuration changes at least one of them (fontconfig
// validates its own caches by directory mtimes alone). Places that do not
// exist (most of the user's configuration places) are guarded by their
// nearest existing ancestor: nothing can appear below a directory without
// changing its mtime, so while that one directory is unchanged none of the
// absent places under it needs looking at; once it has changed, each of
// them is looked at again and must still be absent. An answer from the
// file is used only while all of that is as it was, and only when the face
// it names is a regular file among those checked and loads; otherwise
// fontconfig is asked and the file is written anew.
//
// The file is someone's input as much as ours: it is read only from a
// directory owned by this user that no one else may write in, only when it
// is a regular file owned by this user (never through a symlink, never
// waiting on a FIFO), and written through a new file of a random name made
// exclusively in that directory, then renamed over it.
#include "platform/gdi/face.h"

#include <errno.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

#include "platform/gdi/testing.h"

namespace win32::gdi {
namespace {

constexpr char kHeader[] = "morvalen faces 1";

// What fontconfig reads from the environment besides its files.
constexpr const char *kEnvironment[] = {
    "FONTCONFIG_FILE",
    "FONTCONFIG_PATH",
    "FONTCONFIG_SYSROOT",
    "FC_LANG",
    "LANGUAGE",
    "LC_ALL",
    "LC_CTYPE",
    "LANG",
    "HOME",
    "XDG_CONFIG_HOME",
    "XDG_DATA_HOME",
    "XDG_CACHE_HOME",
};

bool Plain(const std::string &s) {
    return s.find_first_of("\t\n") == std::string::npos;
}

std::vector<std::string> Split(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// The environment lines of the cache file, or nothing when a value cannot
// be written in one.
std::optional<std::string> EnvironmentText() {
    std::string text;
    // fontconfig's configuration may match on the program's name.
    std::string program = program_invocation_short_name;
    if (!Plain(program)) return std::nullopt;
    text += "program\t" + program + "\n";
    for (const char *name : kEnvironment) {
        const char *value = getenv(name);
        if (value && !Plain(value)) return std::nullopt;
        text += std::string("env\t") + name + (value ? std::string("\t=") + value : std::string()) + "\n";
    }
    return text;
}

// A path's state as the cache file records it: "absent", "unknown" (it
// cannot be looked at) or its identity and times. `regular` tells whether it
// is a regular file.
std::string StateOf(const std::string &path, bool *regular = nullptr) {
    struct stat st;
    if (regular) *regular = false;
    if (stat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? "absent" : "unknown";
    if (regular) *regular = S_ISREG(st.st_mode);
    char buf[160];
    snprintf(buf, sizeof buf, "%llu:%llu:%lld:%lld.%09ld:%lld.%09ld",
             static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
             static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
             st.st_mtim.tv_nsec, static_cast<long long>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec);
    return buf;
}

bool ParseFlag(const std::string &s, bool *out) {
    if (s != "0" && s != "1") return false;
    *out = s == "1";
    return true;
}

struct Faces {
    std::mutex mu;
    FaceAnswers answers;  // this process's, from the file or from fontconfig
    bool fileRead = false;
    bool answersFromFile = false;
    bool fontconfigTried = false;
    bool fontconfigReady = false;
    std::optional<std::string> fileOverride;
    size_t fontconfigMatches = 0;
};

Faces &LoadedFaces() {
    static auto *f = new Faces;
    return *f;
}

// Where the cache file lives: its directory and its name there; no
// directory when there is nowhere to keep it. One file per program, since
// the answers may depend on its name.
struct CachePlace {
    std::string dir;
    std::string name;
};

CachePlace PlaceOf(const Faces &f) {
    if (f.fileOverride) {
        size_t slash = f.fileOverride->rfind('/');
        if (slash == std::string::npos || slash == 0) return {};
        return {f.fileOverride->substr(0, slash), f.fileOverride->substr(slash + 1)};
    }
    std::string name = std::string("faces-") + program_invocation_short_name;
    const char *xdg = getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return {std::string(xdg) + "/morvalen", name};
    const char *home = getenv("HOME");
    if (home && home[0] == '/') return {std::string(home) + "/.cache/morvalen", name};
    return {};
}

// Owned by this user and writable by no one else.
bool Private(const struct stat &st) {
    return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The cache directory, opened only when it is a private directory (not a
// symlink); -1 otherwise. With `create`, a missing directory is made, and
// so is the base above it ($XDG_CACHE_HOME, ~/.cache), but nothing higher:
// without a home directory there is no cache.
int OpenCacheDir(const std::string &dir, bool create) {
    if (create) {
        size_t slash = dir.rfind('/');
        if (slash != std::string::npos && slash > 0) mkdir(dir.substr(0, slash).c_str(), 0700);
        mkdir(dir.c_str(), 0700);
    }
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !Private(st))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

std::string ReadCacheFile(const CachePlace &place) {
    std::string text;
    if (place.dir.empty()) return text;
    int dir = OpenCacheDir(place.dir, false);
    if (dir < 0) return text;
    int fd = openat(dir, place.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    close(dir);
    if (fd < 0) return text;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Private(st)) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0 && text.size() < (1 << 20))
            text.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

// Six letters no other writer can predict.
std::string RandomSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        unsigned long long mix = static_cast<unsigned long long>(ts.tv_nsec) * 2654435761u ^
                                 static_cast<unsigned long long>(getpid()) << 20;
        for (unsigned char &b : bytes) b = static_cast<unsigned char>(mix >>= 7);
    }
    std::string s;
    for (unsigned char b : bytes) s += kLetters[b % (sizeof kLetters - 1)];
    return s;
}

// Written whole into a new file, then renamed: a reader sees the old file
// or the new one, never a part. The new file is created exclusively (never
// an existing file or a symlink's target) in the directory checked.
void WriteCacheFile(const CachePlace &place, const std::string &text) {
    if (place.dir.empty() || text.empty()) return;
    int dir = OpenCacheDir(place.dir, true);
    if (dir < 0) return;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = place.name + "." + RandomSuffix();
        fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd >= 0) {
        bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ok = close(fd) == 0 && ok;
        if (!ok || renameat(dir, temp.c_str(), dir, place.name.c_str()) != 0) unlinkat(dir, temp.c_str(), 0);
    }
    close(dir);
}

void AddAll(FcStrList *list, std::set<std::string> *out) {
    if (!list) return;
    while (FcChar8 *s = FcStrListNext(list)) out->insert(reinterpret_cast<const char *>(s));
    FcStrListDone(list);
}

// Everything fontconfig's answers were worked out from.
std::vector<std::string> Sources(const FaceAnswers &answers) {
    std::set<std::string> paths;
    std::set<std::string> files;
    AddAll(FcConfigGetConfigFiles(nullptr), &files);
    for (const std::string &f : files) {
        paths.insert(f);
        size_t slash = f.rfind('/');
        if (slash != std::string::npos && slash > 0)
            paths.insert(f.substr(0, slash));  // files added or removed
    }
    AddAll(FcConfigGetConfigDirs(nullptr), &paths);
    AddAll(FcConfigGetFontDirs(nullptr), &paths);
    AddAll(FcConfigGetCacheDirs(nullptr), &paths);
    // The user's configuration, which appears or changes without any of
    // the above changing.
    const char *home = getenv("HOME");
    const char *xdg = getenv("XDG_CONFIG_HOME");
    std::string config = xdg && xdg[0] == '/' ? xdg : home ? std::string(home) + "/.config" : std::string();
    if (!config.empty()) {
        paths.insert(config + "/fontconfig");
        paths.insert(config + "/fontconfig/fonts.conf");
        paths.insert(config + "/fontconfig/conf.d");
    }
    if (home) {
        paths.insert(std::string(home) + "/.fonts.conf");
        paths.insert(std::string(home) + "/.fonts.conf.d");
    }
    for (const auto &[query, face] : answers) paths.insert(face.path);
    return {paths.begin(), paths.end()};
}

// The face a fontconfig pattern names; false when it names no file.
bool FaceOfPattern(FcPattern *m, FaceFile *out) {
    FcChar8 *file = nullptr, *fam = nullptr;
    int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    if (FcPatternGetString(m, FC_FILE, 0, &file) != FcResultMatch) return false;
    *out = FaceFile{};
    out->path = reinterpret_cast<const char *>(file);
    if (FcPatternGetInteger(m, FC_INDEX, 0, &index) == FcResultMatch) out->index = index;
    if (FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch)
        out->family = reinterpret_cast<const char *>(fam);
    FcPatternGetInteger(m, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(m, FC_SLANT, 0, &slant);
    out->bold = weight >= FC_WEIGHT_DEMIBOLD;
    out->italic = slant != FC_SLANT_ROMAN;
    return true;
}

// fontconfig's best match for the query when `take` takes it, else the
// first of its other candidates, best first, that `take` takes.
bool AskFontconfig(Faces &f, const FaceQuery &query, const TakeFace &take, FaceFile *out) {
    if (!f.fontconfigTried) {
        f.fontconfigTried = true;
        f.fontconfigReady = FcInit();
    }
    if (!f.fontconfigReady) return false;
    const auto &[family, bold, italic, mono] = query;
    ++f.fontconfigMatches;
    FcPattern *p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (mono) FcPatternAddInteger(p, FC_SPACING, FC_MONO);
    FcPatternAddBool(p, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result;
    FaceFile best;
    bool haveBest = false, taken = false;
    if (FcPattern *m = FcFontMatch(nullptr, p, &result)) {
        haveBest = FaceOfPattern(m, &best);
        FcPatternDestroy(m);
        taken = haveBest && take(best);
        if (taken) *out = best;
    }
    // The rest are looked at only when the best one is refused.
    if (!taken) {
        if (FcFontSet *set = FcFontSort(nullptr, p, FcFalse, nullptr, &result)) {
            for (int i = 0; i < set->nfont && !taken; ++i) {
                FaceFile face;
                if (!FaceOfPattern(set->fonts[i], &face)) continue;
                if (haveBest && face.path == best.path && face.index == best.index) continue;
                taken = take(face);
                if (taken) *out = face;
            }
            FcFontSetDestroy(set);
        }
    }
    FcPatternDestroy(p);
    return taken;
}

}  // namespace

std::string FaceCacheText(const FaceAnswers &answers, const std::vector<std::string> &stamped) {
    std::optional<std::string> env = EnvironmentText();
    if (!env) return {};
    std::string text = std::string(kHeader) + "\n" + *env;
    std::set<std::string> present;
    std::map<std::string, std::string> absent;  // absent place -> its guard
    std::string files;
    for (const std::string &path : stamped) {
        std::string state = StateOf(path);
        if (state == "unknown" || !Plain(path)) return {};
        if (state != "absent") {
            if (present.insert(path).second) files += "file\t" + path + "\t" + state + "\n";
            continue;
        }
        // The nearest directory above that exists. A dangling symlink on
        // the way could come to point somewhere without changing any
        // directory above it: such a place is looked at each time.
        std::string guard = path;
        bool dangling = false;
        while (state == "absent" && guard.size() > 1 && guard[0] == '/') {
            struct stat st;
            if ((dangling = lstat(guard.c_str(), &st) == 0)) break;
            size_t slash = guard.find_last_of('/', guard.size() - 2);
            guard = guard.substr(0, slash == 0 ? 1 : slash);
            state = StateOf(guard);
        }
        if (state == "unknown") return {};
        if (state == "absent" || dangling) {
            if (present.insert(path).second) files += "file\t" + path + "\tabsent\n";
            continue;
        }
        absent[path] = guard;
    }
    std::string guards, absents;
    for (const auto &[path, guard] : absent) {
        if (present.insert(guard).second) guards += "guard\t" + guard + "\t" + StateOf(guard) + "\n";
        absents += "absent\t" + path + "\t" + guard + "\n";
    }
    text += files + guards + absents;
    for (const auto &[query, face] : answers) {
        const auto &[family, bold, italic, mono] = query;
        if (!Plain(family) || !Plain(face.path) || !Plain(face.family)) return {};
        text += "face\t" + family + "\t" + (bold ? "1" : "0") + "\t" + (italic ? "1" : "0") + "\t" +
                (mono ? "1" : "0") + "\t" + face.path + "\t" + std::to_string(face.index) + "\t" +
                face.family + "\t" + (face.bold ? "1" : "0") + "\t" + (face.italic ? "1" : "0") + "\n";
    }
    return text;
}

bool ReadFaceCache(const std::string &text, FaceAnswers *answers, std::string *renewed) {
    answers->clear();
    if (renewed) renewed->clear();
    std::optional<std::string> env = EnvironmentText();
    if (!env || text.compare(0, sizeof kHeader, std::string(kHeader) + "\n") != 0) return false;
    std::string seenEnv;
    std::set<std::string> regular;    // the checked files that are regular files
    std::set<std::string> unchanged;  // the files and guards as they were
    FaceAnswers read;
    std::string again = std::string(kHeader) + "\n";  // the text with the guards' states of now
    bool guardsMoved = false;
    size_t start = sizeof kHeader;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) return false;  // cut short
        std::string line = text.substr(start, nl - start);
        start = nl + 1;
        std::vector<std::string> f = Split(line);
        if (f[0] == "guard" && f.size() == 3) {
            std::string now = StateOf(f[1]);
            if (now == f[2]) unchanged.insert(f[1]);
            guardsMoved |= now != f[2];
            line = "guard\t" + f[1] + "\t" + now;
        }
        again += line + "\n";
        if (f[0] == "program" || f[0] == "env") {
            seenEnv += line + "\n";
        } else if (f[0] == "file" && f.size() == 3) {
            bool isRegular;
            if (StateOf(f[1], &isRegular) != f[2]) return false;
            if (isRegular) regular.insert(f[1]);
            unchanged.insert(f[1]);
        } else if (f[0] == "guard" && f.size() == 3) {
            // looked at above
        } else if (f[0] == "absent" && f.size() == 3) {
            if (!unchanged.count(f[2]) && StateOf(f[1]) != "absent") return false;
        } else if (f[0] == "face" && f.size() == 10) {
            FaceQuery query;
            FaceFile face;
            auto &[family, bold, italic, mono] = query;
            family = f[1];
            face.path = f[5];
            face.family = f[7];
            char *end = nullptr;
            long index = strtol(f[6].c_str(), &end, 10);
            if (f[6].empty() || *end || index < 0 || index > 0xFFFF) return false;
            face.index = static_cast<int>(index);
            if (!ParseFlag(f[2], &bold) || !ParseFlag(f[3], &italic) || !ParseFlag(f[4], &mono) ||
                !ParseFlag(f[8], &face.bold) || !ParseFlag(f[9], &face.italic))
                return false;
            read[query] = face;
        } else {
            return false;
        }
    }
    if (seenEnv != *env) return false;
    for (const auto &[query, face] : read)
        if (!regular.count(face.path)) return false;
    *answers = std::move(read);
    if (renewed && guardsMoved) *renewed = std::move(again);
    return true;
}

bool MatchFace(const std::string &family, bool bold, bool italic, bool mono, const TakeFace &take,
               FaceFile *out) {
    Faces &f = LoadedFaces();
    std::lock_guard<std::mutex> lock(f.mu);
    CachePlace place = PlaceOf(f);
    if (!f.fileRead) {
        f.fileRead = true;
        std::string renewed;
        f.answersFromFile = ReadFaceCache(ReadCacheFile(place), &f.answers, &renewed);
        // A guard changed but its places are still absent: kept from now
        // on with the guard as it is, so later starts need not look again.
        if (!renewed.empty()) WriteCacheFile(place, renewed);
    }
    FaceQuery query{family, bold, italic, mono};
    auto it = f.answers.find(query);
    if (it != f.answers.end()) {
        if (take(it->second)) {
            *out = it->second;
            return true;
        }
        // The file named a face that is not one: none of its answers is
        // trusted, and the file is written again from fontconfig's.
        if (f.answersFromFile) f.answers.clear();
        f.answersFromFile = false;
    }
    if (!AskFontconfig(f, query, take, out)) return false;
    f.answers[query] = *out;
    WriteCacheFile(place, FaceCacheText(f.answers, Sources(f.answers)));
    return true;
}

}  // namespace win32::gdi

void win32::testing::SetFaceCacheFile(const std::string &path) {
    gdi::Faces &f = gdi::LoadedFaces();
    std::lock_guard<std::mutex> lock(f.mu);
    f.fileOverride = path;
    f.fileRead = false;
    f.answersFromFile = false;
    f.answers.clear();
}

size_t win32::testing::FontconfigMatches() {
    gdi::Faces &f = gdi::LoadedFaces();
    std::lock_guard<std::mutex> lock(f.mu);
    return f.fontconfigMatches;
}
