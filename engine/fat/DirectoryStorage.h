#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DiskImage.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace tamberlane {

// Where a slot lies in its directory: which unit (root sector or cluster, counted from
// the directory's first) and where in it. The one way every reader and writer of
// directories names a slot.
struct SlotIndex {
    std::size_t unitIndex = 0;
    std::size_t offset = 0;

    bool operator==(const SlotIndex&) const = default;
};

// Where one directory's slots live: the fixed run of root-directory sectors, or the
// cluster chain of a subdirectory. A unit is one sector of the root or one cluster. The
// root holds exactly its entry count of slots, even when that leaves part of its last
// sector over: that part belongs to whatever follows.
class DirectoryStorage {
  public:
    static DirectoryStorage root(const DiskImage& image);
    // Throws on a chain that loops or leaves the table.
    static DirectoryStorage ofCluster(const DiskImage& image, std::uint16_t firstCluster);

    bool isRoot() const { return isRoot_; }
    const std::vector<std::int64_t>& units() const { return units_; }
    std::size_t unitCount() const { return units_.size(); }
    // The sector (root) or cluster the unit is.
    std::int64_t unit(std::size_t index) const { return units_[index]; }

    Bytes readUnit(const DiskImage& image, std::size_t index) const;
    // Every slot's bytes, in order.
    Bytes readAll(const DiskImage& image) const;
    // Where the slot at `byteOffset` of readAll's bytes lies, and back.
    SlotIndex locationOf(const DiskImage& image, std::size_t byteOffset) const;
    std::size_t byteOffsetOf(const DiskImage& image, SlotIndex at) const;
    // The slot's number in the directory, counted from 1 as the command line shows it.
    std::int64_t slotNumber(const DiskImage& image, SlotIndex at) const {
        return static_cast<std::int64_t>(byteOffsetOf(image, at) / DirectorySlot::size) + 1;
    }
    std::size_t unitSize(const DiskImage& image) const;
    // Writes one unit back (root sector or cluster).
    void writeUnit(DiskImage& image, std::size_t index, ByteView bytes) const;
    // A unit the image cannot store would lose whatever is written into it.
    bool unitIsStorable(const DiskImage& image, std::size_t index) const;
    // A subdirectory grown by one cluster.
    void appendCluster(std::uint16_t cluster) { units_.push_back(cluster); }

    enum class Walk { next, stop };
    // Calls visit(location, slot) for each slot in order, past the end mark too, until
    // visit returns Walk::stop. Each unit is read once.
    template <typename Visit> void forEachSlot(const DiskImage& image, Visit&& visit) const {
        std::size_t visited = 0;
        for (std::size_t i = 0; i < units_.size(); ++i) {
            const Bytes unit = readUnit(image, i);
            for (std::size_t o = 0; o + DirectorySlot::size <= unit.size();
                 o += DirectorySlot::size) {
                if (visited++ == slotLimit_) {
                    return;
                }
                const DirectorySlot slot(ByteView(unit).subspan(o, DirectorySlot::size));
                if (visit(SlotIndex{i, o}, slot) == Walk::stop) {
                    return;
                }
            }
        }
    }

  private:
    bool isRoot_ = true;
    std::vector<std::int64_t> units_;
    std::size_t slotLimit_ = std::numeric_limits<std::size_t>::max();
};

} // namespace tamberlane
