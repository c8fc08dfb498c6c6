#pragma once

#include "engine/base/Bytes.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace tamberlane::bench {

// Kilobytes of a "VmRSS:"-style line of /proc/self/status; -1 when it has none.
inline std::int64_t statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            std::istringstream fields(line.substr(std::string(key).size()));
            std::int64_t kib = 0;
            fields >> kib;
            return kib;
        }
    }
    return -1;
}

// An empty FAT16 volume's boot sector and FATs at `boot` in `disk`: 512-byte sectors, one
// reserved sector, two FATs, 512 root entries, the size in the 32-bit count.
inline void formatEmptyFAT16(Bytes& disk, std::size_t boot, std::uint8_t sectorsPerCluster,
                             std::uint16_t sectorsPerFAT, std::int64_t sectors) {
    disk[boot] = 0xEB;
    disk[boot + 1] = 0x3C;
    disk[boot + 2] = 0x90;
    writeU16LE(disk, boot + 11, 512);
    disk[boot + 13] = sectorsPerCluster;
    writeU16LE(disk, boot + 14, 1);
    disk[boot + 16] = 2;
    writeU16LE(disk, boot + 17, 512);
    disk[boot + 21] = 0xF8;
    writeU16LE(disk, boot + 22, sectorsPerFAT);
    writeU16LE(disk, boot + 24, 63);
    writeU16LE(disk, boot + 26, 16);
    writeU32LE(disk, boot + 32, static_cast<std::uint32_t>(sectors));
    disk[boot + 510] = 0x55;
    disk[boot + 511] = 0xAA;
    for (std::size_t copy = 0; copy < 2; ++copy) {
        writeU32LE(disk, boot + (1 + copy * sectorsPerFAT) * 512, 0xFFFFFFF8);
    }
}

// A private folder under $TMPDIR (or /tmp), removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base && *base ? base : "/tmp") + "/tamberlane-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path path;
};

} // namespace tamberlane::bench
