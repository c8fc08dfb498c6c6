#pragma once

#include <cstdint>

namespace tamberlane {

struct DiskGeometry {
    std::int64_t heads = 0;
    std::int64_t cylinders = 0;
    std::int64_t sectorsPerTrack = 0;
    std::int64_t bytesPerSector = 0;

    // The volume's size in bytes; the fields come from headers, so the product is
    // computed in 64 bits and callers check it against their limits.
    std::int64_t totalBytes() const { return heads * cylinders * sectorsPerTrack * bytesPerSector; }
    bool operator==(const DiskGeometry&) const = default;
};

// A floppy has at most two heads and 82 cylinders: a 1.44 MB disk in an extended format
// uses up to 82, and the track tables of the floppy containers (D88, NFD) hold 164 tracks.
// Anything larger is a hard disk.
constexpr bool isFloppyGeometry(const DiskGeometry& geometry) {
    return geometry.heads <= 2 && geometry.cylinders <= 82;
}

} // namespace tamberlane
