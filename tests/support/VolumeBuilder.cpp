#include "tests/support/VolumeBuilder.h"

#include "engine/base/ShiftJISConverter.h"

#include <algorithm>
#include <stdexcept>

namespace tamberlane::test {

namespace {

std::int64_t clustersOf(const VolumeParameters& p) {
    const std::int64_t rootSectors =
        (static_cast<std::int64_t>(p.rootEntryCount) * 32 + p.bytesPerSector - 1) /
        p.bytesPerSector;
    const std::int64_t dataSectors =
        static_cast<std::int64_t>(p.totalSectors16) - p.reservedSectors -
        static_cast<std::int64_t>(p.numberOfFATs) * p.sectorsPerFAT - rootSectors;
    return std::max<std::int64_t>(0, dataSectors / std::max<std::int64_t>(1, p.sectorsPerCluster));
}

void put16(Bytes& out, std::size_t offset, std::uint16_t value) {
    out[offset] = static_cast<std::uint8_t>(value & 0xFF);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

VolumeParameters VolumeParameters::floppy144() {
    return VolumeParameters{};
}

VolumeParameters VolumeParameters::floppy2HD() {
    VolumeParameters p;
    p.bytesPerSector = 1024;
    p.rootEntryCount = 192;
    p.totalSectors16 = 1232;
    p.mediaDescriptor = 0xFE;
    p.sectorsPerFAT = 2;
    return p;
}

VolumeParameters VolumeParameters::floppy640() {
    VolumeParameters p;
    p.sectorsPerCluster = 2;
    p.rootEntryCount = 112;
    p.totalSectors16 = 1280;
    p.mediaDescriptor = 0xFB;
    p.sectorsPerFAT = 2;
    return p;
}

VolumeParameters VolumeParameters::withClusters(std::int64_t clusters,
                                                std::uint16_t bytesPerSector) {
    VolumeParameters p;
    p.bytesPerSector = bytesPerSector;
    p.rootEntryCount = 512;
    p.mediaDescriptor = 0xF8;
    // Enough FAT sectors for a FAT16 table of this size (FAT12 needs fewer).
    p.sectorsPerFAT =
        static_cast<std::uint16_t>(((clusters + 2) * 2 + bytesPerSector - 1) / bytesPerSector);
    const std::int64_t rootSectors = 512 * 32 / bytesPerSector;
    const std::int64_t total =
        1 + 2 * static_cast<std::int64_t>(p.sectorsPerFAT) + rootSectors + clusters;
    if (total > 0xFFFF) {
        throw std::invalid_argument("too many clusters for a 16-bit sector count");
    }
    p.totalSectors16 = static_cast<std::uint16_t>(total);
    return p;
}

VolumeBuilder::VolumeBuilder(VolumeParameters parameters) : parameters_(parameters) {
    const std::int64_t clusters = clustersOf(parameters_);
    fatType_ = parameters_.fatType.value_or(clusters <= 4084 ? FATType::fat12 : FATType::fat16);
    fat_.assign(static_cast<std::size_t>(clusters + 2), 0);
    fat_[0] = static_cast<std::uint16_t>((fatType_ == FATType::fat12 ? 0xF00 : 0xFF00) |
                                         parameters_.mediaDescriptor);
    fat_[1] = endOfChain();
    directories_.push_back(Directory{});

    const std::int64_t size = parameters_.volumeBytes.value_or(
        static_cast<std::int64_t>(parameters_.totalSectors16) * parameters_.bytesPerSector);
    volume_.assign(static_cast<std::size_t>(size), 0);
    Bytes boot(std::max<std::size_t>(parameters_.bytesPerSector, 64), 0);
    boot[0] = parameters_.firstByte;
    boot[1] = 0x3C;
    boot[2] = 0x90;
    const std::string oem = "TAMBTEST";
    std::copy(oem.begin(), oem.end(), boot.begin() + 3);
    put16(boot, 11, parameters_.bytesPerSector);
    boot[13] = parameters_.sectorsPerCluster;
    put16(boot, 14, parameters_.reservedSectors);
    boot[16] = parameters_.numberOfFATs;
    put16(boot, 17, parameters_.rootEntryCount);
    put16(boot, 19, parameters_.totalSectors16);
    boot[21] = parameters_.mediaDescriptor;
    put16(boot, 22, parameters_.sectorsPerFAT);
    if (boot.size() >= 512) {
        boot[510] = 0x55;
        boot[511] = 0xAA;
    }
    boot.resize(parameters_.bytesPerSector);
    patch(0, boot);
}

std::int64_t VolumeBuilder::bytesPerCluster() const {
    return static_cast<std::int64_t>(parameters_.sectorsPerCluster) * parameters_.bytesPerSector;
}

std::int64_t VolumeBuilder::firstDataSector() const {
    const std::int64_t rootSectors = (static_cast<std::int64_t>(parameters_.rootEntryCount) * 32 +
                                      parameters_.bytesPerSector - 1) /
                                     parameters_.bytesPerSector;
    return parameters_.reservedSectors +
           static_cast<std::int64_t>(parameters_.numberOfFATs) * parameters_.sectorsPerFAT +
           rootSectors;
}

std::int64_t VolumeBuilder::rootDirectoryOffset() const {
    return (parameters_.reservedSectors +
            static_cast<std::int64_t>(parameters_.numberOfFATs) * parameters_.sectorsPerFAT) *
           parameters_.bytesPerSector;
}

std::int64_t VolumeBuilder::clusterOffset(std::uint16_t cluster) const {
    return (firstDataSector() +
            (static_cast<std::int64_t>(cluster) - 2) * parameters_.sectorsPerCluster) *
           parameters_.bytesPerSector;
}

void VolumeBuilder::patch(std::int64_t offset, ByteView bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::int64_t at = offset + static_cast<std::int64_t>(i);
        if (at >= 0 && at < static_cast<std::int64_t>(volume_.size())) {
            volume_[static_cast<std::size_t>(at)] = bytes[i];
        }
    }
}

void VolumeBuilder::setFAT(std::uint16_t cluster, std::uint16_t value) {
    if (cluster >= fat_.size()) {
        throw std::out_of_range("FAT entry outside the table");
    }
    fat_[cluster] = value;
}

std::uint16_t VolumeBuilder::fat(std::uint16_t cluster) const {
    return fat_.at(cluster);
}

std::vector<std::uint16_t> VolumeBuilder::allocate(std::int64_t count) {
    std::vector<std::uint16_t> found;
    for (std::size_t c = 2; c < fat_.size() && static_cast<std::int64_t>(found.size()) < count;
         ++c) {
        if (fat_[c] == 0) {
            found.push_back(static_cast<std::uint16_t>(c));
        }
    }
    if (static_cast<std::int64_t>(found.size()) < count) {
        throw std::runtime_error("test volume is full");
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        fat_[found[i]] = i + 1 < found.size() ? found[i + 1] : endOfChain();
    }
    return found;
}

void VolumeBuilder::writeCluster(std::uint16_t cluster, ByteView bytes) {
    patch(clusterOffset(cluster), bytes.first(std::min<std::size_t>(
                                      bytes.size(), static_cast<std::size_t>(bytesPerCluster()))));
}

std::int64_t VolumeBuilder::slotOffset(const Directory& dir, std::int64_t index) {
    if (dir.clusters.empty()) {
        if (index >= parameters_.rootEntryCount) {
            throw std::runtime_error("test root directory is full");
        }
        return rootDirectoryOffset() + index * 32;
    }
    const std::int64_t perCluster = bytesPerCluster() / 32;
    const auto which = static_cast<std::size_t>(index / perCluster);
    if (which >= dir.clusters.size()) {
        throw std::out_of_range("slot beyond the directory's clusters");
    }
    return clusterOffset(dir.clusters[which]) + (index % perCluster) * 32;
}

void VolumeBuilder::setSlot(Dir parent, std::int64_t index, ByteView slot32) {
    patch(slotOffset(directories_.at(static_cast<std::size_t>(parent.index)), index),
          slot32.first(32));
}

void VolumeBuilder::addSlot(Dir parent, ByteView slot32) {
    Directory& dir = directories_.at(static_cast<std::size_t>(parent.index));
    const std::int64_t perCluster = bytesPerCluster() / 32;
    if (!dir.clusters.empty() &&
        dir.nextSlot >= perCluster * static_cast<std::int64_t>(dir.clusters.size())) {
        // A full subdirectory grows by one cluster, as a real one would.
        const std::uint16_t added = allocate(1).front();
        fat_[dir.clusters.back()] = added;
        writeCluster(added, Bytes(static_cast<std::size_t>(bytesPerCluster()), 0));
        dir.clusters.push_back(added);
    }
    setSlot(parent, dir.nextSlot, slot32);
    ++dir.nextSlot;
}

std::uint16_t VolumeBuilder::firstCluster(Dir dir) const {
    const Directory& d = directories_.at(static_cast<std::size_t>(dir.index));
    return d.clusters.empty() ? 0 : d.clusters.front();
}

void VolumeBuilder::writeEntryWithName(Dir parent, ByteView rawName11,
                                       const std::optional<std::u16string>& longName,
                                       std::uint8_t attributes, std::uint16_t start,
                                       std::uint32_t size) {
    if (longName) {
        for (const Bytes& slot : longNameSlots(*longName, rawName11)) {
            addSlot(parent, slot);
        }
    }
    addSlot(parent, shortEntry(rawName11, attributes, start, size));
}

std::vector<std::uint16_t> VolumeBuilder::addFile(Dir parent, ByteView rawName11, ByteView content,
                                                  std::optional<std::u16string> longName,
                                                  std::uint8_t attributes) {
    const std::int64_t clusterBytes = bytesPerCluster();
    const std::int64_t count =
        (static_cast<std::int64_t>(content.size()) + clusterBytes - 1) / clusterBytes;
    const std::vector<std::uint16_t> chain = allocate(count);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::size_t from = i * static_cast<std::size_t>(clusterBytes);
        writeCluster(chain[i], content.subspan(from, std::min<std::size_t>(
                                                         content.size() - from,
                                                         static_cast<std::size_t>(clusterBytes))));
    }
    writeEntryWithName(parent, rawName11, longName, attributes, chain.empty() ? 0 : chain.front(),
                       static_cast<std::uint32_t>(content.size()));
    return chain;
}

VolumeBuilder::Dir VolumeBuilder::addDirectory(Dir parent, ByteView rawName11,
                                               std::optional<std::u16string> longName) {
    const std::uint16_t cluster = allocate(1).front();
    writeCluster(cluster, Bytes(static_cast<std::size_t>(bytesPerCluster()), 0));
    const std::uint16_t parentCluster = firstCluster(parent);
    writeEntryWithName(parent, rawName11, longName, 0x10, cluster, 0);
    directories_.push_back(Directory{{cluster}, 0});
    const Dir dir{static_cast<int>(directories_.size() - 1)};
    addSlot(dir, shortEntry(bytesOf(".          "), 0x10, cluster, 0));
    addSlot(dir, shortEntry(bytesOf("..         "), 0x10, parentCluster, 0));
    return dir;
}

void VolumeBuilder::writeFATCopies(Bytes& volume) const {
    const std::size_t n = fat_.size();
    Bytes table;
    if (fatType_ == FATType::fat12) {
        table.assign((n * 3 + 1) / 2, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t o = i * 3 / 2;
            const std::uint16_t e = fat_[i] & 0xFFF;
            if (i % 2 == 0) {
                table[o] = static_cast<std::uint8_t>(e & 0xFF);
                table[o + 1] = static_cast<std::uint8_t>((table[o + 1] & 0xF0) | (e >> 8));
            } else {
                table[o] = static_cast<std::uint8_t>((table[o] & 0x0F) | ((e & 0x0F) << 4));
                table[o + 1] = static_cast<std::uint8_t>(e >> 4);
            }
        }
    } else {
        table.assign(n * 2, 0);
        for (std::size_t i = 0; i < n; ++i) {
            put16(table, i * 2, fat_[i]);
        }
    }
    const std::int64_t fatBytes =
        static_cast<std::int64_t>(parameters_.sectorsPerFAT) * parameters_.bytesPerSector;
    table.resize(static_cast<std::size_t>(
        std::min<std::int64_t>(fatBytes, static_cast<std::int64_t>(table.size()))));
    for (std::int64_t copy = 0; copy < parameters_.numberOfFATs; ++copy) {
        const std::int64_t start =
            static_cast<std::int64_t>(parameters_.reservedSectors) * parameters_.bytesPerSector +
            copy * fatBytes;
        for (std::size_t i = 0; i < table.size(); ++i) {
            const std::int64_t at = start + static_cast<std::int64_t>(i);
            if (at < static_cast<std::int64_t>(volume.size())) {
                volume[static_cast<std::size_t>(at)] = table[i];
            }
        }
    }
}

Bytes VolumeBuilder::build(const BuildOptions& options) const {
    Bytes volume = volume_;
    writeFATCopies(volume);
    Bytes out(static_cast<std::size_t>(options.dataOffset), 0);
    out.insert(out.end(), volume.begin(), volume.end());
    if (options.fileSize) {
        out.resize(static_cast<std::size_t>(*options.fileSize), 0);
    }
    return out;
}

Bytes VolumeBuilder::shortEntry(ByteView rawName11, std::uint8_t attributes,
                                std::uint16_t startCluster, std::uint32_t size, std::uint16_t date,
                                std::uint16_t time) {
    Bytes slot(32, 0);
    std::copy_n(rawName11.begin(), std::min<std::size_t>(11, rawName11.size()), slot.begin());
    slot[11] = attributes;
    put16(slot, 22, time);
    put16(slot, 24, date);
    put16(slot, 26, startCluster);
    put16(slot, 28, static_cast<std::uint16_t>(size & 0xFFFF));
    put16(slot, 30, static_cast<std::uint16_t>(size >> 16));
    return slot;
}

std::uint8_t VolumeBuilder::checksum(ByteView rawName11) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 11; ++i) {
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + rawName11[i]);
    }
    return sum;
}

