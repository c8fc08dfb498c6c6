#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/VolumeCheck.h"

#include <cstdint>
#include <string>
#include <vector>

// The parts of a volume check that look past the FAT and the directories: the container's
// sectors and the boot sector.
namespace tamberlane {

// Sectors the container does not hold, holds twice or recorded as bad, grouped by what
// holds them. `owners` is the entry (index into `ownerPaths`) each cluster belongs to, -1
// for none.
void addSectorProblems(const DiskImage& image, const std::vector<std::int32_t>& owners,
                       const std::vector<std::string>& ownerPaths,
                       const std::vector<std::uint16_t>& fat, VolumeCheckResult& result);

// The boot sector against the container's geometry and the file's size.
void checkBootSector(const DiskImage& image, const std::vector<std::uint16_t>& fat,
                     VolumeCheckResult& result);

} // namespace tamberlane
