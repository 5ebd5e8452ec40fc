// Reading a compiled resource image (.res) and the resources in it: the
// entry sequence, icon groups, icon bitmaps and accelerator tables. Shared
// by the res/ sources and their tests; LoadIconA, LoadAcceleratorsA and
// FindModuleResource are built on these.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace win32::res {

// A resource type or name: a 16-bit id, or a string (stored upper-case, as
// resource compilers write names and as lookups compare them).
struct ResId {
    bool isId = true;
    WORD id = 0;
    std::string name;

    // True when `key` (an id made with MAKEINTRESOURCE, a "#123" string or a
    // name, compared without case) names this resource.
    bool Matches(LPCSTR key) const;
};

// One resource of an image; `data` points into the image.
struct Entry {
    ResId type;
    ResId name;
    WORD language = 0;
    const uint8_t *data = nullptr;
    size_t size = 0;
};

// Splits a .res image into its resources: each is a header (data size,
// header size, type, name, DWORD padding, data version, memory flags,
// language, version, characteristics) followed by its data, padded to a
// DWORD. The empty leading entry is skipped. False when the image is
// malformed anywhere; `out` then holds nothing.
bool ParseImage(const uint8_t *image, size_t size, std::vector<Entry> *out);

// The resources of the program's embedded image (parsed once; empty when
// the binary carries none).
const std::vector<Entry> &EmbeddedEntries();

// The first entry of `entries` with this type and name, or null.
const Entry *Find(const std::vector<Entry> &entries, LPCSTR type, LPCSTR name);

// One entry of an RT_GROUP_ICON directory.
struct GroupIconEntry {
    int width = 0;  // 0 in the directory means 256
    int height = 0;
    int colorCount = 0;
    int planes = 0;
    int bitCount = 0;
    DWORD bytes = 0;
    WORD iconId = 0;
};

// Reads an icon group directory (6-byte header, 14-byte entries). False
// when it is not an icon directory or is cut short.
bool ParseIconGroup(const uint8_t *data, size_t size, std::vector<GroupIconEntry> *out);

// The index of the entry LoadIconA uses for a `size` x `size` icon: the
// exact size with the most colours, else the nearest size. -1 when empty.
int PickIconEntry(const std::vector<GroupIconEntry> &entries, int size);

// An icon bitmap turned into pixels: colours 0x00RRGGBB and a mask (1 =
// transparent), both width*height, rows top to bottom.
struct IconPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colors;
    std::vector<uint8_t> mask;
};

// Decodes an RT_ICON image: a BITMAPINFOHEADER whose height covers the
// colour bitmap and the mask, a palette for 1, 4 and 8 bits per pixel, the
// colour rows and the 1-bit AND mask, both bottom-up with rows padded to
// DWORDs. 24- and 32-bit images are read too. False on anything malformed
// or cut short.
bool DecodeIcon(const uint8_t *data, size_t size, IconPixels *out);

// Reads an RT_ACCELERATOR table (8-byte entries: flags, key, command,
// filler). Stops after the entry marked 0x80 and strips the mark; a table
// without the mark ends with its data. False when empty or not a whole
// number of entries.
bool ParseAccelerators(const uint8_t *data, size_t size, std::vector<ACCEL> *out);

// The pixels of a system icon the layer draws itself (IDI_APPLICATION,
// IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK) or of the arrow
// cursor (IDC_ARROW, `cursor` true). False for other ids.
bool SystemIconPixels(WORD id, bool cursor, IconPixels *out);

}  // namespace win32::res