Bytes VolumeBuilder::longNameSlot(std::uint8_t sequenceByte, std::uint8_t checksum,
                                  const std::u16string& units13) {
    static constexpr std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    Bytes slot(32, 0);
    slot[0] = sequenceByte;
    slot[11] = 0x0F;
    slot[13] = checksum;
    for (std::size_t i = 0; i < 13; ++i) {
        put16(slot, offsets[i],
              i < units13.size() ? static_cast<std::uint16_t>(units13[i]) : 0xFFFF);
    }
    return slot;
}

std::vector<Bytes> VolumeBuilder::longNameSlots(const std::u16string& name, ByteView rawName11) {
    std::u16string units = name;
    if (units.size() % 13 != 0) {
        units.push_back(u'\0');
        while (units.size() % 13 != 0) {
            units.push_back(static_cast<char16_t>(0xFFFF));
        }
    }
    const std::size_t count = units.size() / 13;
    const std::uint8_t sum = checksum(rawName11);
    std::vector<Bytes> slots;
    for (std::size_t seq = count; seq >= 1; --seq) {
        const auto sequenceByte = static_cast<std::uint8_t>(seq | (seq == count ? 0x40 : 0));
        slots.push_back(longNameSlot(sequenceByte, sum, units.substr((seq - 1) * 13, 13)));
    }
    return slots;
}

Bytes name83(const std::string& displayName) {
    const auto dot = displayName.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const Bytes name =
        ShiftJISConverter::toShiftJIS(hasExtension ? displayName.substr(0, dot) : displayName);
    const Bytes ext =
        hasExtension ? ShiftJISConverter::toShiftJIS(displayName.substr(dot + 1)) : Bytes{};
    Bytes out(11, 0x20);
    std::copy_n(name.begin(), std::min<std::size_t>(8, name.size()), out.begin());
    std::copy_n(ext.begin(), std::min<std::size_t>(3, ext.size()), out.begin() + 8);
    return out;
}

} // namespace tamberlane::test
