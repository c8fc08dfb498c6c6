#pragma once

#include <array>
#include <cstdint>

namespace tamberlane {

// The sector sizes a FAT volume of these machines is read with: powers of two from 128
// (early floppies) to 4096 bytes.
inline constexpr std::array<std::int64_t, 6> validSectorSizes = {128, 256, 512, 1024, 2048, 4096};

constexpr bool isValidSectorSize(std::int64_t bytes) {
    for (const std::int64_t valid : validSectorSizes) {
        if (bytes == valid) {
            return true;
        }
    }
    return false;
}

} // namespace tamberlane
