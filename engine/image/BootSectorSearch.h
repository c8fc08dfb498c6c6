#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/ImageFileReader.h"

#include <cstdint>
#include <optional>

namespace tamberlane::BootSectorSearch {

// A quick plausibility test of a boot sector (sector size, cluster size, 1 or 2 FATs).
bool isValidBPB(ByteView sector);

// Steps by whole sectors from dataOffset; returns the offset of the first plausible
// boot sector among the first maxSectors.
std::optional<std::int64_t> findBPBInImage(const ImageFileReader& file, std::int64_t dataOffset,
                                           std::int64_t sectorSize, std::int64_t maxSectors,
                                           bool requireJumpInstruction);

} // namespace tamberlane::BootSectorSearch
