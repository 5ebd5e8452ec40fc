// libFuzzer target: the mount-table reader, the sysfs reader and the letter
// assignment on arbitrary bytes. Besides the sanitizers' checks it holds the
// reader to what the rest of the layer relies on.
//
// Lines of the form "#sys MAJ:MIN PATH REMOVABLE [p]" describe a small sysfs
// tree, built afresh for each input: a block device at devices/PATH with
// its dev/block and class/block links, its removable flag, and with "p" a
// partition of the disk above it. The other lines are the mount table.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/kernel/mounts.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxDevices = 16;

// A path under the tree made of plain names only, or empty.
std::string SafeRelative(const std::string &p) {
    if (p.empty() || p.size() > 160 || p[0] == '/' || p.back() == '/') return {};
    std::string part;
    std::istringstream in(p);
    while (std::getline(in, part, '/')) {
        if (part.empty() || part == "." || part == "..") return {};
        for (char c : part)
            if (!isalnum(static_cast<unsigned char>(c)) && !strchr(":._-", c)) return {};
    }
    return p;
}

// The tree lives in memory where it can (it is made again for every input),
// and goes when the run ends.
const std::string &TreeRoot() {
    static const std::string root = [] {
        char shm[] = "/dev/shm/morvalen-fuzz-sysfs-XXXXXX";
        char tmp[] = "/tmp/morvalen-fuzz-sysfs-XXXXXX";
        const char *made = mkdtemp(shm);
        if (!made) made = mkdtemp(tmp);
        if (!made) abort();
        static std::string top = made;
        atexit([] {
            std::error_code ec;
            fs::remove_all(top, ec);
        });
        return top + "/sys";
    }();
    return root;
}

// Builds the tree the input describes; the number of devices made.
int BuildTree(const char *data, size_t size) {
    const std::string &root = TreeRoot();
    std::error_code ec;
    fs::remove_all(root, ec);
    int made = 0;
    std::istringstream in(std::string(data, size));
    std::string line;
    while (std::getline(in, line) && made < kMaxDevices) {
        if (line.rfind("#sys ", 0) != 0) continue;
        std::istringstream words(line.substr(5));
        std::string devno, path, removable, partition;
        words >> devno >> path >> removable >> partition;
        path = SafeRelative(path);
        unsigned major, minor;
        char tail;
        if (path.empty() || sscanf(devno.c_str(), "%u:%u%c", &major, &minor, &tail) != 2) continue;
        std::string dir = root + "/devices/" + path;
        fs::create_directories(dir, ec);
        fs::create_directories(root + "/dev/block", ec);
        fs::create_directories(root + "/class/block", ec);
        if (ec) continue;
        std::ofstream(dir + (partition == "p" ? "/partition" : "/removable")) << removable << "\n";
        std::string up = "../../devices/" + path;
        std::string name = path.substr(path.rfind('/') + 1);
        fs::create_symlink(up, root + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor),
                           ec);
        fs::create_symlink(up, root + "/class/block/" + name, ec);
        ++made;
    }
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *text = reinterpret_cast<const char *>(data);
    auto mounts = win32::ParseMountInfo(text, size);
    for (const auto &m : mounts) {
        if (m.mountPoint.empty() || m.mountPoint[0] != '/') abort();
        if (m.root.empty() || m.root[0] != '/') abort();
        if (m.mountPoint.find('\0') != std::string::npos) abort();
    }
    BuildTree(text, size);
    const std::string &sysfs = TreeRoot();
    auto drives = win32::AssignLetters(mounts, sysfs);
    if (drives.size() > 24) abort();
    char expect = 'C';
    std::set<std::pair<unsigned, unsigned>> devices;
    for (const auto &d : drives) {
        if (d.letter != expect++) abort();
        if (d.type < DRIVE_REMOVABLE || d.type > DRIVE_RAMDISK) abort();
        // One letter per filesystem, at its shortest mount point.
        if (!devices.insert({d.mount.major, d.mount.minor}).second) abort();
        for (const std::string &also : d.alsoMountedAt)
            if (also.size() < d.mount.mountPoint.size() || also == d.mount.mountPoint) abort();
        // What the whole table's lookups answered is what one mount's own
        // lookup answers.
        if (win32::ClassifyMount(d.mount, sysfs) != d.type) abort();
        // The escapes read back as the text.
        std::string line = "1 0 1:1 / " + win32::EscapeMountText(d.mount.mountPoint) + " rw - x y z\n";
        auto back = win32::ParseMountInfo(line.data(), line.size());
        if (back.size() != 1 || back[0].mountPoint != d.mount.mountPoint) abort();
    }
    return 0;
}
