#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/VolumeCheck.h"

#include <vector>

namespace tamberlane {

struct VolumeRepairResult {
    // The problems whose fix was made, as the check before the repair named them.
    std::vector<VolumeProblem> fixed;
    // The volume as the repair left it.
    VolumeCheckResult after;
};

// Where the FAT copies differ, every other fix is written through the copy that agrees
// with the directories (a volume refused for its copies takes no other write), so choosing
// any fix chooses that one too. Returns `chosen` with it added where needed.
std::vector<VolumeProblem> withRequiredFixes(const VolumeCheckResult& check,
                                             std::vector<VolumeProblem> chosen);

// Makes the fixes of `chosen` (problems of a check of this image; those without a fix,
// and those the volume no longer has, are passed over) as one change: all of them, saved
// atomically, or none. Lost data (lost chains, the tails of chains cut at their size)
// becomes FOUND.000/FILEnnnn.CHK. Refused as a whole, with the bytes it needs, when there
// is no room for the copies of shared clusters or for FOUND.000. May change a volume
// refused for its FAT copies when that fix is chosen; never one whose file may not be
// written, or refused for anything else.
VolumeRepairResult repairVolume(DiskImage& image, const std::vector<VolumeProblem>& chosen);

} // namespace tamberlane
