#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/DeletedFileRecovery.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace tamberlane::cli {

// The deleted entries of a directory, each with the number `deleted` shows and `undelete`
// takes: the 1-based position of its slot in the directory. A position in the list of
// deleted entries alone would shift after every restore, and the next undelete would
// bring back another file than the one listed under that number.
std::vector<std::pair<std::int64_t, DeletedFileEntry>>
numberedDeletedEntries(const DiskImage& image, const DiskPath& directory);

} // namespace tamberlane::cli
