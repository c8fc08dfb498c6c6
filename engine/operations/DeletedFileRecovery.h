#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/LongNamePolicy.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tamberlane {

struct DeletedFileEntry {
    EntryId id = 0;
    // What is listed: the long name where it was recovered, else the short name.
    std::string displayName;
    // The short name with "?" for the lost first character.
    std::string shortName;
    // From intact deleted long-name slots in front of the entry: the name, the lost first
    // byte their checksum tells (as stored: 0x05 for 0xE5) and where they lie, on-disk order.
    std::optional<std::string> longName;
    std::optional<std::uint8_t> recoveredFirstByte;
    std::vector<SlotIndex> longNameSlots;
    Bytes rawEntryData;
    std::uint16_t startCluster = 0;
    std::uint32_t size = 0;
    FileAttributes attributes;
    Timestamp modifiedDate{};
    // Share of the needed clusters that are free, 0-100.
    int recoverability = 0;
    std::int64_t requiredClusters = 0;
    std::int64_t freeClusters = 0;
    // Where its slot lies in the directory listed, and its number there (from 1).
    SlotIndex slot;
    std::int64_t slotNumber = 0;

    bool isDirectory() const { return attributes.isDirectory(); }
};

// Listing and restoring deleted directory entries; used by the deleted-files window
// and the command line alike. A deleted file is assumed to have been stored in
// consecutive clusters from its first cluster; a deleted directory needs its first
// cluster only.
namespace DeletedFileRecovery {

// The deleted entries of the directory at `path`, in directory order (slots after the
// end mark included). Never throws: what cannot be read yields fewer entries.
std::vector<DeletedFileEntry> listDeletedEntries(const DiskImage& image, const DiskPath& path);

std::optional<DeletedFileEntry> parseDeletedEntry(ByteView entryData, const DiskImage& image);

// Checks the user's input and the entry; gives the byte to write as first character
// or the message to show. The input is one ASCII character (a-z upper-cased) or one
// double-byte character whose second byte is the one the name kept (its first byte is
// written); none where the long name told the lost byte and the policy brings it back.
std::variant<std::uint8_t, std::string>
validateRestore(const DeletedFileEntry& target, const std::string& firstCharText,
                const DiskImage& image, LongNamePolicy policy = LongNamePolicy::automatic);

// The first character the long name told, as a restore dialog offers it; empty when
// the long name told none.
std::string recoveredFirstCharacter(const DeletedFileEntry& target);

// Gives the entry its first character back, rebuilds its chain in the FAT, writes every
// FAT copy and saves the image file. All or nothing: on failure the in-memory image is
// as before and the file untouched. Throws headerParseFailure when the slot no longer
// holds the listed deleted entry, encodingError when a live entry of `directory` (the
// directory listed) would be confused with it (the same raw name, or listed alike),
// invalidCluster when a needed cluster has been taken since the listing. Unless the
// policy is `never`, the recovered long-name slots come back with the entry (their
// checksum follows `firstByte`); with `never` they stay deleted.
void restore(DiskImage& image, const DiskPath& directory, const DeletedFileEntry& target,
             std::uint8_t firstByte, LongNamePolicy policy = LongNamePolicy::automatic);

} // namespace DeletedFileRecovery

} // namespace tamberlane
