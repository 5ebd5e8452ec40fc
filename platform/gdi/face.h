// Which face file a font family resolves to, through fontconfig or a cache
// of its earlier answers.
#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace win32::gdi {

struct FaceFile {
    std::string path;
    int index = 0;
    std::string family;
    bool bold = false;
    bool italic = false;
};

// The face fontconfig picks for a family and style; false when it has none.
bool MatchFace(const std::string &family, bool bold, bool italic, bool mono, FaceFile *out);

// What a face was asked as: family, bold, italic, monospaced.
using FaceQuery = std::tuple<std::string, bool, bool, bool>;
using FaceAnswers = std::map<FaceQuery, FaceFile>;

// The cache file's text: the answers, with what they were worked out from
// (the environment fontconfig reads and the state of `stamped` files and
// directories, present or absent). Empty when an answer cannot be written.
std::string FaceCacheText(const FaceAnswers &answers, const std::vector<std::string> &stamped);
// The answers of a cache file's text; false, with nothing, when the text is
// not such a file or anything it was worked out from has changed since.
bool ReadFaceCache(const std::string &text, FaceAnswers *answers);

}  // namespace win32::gdi
