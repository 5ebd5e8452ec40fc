// Which face file a font family resolves to, through fontconfig or a cache
// of its earlier answers.
#pragma once

#include <functional>
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
    bool operator==(const FaceFile &) const = default;
};

// Loads a candidate face and judges it; true when the caller keeps it.
using TakeFace = std::function<bool(const FaceFile &)>;

// The face for a family and style that `take` accepts: the cache's answer
// when it has one and it is taken, else fontconfig's best match, else the
// next of fontconfig's candidates in order. A cached answer that is not
// taken discards every answer the cache file gave (they are asked again and
// the file is written anew). False, with nothing taken, when no candidate is.
bool MatchFace(const std::string &family, bool bold, bool italic, bool mono, const TakeFace &take,
               FaceFile *out);

// What a face was asked as: family, bold, italic, monospaced.
using FaceQuery = std::tuple<std::string, bool, bool, bool>;
using FaceAnswers = std::map<FaceQuery, FaceFile>;

// The cache file's text: the answers, with what they were worked out from
// (the environment fontconfig reads and the state of `stamped` files and
// directories, present or absent). Empty when an answer cannot be written.
std::string FaceCacheText(const FaceAnswers &answers, const std::vector<std::string> &stamped);
// The answers of a cache file's text; false, with nothing, when the text is
// not such a file, anything it was worked out from has changed since, or an
// answer names a face file that is not among the files checked or is no
// longer a regular file. `renewed`, when given, is set to the text to keep
// instead when the file holds but records a guard directory's old state;
// otherwise it is emptied.
bool ReadFaceCache(const std::string &text, FaceAnswers *answers, std::string *renewed = nullptr);

}  // namespace win32::gdi
