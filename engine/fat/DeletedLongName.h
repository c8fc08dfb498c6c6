#pragma once

#include "engine/base/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// A long name read back from the deleted long-name slots in front of a deleted entry.
struct RecoveredLongName {
    std::string name; // UTF-8
    // The entry's lost first byte as the entry stores it (0x05 standing for 0xE5).
    std::uint8_t firstByte = 0;
};

// Deleting overwrote the order byte of every long-name slot and the first byte of the
// entry with the deleted mark. What is left to go by: every slot still carries the
// checksum of the whole alias, and only one value of the lost byte gives it; the slot
// farthest from the entry still holds the end of the name.
namespace DeletedLongName {

// A name of at most 255 units takes at most 20 slots.
inline constexpr std::size_t maxSlots = 20;

// `slots`: the deleted long-name slots right in front of the deleted `shortSlot`, in
// on-disk order (the farthest first). Nothing unless they are intact.
std::optional<RecoveredLongName> recover(const std::vector<ByteView>& slots, ByteView shortSlot);

// The value of byte 0 that gives the 11 bytes of `shortName` (its own byte 0 ignored)
// the long-name checksum `checksum`: each byte's step can be undone, the last first.
std::uint8_t firstByteFor(std::uint8_t checksum, ByteView shortName);

} // namespace DeletedLongName

} // namespace tamberlane
