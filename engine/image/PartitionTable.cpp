#include "engine/image/PartitionTable.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/image/BootSectorSearch.h"

#include <algorithm>
#include <optional>
#include <set>

namespace tamberlane::PartitionTable {

namespace {

constexpr std::int64_t atSectorSize = 512;
constexpr std::int64_t atEntries = 446;
// Far more logical partitions than any tool makes; a longer chain is a loop in disguise.
constexpr int maxLogicalPartitions = 128;

DiskImageError outsideFile(int number) {
    return DiskImageError::headerParseFailure(
        translate("パーティションがファイルの範囲外です: %1$s", {number}));
}

bool isATFAT(std::uint8_t type) {
    return type == 0x01 || type == 0x04 || type == 0x06 || type == 0x0E;
}

bool isATExtended(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// The 512 bytes of a PC/AT table sector at `offset`, when it carries the signature and
// every status byte is one a table can hold.
std::optional<Bytes> atTableAt(const ImageFileReader& file, std::int64_t offset) {
    if (!file.holds(offset, atSectorSize)) {
        return std::nullopt;
    }
    Bytes sector = file.read(offset, atSectorSize);
    if (sector[510] != 0x55 || sector[511] != 0xAA) {
        return std::nullopt;
    }
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t status = sector[atEntries + 16 * i];
        if (status != 0x00 && status != 0x80) {
            return std::nullopt;
        }
    }
    return sector;
}

struct ATEntry {
    std::uint8_t type;
    std::int64_t first; // sectors
    std::int64_t count;
};

ATEntry atEntry(ByteView table, int index) {
    const std::size_t at = static_cast<std::size_t>(atEntries + 16 * index);
    return {table[at + 4], readU32LE(table, at + 8), readU32LE(table, at + 12)};
}

class Collector {
  public:
    Collector(std::int64_t fileSize, std::int64_t diskOffset)
        : fileSize_(fileSize), diskOffset_(diskOffset) {}

    void add(PartitionScheme scheme, std::uint8_t type, std::int64_t start, std::int64_t size,
             std::string name = {}) {
        const int number = static_cast<int>(found_.size()) + 1;
        if (size <= 0 || !rangeFits(diskOffset_ + start, size, fileSize_)) {
            throw outsideFile(number);
        }
        for (const PartitionInfo& other : found_) {
            if (start + diskOffset_ < other.offset + other.size &&
                other.offset < start + diskOffset_ + size) {
                throw DiskImageError::headerParseFailure(translate(
                    "パーティションが重なっています: %1$s, %2$s", {other.number, number}));
            }
        }
        found_.push_back({number, scheme, type, diskOffset_ + start, size, std::move(name)});
    }
    std::vector<PartitionInfo> take() { return std::move(found_); }

