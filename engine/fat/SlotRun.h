#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DirectoryEntry.h"

#include <cstddef>
#include <vector>

namespace tamberlane {

// One live short slot of a directory with the long-name slots that belong to it: those
// right in front of it whose checksum is its short name's. Reading, changing, recovery
// and the command line's slot numbers all see a directory through this one walk, so
// none of them can attach a long name the others do not.
struct SlotRun {
    enum class Kind { entry, dotEntry, volumeLabel, unreadable };
    Kind kind = Kind::unreadable;
    // Byte offsets in the walked data: the long-name slots (on-disk order), the short slot.
    std::vector<std::size_t> longNameOffsets;
    std::size_t offset = 0;
    // Parsed as a listing shows it (long name attached); empty for a volume label.
    DirectoryEntry entry;

    // What a listing shows and a name can pick: neither ".", "..", nor the volume label.
    bool isListed() const { return kind == Kind::entry; }
};

// The runs of raw directory bytes up to the end mark.
std::vector<SlotRun> slotRunsOf(ByteView data);

} // namespace tamberlane
