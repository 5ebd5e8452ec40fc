// libFuzzer target: the face cache's reader on arbitrary text. Besides the
// sanitizers' checks it holds the reader to what the font code relies on.
//
// An input that does not begin with the cache's header is taken as the
// lines after the header and this process's environment lines, so that the
// fuzzer spends its time on the file, guard, absent and face lines rather
// than on guessing the environment.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/gdi/face.h"

namespace {

bool RegularFile(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string prefix = win32::gdi::FaceCacheText({}, {});
    std::string text(reinterpret_cast<const char *>(data), size);
    if (text.compare(0, 15, prefix, 0, 15) != 0) text = prefix + text;
    win32::gdi::FaceAnswers answers;
    std::string renewed;
    if (!win32::gdi::ReadFaceCache(text, &answers, &renewed)) {
        if (!answers.empty() || !renewed.empty()) abort();
        return 0;
    }
    // Only regular files are ever handed to the font loader.
    for (const auto &[query, face] : answers)
        if (!RegularFile(face.path) || face.index < 0 || face.index > 0xFFFF) abort();
    // What is kept instead of a file with moved guards holds the same
    // answers (the paths named are of a quiet part of the system; a guard
    // may move again in between, so its renewal is not held to anything).
    if (!renewed.empty()) {
        win32::gdi::FaceAnswers again;
        if (!win32::gdi::ReadFaceCache(renewed, &again) || again != answers) abort();
    }
    return 0;
}
