#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/DiskImage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tamberlane {

// The names the entries of one directory answer to, read once: a batch asks it about
// every new name instead of walking the directory again for each (which would make a
// large batch quadratic). It does not follow writes by itself; whoever writes tells it.
class DirectoryNameIndex {
  public:
    struct Indexed {
        DirectoryEntry entry;
        // Where its 8.3 slot lies; absent for an entry added through add().
        std::optional<SlotLocation> location;
        // Added or replaced since the index was built.
        bool written = false;
    };

    static DirectoryNameIndex of(const DiskImage& image, const DirectoryStorage& storage);

    // The entries that an entry of raw 8.3 key name83/ext83, listed under any of `names`,
    // would be confused with: the same raw key, or a display name or alias equal to one
    // of `names` ignoring case. In on-disk order, entries added since after them.
    std::vector<std::size_t> namesakes(ByteView name83, ByteView ext83,
                                       const std::vector<std::string>& names) const;
    const Indexed& operator[](std::size_t index) const { return entries_[index]; }

    void add(DirectoryEntry entry);
    void markWritten(std::size_t index) { entries_[index].written = true; }

  private:
    void insert(Indexed indexed);

    std::vector<Indexed> entries_;
    std::unordered_multimap<std::string, std::size_t> byKey_;
    std::unordered_multimap<std::string, std::size_t> byFoldedName_;
};

} // namespace tamberlane
