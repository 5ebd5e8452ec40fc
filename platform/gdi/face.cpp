// Face files for font families.
//
// Starting fontconfig (parsing its configuration, loading its caches) costs
// more than all the rest of the program's start, and the program asks for
// the same few faces every time. Its answers are therefore kept in a small
// file under $XDG_CACHE_HOME together with the state of everything they
// were worked out from: the configuration files fontconfig read and their
// directories, the user's configuration places (absent ones too), the font
// and cache directories it scanned, the face files themselves, and the
// environment variables fontconfig reads. A file or directory counts as
// unchanged while its device, inode, size, mtime and ctime are; installing,
// removing or updating fonts or configuration changes at least one of them
// (fontconfig validates its own caches by directory mtimes alone). An answer
// from the file is used only while all of that is as it was; otherwise
// fontconfig is asked and the file is written anew.
#include "platform/gdi/face.h"

#include <errno.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string StateOf(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? "absent" : "unknown";
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
    bool fontconfigTried = false;
    bool fontconfigReady = false;
    std::optional<std::string> fileOverride;
    size_t fontconfigMatches = 0;
};

Faces &State() {
    static auto *f = new Faces;
    return *f;
}

// One file per program, since the answers may depend on its name.
std::string CacheFile(const Faces &f) {
    if (f.fileOverride) return *f.fileOverride;
    std::string name = std::string("/morvalen/faces-") + program_invocation_short_name;
    const char *xdg = getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return xdg + name;
    const char *home = getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache" + name;
    return {};
}

std::string ReadWhole(const std::string &path) {
    std::string text;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 && text.size() < (1 << 20))
        text.append(buf, static_cast<size_t>(n));
    close(fd);
    return text;
}

void MakeParents(const std::string &path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}

// Written whole under another name, then renamed: a reader sees the old
// file or the new one, never a part.
void WriteCache(const std::string &path, const std::string &text) {
    if (path.empty() || text.empty()) return;
    MakeParents(path);
    std::string temp = path + "." + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) unlink(temp.c_str());
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

bool AskFontconfig(Faces &f, const FaceQuery &query, FaceFile *out) {
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
    FcPattern *m = FcFontMatch(nullptr, p, &result);
    FcPatternDestroy(p);
    if (!m) return false;
    FcChar8 *file = nullptr, *fam = nullptr;
    int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    bool ok = FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch;
    if (ok) {
        *out = FaceFile{};
        out->path = reinterpret_cast<const char *>(file);
        if (FcPatternGetInteger(m, FC_INDEX, 0, &index) == FcResultMatch) out->index = index;
        if (FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch)
            out->family = reinterpret_cast<const char *>(fam);
        FcPatternGetInteger(m, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(m, FC_SLANT, 0, &slant);
        out->bold = weight >= FC_WEIGHT_DEMIBOLD;
        out->italic = slant != FC_SLANT_ROMAN;
    }
    FcPatternDestroy(m);
    return ok;
}

}  // namespace

std::string FaceCacheText(const FaceAnswers &answers, const std::vector<std::string> &stamped) {
    std::optional<std::string> env = EnvironmentText();
    if (!env) return {};
    std::string text = std::string(kHeader) + "\n" + *env;
    for (const std::string &path : stamped) {
        if (!Plain(path)) return {};
        std::string state = StateOf(path);
        if (state == "unknown") return {};
        text += "file\t" + path + "\t" + state + "\n";
    }
    for (const auto &[query, face] : answers) {
        const auto &[family, bold, italic, mono] = query;
        if (!Plain(family) || !Plain(face.path) || !Plain(face.family)) return {};
        text += "face\t" + family + "\t" + (bold ? "1" : "0") + "\t" + (italic ? "1" : "0") + "\t" +
                (mono ? "1" : "0") + "\t" + face.path + "\t" + std::to_string(face.index) + "\t" +
                face.family + "\t" + (face.bold ? "1" : "0") + "\t" + (face.italic ? "1" : "0") + "\n";
    }
    return text;
}

bool ReadFaceCache(const std::string &text, FaceAnswers *answers) {
    answers->clear();
    std::optional<std::string> env = EnvironmentText();
    if (!env || text.compare(0, sizeof kHeader, std::string(kHeader) + "\n") != 0) return false;
    std::string seenEnv;
    FaceAnswers read;
    size_t start = sizeof kHeader;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) return false;  // cut short
        std::string line = text.substr(start, nl - start);
        start = nl + 1;
        std::vector<std::string> f = Split(line);
        if (f[0] == "program" || f[0] == "env") {
            seenEnv += line + "\n";
        } else if (f[0] == "file" && f.size() == 3) {
            if (StateOf(f[1]) != f[2]) return false;
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
    *answers = std::move(read);
    return true;
}

bool MatchFace(const std::string &family, bool bold, bool italic, bool mono, FaceFile *out) {
    Faces &f = State();
    std::lock_guard<std::mutex> lock(f.mu);
    std::string file = CacheFile(f);
    if (!f.fileRead) {
        f.fileRead = true;
        if (!file.empty()) ReadFaceCache(ReadWhole(file), &f.answers);
    }
    FaceQuery query{family, bold, italic, mono};
    auto it = f.answers.find(query);
    if (it != f.answers.end()) {
        *out = it->second;
        return true;
    }
    if (!AskFontconfig(f, query, out)) return false;
    f.answers[query] = *out;
    WriteCache(file, FaceCacheText(f.answers, Sources(f.answers)));
    return true;
}

}  // namespace win32::gdi

void win32::testing::SetFaceCacheFile(const std::string &path) {
    gdi::Faces &f = gdi::State();
    std::lock_guard<std::mutex> lock(f.mu);
    f.fileOverride = path;
    f.fileRead = false;
    f.answers.clear();
}

size_t win32::testing::FontconfigMatches() {
    gdi::Faces &f = gdi::State();
    std::lock_guard<std::mutex> lock(f.mu);
    return f.fontconfigMatches;
}
