#pragma once

#include "engine/base/Translation.h"
#include "engine/fat/DiskImage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlane {

// What can be wrong with a volume. The names are stable codes (JSON): never rename one.
enum class ProblemKind {
    fatCopiesDiffer,      // clusters: entries that differ; agreeingCopy: the copy to keep
    crossLink,            // paths: the files sharing clusters; clusters: the shared ones
    chainLoop,            // a chain that comes back to one of its own clusters
    chainIntoFree,        // a chain that runs into a free cluster
    chainIntoReserved,    // a chain that runs into a reserved or bad-cluster value
    chainOutOfRange,      // a chain that names a cluster past the volume's last
    chainLongerThanSize,  // more clusters than the size needs
    chainShorterThanSize, // fewer clusters than the size needs
    lostChain,            // allocated clusters no entry reaches; bytes: their size
    invalidName,          // a short name no system writes (control characters, ...)
    invalidAttributes,    // attribute bits that contradict each other
    invalidStartCluster,  // a start cluster outside the volume (or set on an empty file)
    duplicateName,        // two live entries with one short name in one directory
    entryAfterEnd,        // a live entry after the directory's end mark
    badDotEntry,          // a directory's "." missing or not naming itself
    badDotDotEntry,       // a directory's ".." missing or not naming its parent
    directoryCycle,       // a directory that contains one of its ancestors
    orphanLongName,       // long-name slots with no short entry after them
    longNameChecksum,     // long-name slots whose checksum is not their entry's
    bootSectorMismatch,   // the boot sector disagrees with the geometry or the file
    sectorMissing,        // a sector the container does not hold (system area, files)
    sectorAliased,        // a sector the container holds twice
    badSector,            // a sector a dump recorded as unreadable, inside a file
};

// What a repair would do about a problem; none: the problem is only reported.
enum class FixKind {
    none,
    writeAgreeingFatCopy, // the copy that agrees with the directories goes to every copy
    cutChain,             // the chain cut at the size; its tail kept in FOUND.000
    cutSize,              // the size cut to the chain
    copySharedClusters,   // each file of a cross-link gets its own copy of the clusters
    recoverLostChain,     // the chain becomes FOUND.000/FILEnnnn.CHK
    markDeleted,          // the entry marked deleted (0xE5), so undelete still sees it
    removeLongNameSlots,  // the orphan long-name slots removed
    mendDotEntries,       // "." and ".." written as they should be
};

// A directory slot: the sector (LBA from the volume's boot sector) and the byte in it.
struct SlotPlace {
    std::int64_t sector = 0;
    std::uint32_t offset = 0;
    bool operator==(const SlotPlace&) const = default;
};

struct VolumeProblem {
    ProblemKind kind = ProblemKind::lostChain;
    // The display paths involved ("/DOCS/NOTE.TXT"); the root is "/".
    std::vector<std::string> paths;
    std::vector<std::uint32_t> clusters;
    // Sectors (LBA from the volume's boot sector) for the container's problems.
    std::vector<std::int64_t> sectors;
    // A lost chain's size, a size against its chain, ...: what the message needs.
    std::int64_t bytes = 0;
    // What the volume's other witness says where the message compares two values (the
    // disk's sector size against the boot sector's).
    std::int64_t expected = 0;
    // For fatCopiesDiffer: the 1-based copy that agrees with the directories.
    std::optional<int> agreeingCopy;
    FixKind fix = FixKind::none;

    // Where a repair acts, as the check found it (never shown): the entry whose chain or
    // size it changes (for a cross-link, the one that gets the copies), the slots it
    // marks deleted or removes, or a directory's first two slots; for those, the clusters
    // "." and ".." must name.
    std::vector<SlotPlace> slots;
    std::uint16_t directoryCluster = 0;
    std::uint16_t parentCluster = 0;

    bool operator==(const VolumeProblem&) const = default;
};

// A remark that is not a problem (the dirty flag, parameters inferred from the media
// byte, ...): shown, never repaired, never makes a volume unclean.
struct VolumeNote {
    Text text;
};

struct VolumeCheckResult {
    std::vector<VolumeProblem> problems;
    std::vector<VolumeNote> notes;
    bool clean() const { return problems.empty(); }
};

// Every problem of the volume the image holds. Reads only; works on a volume opened
// read-only because of its damage. Linear in the volume's size and entries.
VolumeCheckResult checkVolume(const DiskImage& image);

std::string_view problemCode(ProblemKind kind);
std::string_view fixCode(FixKind fix);
// The problem and its fix in the interface's language (under SourceTexts, the Japanese
// source texts, as JSON carries them).
std::string describeProblem(const VolumeProblem& problem);
std::string describeFix(const VolumeProblem& problem);

} // namespace tamberlane
