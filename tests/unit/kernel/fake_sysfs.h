// A throw-away sysfs tree with the block devices the mount fixtures use.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

class FakeSysfs {
public:
    FakeSysfs() {
        char tmpl[] = "/tmp/morvalen-sysfs-XXXXXX";
        root_ = mkdtemp(tmpl);
        // An NVMe disk with three partitions: fixed.
        Disk("devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", "0");
        for (int p = 1; p <= 3; ++p)
            Partition("devices/pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", "nvme0n1p" + std::to_string(p),
                      "259:" + std::to_string(p));
        // A USB stick that does not call itself removable.
        Disk("devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb", "0");
        Partition("devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb",
                  "sdb1", "8:17");
        // An SD card on the MMC bus.
        Disk("devices/platform/soc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0", "0");
        Partition("devices/platform/soc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0", "mmcblk0p1", "179:1");
        // A card reader on the SATA bus whose disk says it is removable.
        Disk("devices/pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0/block/sdc", "1");
        Partition("devices/pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0/block/sdc", "sdc1", "8:33");
        // Virtual disks: a loop device and a compressed RAM disk.
        Disk("devices/virtual/block/loop0", "0", "7:0");
        Disk("devices/virtual/block/zram0", "0", "252:0");
    }
    ~FakeSysfs() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const std::string &root() const { return root_; }

    // A whole disk at `rel` (under the tree), optionally with its own
    // device number link.
    void Disk(const std::string &rel, const char *removable, const std::string &devno = "") {
        fs::create_directories(root_ + "/" + rel);
        std::ofstream(root_ + "/" + rel + "/removable") << removable << "\n";
        if (!devno.empty()) Link(rel, devno);
    }
    void Partition(const std::string &disk, const std::string &name, const std::string &devno) {
        std::string rel = disk + "/" + name;
        fs::create_directories(root_ + "/" + rel);
        std::ofstream(root_ + "/" + rel + "/partition") << "1\n";
        Link(rel, devno);
    }

private:
    void Link(const std::string &rel, const std::string &devno) {
        fs::create_directories(root_ + "/dev/block");
        fs::create_directories(root_ + "/class/block");
        std::string name = rel.substr(rel.rfind('/') + 1);
        fs::create_symlink("../../" + rel, root_ + "/dev/block/" + devno);
        fs::create_symlink("../../" + rel, root_ + "/class/block/" + name);
    }
    std::string root_;
};
