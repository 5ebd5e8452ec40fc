// morvalen-rescheck FILE: checks the resources of FILE (a Windows
// executable, or a .res image) against the program's resource table.
// Exit status 0 when they match; 1 with one line per difference; 2 when the
// file cannot be read.

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/rescheck/rescheck.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvalen-rescheck FILE.exe|FILE.res\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "morvalen-rescheck: cannot open %s\n", argv[1]);
        return 2;
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<rescheck::Resource> resources;
    std::string error;
    bool pe = file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
    bool ok = pe ? rescheck::ReadPe(file, &resources, &error) : rescheck::ReadRes(file, &resources, &error);
    if (!ok) {
        std::fprintf(stderr, "morvalen-rescheck: %s: %s\n", argv[1], error.c_str());
        return 2;
    }
    std::vector<std::string> problems = rescheck::Check(resources);
    for (const std::string &p : problems)
        std::fprintf(stderr, "morvalen-rescheck: %s: %s\n", argv[1], p.c_str());
    if (!problems.empty()) return 1;
    std::printf("%s: %zu resources match the table\n", argv[1], resources.size());
    return 0;
}
