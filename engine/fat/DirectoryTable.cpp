#include "engine/fat/DirectoryTable.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/EntryLookup.h"

#include <algorithm>

namespace tamberlane {

namespace {

std::string keyOf(ByteView name83, ByteView ext83) {
    std::string key(name83.begin(), name83.end());
    key.append(ext83.begin(), ext83.end());
    return key;
}

// FAT drivers number a directory's slots with 16 bits.
constexpr std::size_t maxSlots = DirectorySlot::maxPerDirectory;

} // namespace

DirectoryTable::DirectoryTable(DiskImage& image, DirectoryStorage storage,
                               std::optional<std::uint16_t> firstCluster)
    : image_(&image), storage_(std::move(storage)), firstCluster_(firstCluster),
      unitSize_(storage_.unitSize(image)), bytes_(storage_.readAll(image)) {
    for (std::size_t u = 0; u < storage_.unitCount(); ++u) {
        unitStorable_.push_back(storage_.unitIsStorable(image, u));
    }
    end_ = bytes_.size() - bytes_.size() % DirectorySlot::size;
    for (std::size_t o = 0; o < end_; o += DirectorySlot::size) {
        if (bytes_[o] == DirectorySlot::endMark) {
            end_ = o;
        }
    }
    for (SlotRun& slots : slotRunsOf(ByteView(bytes_).first(end_))) {
        runs_.push_back(Run{std::move(slots), false, false});
        index(runs_.size() - 1);
    }
}

DirectoryTable DirectoryTable::of(DiskImage& image, std::optional<std::uint16_t> firstCluster) {
    return firstCluster ? DirectoryTable(image, DirectoryStorage::ofCluster(image, *firstCluster),
                                         firstCluster)
                        : DirectoryTable(image, DirectoryStorage::root(image), std::nullopt);
}

SlotIndex DirectoryTable::indexOf(std::size_t byteOffset) const {
    return SlotIndex{byteOffset / unitSize_, byteOffset % unitSize_};
}

ByteView DirectoryTable::slotBytes(std::size_t run) const {
    return ByteView(bytes_).subspan(runs_[run].slots.offset, DirectorySlot::size);
}

std::vector<Bytes> DirectoryTable::runBytes(std::size_t run) const {
    std::vector<Bytes> out;
    const auto slotAt = [this](std::size_t offset) {
        const auto at = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
        return Bytes(at, at + DirectorySlot::size);
    };
    for (std::size_t offset : runs_[run].slots.longNameOffsets) {
        out.push_back(slotAt(offset));
    }
    out.push_back(slotAt(runs_[run].slots.offset));
    return out;
}

void DirectoryTable::index(std::size_t run) {
    const SlotRun& slots = runs_[run].slots;
    if (!slots.isListed()) {
        return;
    }
    const DirectoryEntry& entry = slots.entry;
    longNamed_ += entry.longFileName ? 1 : 0;
    byKey_.emplace(keyOf(entry.rawName, entry.rawExtension), run);
    const std::string display = EntryLookup::foldCase(entry.displayName());
    const std::string alias = EntryLookup::foldCase(entry.shortName());
    byFoldedName_.emplace(display, run);
    if (alias != display) {
        byFoldedName_.emplace(alias, run);
    }
}

void DirectoryTable::unindex(std::size_t run) {
    // Called before the run's entry changes, so it still says whether index() counted it.
    const SlotRun& slots = runs_[run].slots;
    if (slots.isListed() && slots.entry.longFileName) {
        --longNamed_;
    }
    for (auto* map : {&byKey_, &byFoldedName_}) {
        for (auto it = map->begin(); it != map->end();) {
            it = it->second == run ? map->erase(it) : std::next(it);
        }
    }
}

std::optional<std::size_t> DirectoryTable::find(const DirectoryEntry& listed) const {
    for (std::size_t r = 0; r < runs_.size(); ++r) {
        if (runs_[r].removed || runs_[r].slots.kind == SlotRun::Kind::volumeLabel) {
            continue;
        }
        const DirectorySlot slot(slotBytes(r));
        if (slot.hasShortName(listed.rawName, listed.rawExtension) &&
            slot.startCluster() == listed.startCluster) {
            return r;
        }
    }
    return std::nullopt;
}

std::vector<std::size_t> DirectoryTable::namesakes(ByteView name83, ByteView ext83,
                                                   const std::vector<std::string>& names) const {
    std::vector<std::size_t> found;
    const auto collect = [&found](const auto& range) {
        for (auto it = range.first; it != range.second; ++it) {
            found.push_back(it->second);
        }
    };
    collect(byKey_.equal_range(keyOf(name83, ext83)));
    for (const std::string& name : names) {
        collect(byFoldedName_.equal_range(EntryLookup::foldCase(name)));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

bool DirectoryTable::holdsKey(ByteView name83, ByteView ext83,
                              std::optional<std::size_t> except) const {
    const auto [from, to] = byKey_.equal_range(keyOf(name83, ext83));
    return std::any_of(from, to, [except](const auto& item) { return item.second != except; });
}

bool DirectoryTable::holdsLongName() const {
    return longNamed_ > 0;
}

bool DirectoryTable::storable(std::size_t offset) const {
    return unitStorable_[offset / unitSize_];
}

void DirectoryTable::writeSlots(std::size_t offset, std::size_t count) {
    const std::size_t first = offset / unitSize_;
    const std::size_t last = (offset + count * DirectorySlot::size - 1) / unitSize_;
    for (std::size_t u = first; u <= last; ++u) {
        // Read afresh: the root's last sector may hold more than its slots.
        Bytes unit = storage_.readUnit(*image_, u);
        const std::size_t from = u * unitSize_;
        const std::size_t length = std::min(unit.size(), bytes_.size() - from);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(from), length, unit.begin());
        storage_.writeUnit(*image_, u, unit);
    }
}

void DirectoryTable::setFirstByte(std::size_t offset, std::uint8_t value) {
    bytes_[offset] = value;
    writeSlots(offset, 1);
}

std::optional<std::size_t> DirectoryTable::freeRun(std::size_t count) const {
    std::size_t start = 0;
    std::size_t length = 0;
    for (std::size_t o = 0; o + DirectorySlot::size <= bytes_.size(); o += DirectorySlot::size) {
        const bool pastEnd = o >= end_;
        // A slot the image cannot store would vanish on write: never claim one. Past the
        // end mark, a run beyond such a unit would be hidden behind the mark.
        if (!storable(o)) {
            if (pastEnd) {
                return std::nullopt;
            }
            length = 0;
            continue;
        }
        // Everything after the end mark is free, whatever stale bytes it holds.
        if (!pastEnd && bytes_[o] != DirectorySlot::deletedMark) {
            length = 0;
            continue;
        }
        if (length == 0) {
            start = o;
        }
        if (++length == count) {
            return start;
        }
    }
    return std::nullopt;
}

void DirectoryTable::grow() {
    const std::int64_t bytesPerCluster = image_->addressing().bytesPerCluster();
    const std::size_t grownSlots =
        (storage_.unitCount() + 1) *
        static_cast<std::size_t>(std::max<std::int64_t>(bytesPerCluster, 0)) / DirectorySlot::size;
    if (storage_.unitCount() == 0 || bytesPerCluster < 32 || grownSlots > maxSlots) {
        throw DiskImageError::diskFull(DirectorySlot::size, 0);
    }
    FATTable& fat = image_->fatTable();
    std::uint16_t cluster = 0;
    try {
        cluster = fat.allocate(1).front();
    } catch (const DiskImageError& error) {
        if (error.kind() != DiskImageError::Kind::diskFull) {
            throw;
        }
        throw DiskImageError::diskFull(bytesPerCluster, fat.freeClusterCount() * bytesPerCluster);
    }
    fat.setEntry(static_cast<std::size_t>(storage_.units().back()), cluster);
    // Zero-filled, so the slots after the last entry read as the end of the directory.
    const Bytes zeros(static_cast<std::size_t>(bytesPerCluster), 0);
    image_->writeCluster(cluster, zeros);
    storage_.appendCluster(cluster);
    unitStorable_.push_back(image_->clusterIsStorable(cluster));
    bytes_.insert(bytes_.end(), zeros.begin(), zeros.end());
}

std::size_t DirectoryTable::add(const std::vector<Bytes>& slots) {
    std::optional<std::size_t> start = freeRun(slots.size());
    while (!start) {
        // The root directory has a fixed size; only subdirectories grow.
        if (storage_.isRoot()) {
            throw DiskImageError::rootDirectoryFull(image_->layout().bpb.rootEntryCount);
        }
        grow();
        start = freeRun(slots.size());
    }
    const std::size_t after = *start + slots.size() * DirectorySlot::size;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        std::copy_n(slots[k].begin(), DirectorySlot::size,
                    bytes_.begin() + static_cast<std::ptrdiff_t>(*start + k * DirectorySlot::size));
    }
    writeSlots(*start, slots.size());
    if (after > end_) {
        // The run took the end mark: the slot after it must end the directory now, or a
        // stale entry behind the old mark would come back to life.
        end_ = after;
        if (after < bytes_.size() && storable(after) && bytes_[after] != DirectorySlot::endMark) {
            setFirstByte(after, DirectorySlot::endMark);
        }
    }
    std::vector<SlotRun> parsed = slotRunsOf(ByteView(bytes_).subspan(*start, after - *start));
    SlotRun slots0 = parsed.empty() ? SlotRun{} : std::move(parsed.back());
    slots0.offset += *start;
    for (std::size_t& offset : slots0.longNameOffsets) {
        offset += *start;
    }
    runs_.push_back(Run{std::move(slots0), false, true});
    index(runs_.size() - 1);
    return runs_.size() - 1;
}

void DirectoryTable::remove(std::size_t run) {
    Run& r = runs_[run];
    for (std::size_t offset : r.slots.longNameOffsets) {
        setFirstByte(offset, DirectorySlot::deletedMark);
    }
    setFirstByte(r.slots.offset, DirectorySlot::deletedMark);
    unindex(run);
    r.removed = true;
}

void DirectoryTable::edit(std::size_t run,
                          const std::function<void(DirectorySlot::Mutable)>& change,
                          bool dropLongName) {
    Run& r = runs_[run];
    if (dropLongName) {
        for (std::size_t offset : r.slots.longNameOffsets) {
            setFirstByte(offset, DirectorySlot::deletedMark);
        }
        r.slots.longNameOffsets.clear();
    }
    change(DirectorySlot::Mutable(bytes_).subspan(r.slots.offset, DirectorySlot::size));
    writeSlots(r.slots.offset, 1);
    unindex(run);
    const std::optional<std::string> longName =
        dropLongName ? std::nullopt : r.slots.entry.longFileName;
    DirectoryEntryParseResult parsed = DirectoryEntryParser::parse(slotBytes(run));
    if (parsed.kind == DirectoryEntryParseResult::Kind::entry) {
        r.slots.entry = std::move(parsed.entry);
        r.slots.entry.longFileName = longName;
    }
    r.written = true;
    index(run);
}

} // namespace tamberlane