  private:
    std::int64_t fileSize_;
    std::int64_t diskOffset_;
    std::vector<PartitionInfo> found_;
};

void readLogicalPartitions(const ImageFileReader& file, std::int64_t diskOffset,
                           std::int64_t extendedStart, Collector& out) {
    std::set<std::int64_t> visited;
    std::int64_t record = extendedStart;
    for (int step = 0;; ++step) {
        if (!visited.insert(record).second || step >= maxLogicalPartitions) {
            throw DiskImageError::headerParseFailure(
                translate("拡張パーティションのチェーンが循環しています"));
        }
        const auto table = atTableAt(file, diskOffset + record * atSectorSize);
        if (!table) {
            throw DiskImageError::headerParseFailure(
                translate("拡張パーティションの管理セクタを読み取れません"));
        }
        const ATEntry logical = atEntry(*table, 0);
        if (isATFAT(logical.type)) {
            out.add(PartitionScheme::pcAT, logical.type, (record + logical.first) * atSectorSize,
                    logical.count * atSectorSize);
        }
        const ATEntry next = atEntry(*table, 1);
        if (!isATExtended(next.type) || next.first == 0) {
            return;
        }
        record = extendedStart + next.first;
    }
}

std::optional<std::vector<PartitionInfo>> readAT(const ImageFileReader& file,
                                                 std::int64_t diskOffset) {
    const auto table = atTableAt(file, diskOffset);
    if (!table) {
        return std::nullopt;
    }
    bool any = false;
    Collector out(file.size(), diskOffset);
    std::vector<std::int64_t> extended;
    for (int i = 0; i < 4; ++i) {
        const ATEntry entry = atEntry(*table, i);
        if (isATFAT(entry.type)) {
            out.add(PartitionScheme::pcAT, entry.type, entry.first * atSectorSize,
                    entry.count * atSectorSize);
            any = true;
        } else if (isATExtended(entry.type)) {
            extended.push_back(entry.first);
            any = true;
        }
    }
    for (const std::int64_t start : extended) {
        readLogicalPartitions(file, diskOffset, start, out);
    }
    if (!any) {
        return std::nullopt;
    }
    return out.take();
}

struct PC98Entry {
    std::uint8_t mid, sid;
    std::int64_t startSector, startHead, startCylinder, endCylinder;
    std::string name;
};

constexpr int pc98EntryCount = 16;

bool isPC98FAT(std::uint8_t sid) {
    const std::uint8_t system = sid & 0x7F;
    return system == 0x01 || system == 0x11 || system == 0x21;
}

std::vector<PC98Entry> pc98Entries(const ImageFileReader& file, std::int64_t tableOffset) {
    std::vector<PC98Entry> entries;
    for (int i = 0; i < pc98EntryCount; ++i) {
        const std::int64_t at = tableOffset + 32 * i;
        if (!file.holds(at, 32)) {
            break;
        }
        const Bytes entry = file.read(at, 32);
        if (entry[0] == 0 || !isPC98FAT(entry[1])) {
            continue;
        }
        std::string name;
        for (std::size_t k = 16; k < 32 && entry[k] >= 0x20 && entry[k] < 0x7F; ++k) {
            name.push_back(static_cast<char>(entry[k]));
        }
        while (!name.empty() && name.back() == ' ') {
            name.pop_back();
        }
        entries.push_back({entry[0], entry[1], entry[8], entry[9], readU16LE(entry, 10),
                           readU16LE(entry, 14), std::move(name)});
    }
    return entries;
}

std::int64_t pc98Start(const PC98Entry& entry, const DiskGeometry& g) {
    return ((entry.startCylinder * g.heads + entry.startHead) * g.sectorsPerTrack +
            entry.startSector) *
           g.bytesPerSector;
}

// Whether the first FAT entry starts with a boot sector under `g`: how a headerless
// file, which states no geometry, tells which one its table was made with.
bool geometryFits(const ImageFileReader& file, std::int64_t diskOffset, const PC98Entry& first,
                  const DiskGeometry& g) {
    const std::int64_t start = diskOffset + pc98Start(first, g);
    return file.holds(start, 24) && BootSectorSearch::isValidBPB(file.readUpTo(start, 512));
}

std::optional<DiskGeometry> pc98Geometry(const ImageFileReader& file, std::int64_t diskOffset,
                                         const PC98Entry& first,
                                         const std::optional<DiskGeometry>& stated) {
    if (stated) {
        return stated;
    }
    static const std::pair<int, int> common[] = {{8, 17}, {4, 17}, {6, 17}, {15, 17}, {16, 17},
                                                 {4, 33}, {8, 33}, {8, 32}, {16, 63}};
    for (const auto& [heads, perTrack] : common) {
        const DiskGeometry g{heads, 0, perTrack, 512};
        if (geometryFits(file, diskOffset, first, g)) {
            return g;
        }
    }
    return std::nullopt;
}

std::optional<Layout> readPC98(const ImageFileReader& file, std::int64_t diskOffset,
                               const std::optional<DiskGeometry>& stated) {
    const std::int64_t sectorSize = stated ? stated->bytesPerSector : 512;
    const std::vector<PC98Entry> entries = pc98Entries(file, diskOffset + sectorSize);
    if (entries.empty()) {
        return std::nullopt;
    }
    const auto geometry = pc98Geometry(file, diskOffset, entries.front(), stated);
    if (!geometry || geometry->heads <= 0 || geometry->sectorsPerTrack <= 0) {
        return std::nullopt;
    }
    const std::int64_t cylinderBytes =
        geometry->heads * geometry->sectorsPerTrack * geometry->bytesPerSector;
    Collector out(file.size(), diskOffset);
    for (const PC98Entry& entry : entries) {
        const std::int64_t start = pc98Start(entry, *geometry);
        const std::int64_t end = (entry.endCylinder + 1) * cylinderBytes;
        out.add(PartitionScheme::pc98, entry.sid, start, end - start, entry.name);
    }
    return Layout{out.take(), geometry};
}

} // namespace

Layout readLayout(const ImageFileReader& file, std::int64_t diskOffset,
                  const std::optional<DiskGeometry>& geometry) {
    if (auto at = readAT(file, diskOffset)) {
        return Layout{std::move(*at), std::nullopt};
    }
    if (auto pc98 = readPC98(file, diskOffset, geometry)) {
        return std::move(*pc98);
    }
    return {};
}

std::vector<PartitionInfo> read(const ImageFileReader& file, std::int64_t diskOffset,
                                const std::optional<DiskGeometry>& geometry) {
    return readLayout(file, diskOffset, geometry).partitions;
}

} // namespace tamberlane::PartitionTable
