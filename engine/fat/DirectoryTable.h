#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/SlotRun.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tamberlane {

// One directory's slots, read once, with an index of the names its entries answer to.
// Every change to a directory goes through here and is written to the image at once
// (whoever changes holds the rollback mark); the table follows its own writes, so a
// batch asks it about each new name without reading the directory again.
class DirectoryTable {
  public:
    // Throws on a subdirectory chain that loops or leaves the table.
    static DirectoryTable of(DiskImage& image, std::optional<std::uint16_t> firstCluster);

    // Absent for the root.
    std::optional<std::uint16_t> firstCluster() const { return firstCluster_; }
    const DirectoryStorage& storage() const { return storage_; }

    // The live short slots with their long names, in on-disk order; a removed one stays
    // in place with `removed` set, so run numbers never move.
    struct Run {
        SlotRun slots;
        bool removed = false;
        // Added or replaced through this table.
        bool written = false;
    };
    const Run& operator[](std::size_t run) const { return runs_[run]; }
    std::size_t runCount() const { return runs_.size(); }
    SlotIndex indexOf(std::size_t byteOffset) const;
    // The short slot's bytes as they are now.
    ByteView slotBytes(std::size_t run) const;
    // The long-name slots and the short slot, as add() takes them.
    std::vector<Bytes> runBytes(std::size_t run) const;

    // The listed entry (same raw 8.3 name and first cluster) as it is now.
    std::optional<std::size_t> find(const DirectoryEntry& listed) const;
    // The runs an entry of raw key name83/ext83, listed under any of `names`, would be
    // confused with: the same raw key, or a display name or alias equal to one of `names`
    // ignoring case. In on-disk order, entries added since after them.
    std::vector<std::size_t> namesakes(ByteView name83, ByteView ext83,
                                       const std::vector<std::string>& names) const;

    // Whether a live entry other than `except` has this raw 8.3 name.
    bool holdsKey(ByteView name83, ByteView ext83,
                  std::optional<std::size_t> except = std::nullopt) const;
    // Whether a live entry has a long name: the directory is one whose users see them.
    bool holdsLongName() const;

    // Stores the slots in consecutive free slots (a slot the image cannot store is never
    // used), growing a subdirectory by a cluster when none are left. The root is refused
    // when full, a subdirectory of 65536 slots or on a full disk. Returns the new run.
    std::size_t add(const std::vector<Bytes>& slots);
    // Marks the entry and its long-name slots deleted; its clusters are the caller's.
    void remove(std::size_t run);
    // Changes the short slot in place; with `dropLongName` its long-name slots go (they
    // would name the old short name).
    void edit(std::size_t run, const std::function<void(DirectorySlot::Mutable)>& change,
              bool dropLongName = false);

  private:
    DirectoryTable(DiskImage& image, DirectoryStorage storage,
                   std::optional<std::uint16_t> firstCluster);

    void setFirstByte(std::size_t offset, std::uint8_t value);
    void writeSlots(std::size_t offset, std::size_t count);
    std::optional<std::size_t> freeRun(std::size_t count) const;
    void grow();
    void index(std::size_t run);
    void unindex(std::size_t run);
    bool storable(std::size_t offset) const;

    DiskImage* image_;
    DirectoryStorage storage_;
    std::optional<std::uint16_t> firstCluster_;
    std::size_t unitSize_ = 0;
    Bytes bytes_;
    // Offset of the end mark (or the size when there is none).
    std::size_t end_ = 0;
    std::vector<bool> unitStorable_;
    std::vector<Run> runs_;
    std::unordered_multimap<std::string, std::size_t> byKey_;
    std::unordered_multimap<std::string, std::size_t> byFoldedName_;
    // Live entries with a long name: asked for every new name of a batch, so kept, not
    // counted each time.
    std::size_t longNamed_ = 0;
};

} // namespace tamberlane
