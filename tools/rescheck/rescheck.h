// morvalen-rescheck: reads the resources of a Windows executable (or of a
// compiled .res image) and checks them against the program's resource
// table: types, ids and names, language, sizes, the icon groups and images,
// the accelerator and the version block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rescheck {

// A resource type or name: a numeric id or a string.
struct Id {
    bool numeric = true;
    uint16_t id = 0;
    std::string name;

    std::string Text() const;
};

struct Resource {
    Id type;
    Id name;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

// The resource tree of a PE image (32- or 64-bit): type, name and language
// levels of the resource directory. False with a message when the file is
// not a PE image or its resource directory is damaged.
bool ReadPe(const std::vector<uint8_t> &file, std::vector<Resource> *out, std::string *error);

// The entries of a .res image. False with a message when it is damaged.
bool ReadRes(const std::vector<uint8_t> &file, std::vector<Resource> *out, std::string *error);

// Every way the resources differ from the program's table; empty when they
// match.
std::vector<std::string> Check(const std::vector<Resource> &resources);

}  // namespace rescheck
