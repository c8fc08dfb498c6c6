#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/BIOSParameterBlock.h"
#include "tests/support/TestFiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane::test {

// The boot-sector fields a test volume is made from. The defaults are a 1.44 MB floppy.
struct VolumeParameters {
    std::uint16_t bytesPerSector = 512;
    std::uint8_t sectorsPerCluster = 1;
    std::uint16_t reservedSectors = 1;
    std::uint8_t numberOfFATs = 2;
    std::uint16_t rootEntryCount = 224;
    std::uint16_t totalSectors16 = 2880;
    std::uint8_t mediaDescriptor = 0xF0;
    std::uint16_t sectorsPerFAT = 9;
    // Byte 0 of the boot sector; 0xEB is a short jump, anything else "no jump".
    std::uint8_t firstByte = 0xEB;
    // FAT width written; by default chosen from the cluster count (4084 or fewer: FAT12).
    std::optional<FATType> fatType;
    // Size of the volume buffer; by default totalSectors16 × bytesPerSector. Smaller
    // values make a truncated volume (writes past the end are dropped).
    std::optional<std::int64_t> volumeBytes;

    static VolumeParameters floppy144(); // 2880 × 512, 224 root entries, 9-sector FATs
    static VolumeParameters floppy2HD(); // 1232 × 1024, 192 root entries, 2-sector FATs
    static VolumeParameters floppy640(); // 1280 × 512, 112 root entries, 2 sectors/cluster
    // A volume of `clusters` one-sector clusters, 1 reserved sector, 2 FATs large enough
    // for FAT16 and 512 root entries; FAT12 at 4084 clusters or fewer.
    static VolumeParameters withClusters(std::int64_t clusters, std::uint16_t bytesPerSector = 512);
};

// States a FAT12/FAT16 volume byte by byte in test code: boot sector, FAT entries
// (written into every FAT copy), root and subdirectory slots, long-name slots with
// their checksum, deleted entries and raw 32-byte slots. It is independent of the
// engine so that tests do not check the engine against itself.
//
//   VolumeBuilder v;                                  // 1.44 MB
//   auto docs = v.addDirectory(v.root(), name83("DOCS"));
//   v.addFile(docs, name83("README.TXT"), bytesOf("hello"), u"Read me first.txt");
//   writeFile(dir / "disk.img", v.build());
class VolumeBuilder {
  public:
    // A directory being filled: the root, or a subdirectory made by addDirectory.
    struct Dir {
        int index = 0;
    };

    explicit VolumeBuilder(VolumeParameters parameters = VolumeParameters::floppy144());

    std::int64_t bytesPerCluster() const;
    // Byte offset of the root directory and of a cluster inside the volume.
    std::int64_t rootDirectoryOffset() const;
    std::int64_t clusterOffset(std::uint16_t cluster) const;

    Dir root() const { return Dir{0}; }

    // A file with `content`, stored in the lowest free clusters (none when empty).
    // `longName` adds long-name slots in front of the 8.3 entry. Returns the chain.
    std::vector<std::uint16_t> addFile(Dir parent, ByteView rawName11, ByteView content,
                                       std::optional<std::u16string> longName = std::nullopt,
                                       std::uint8_t attributes = 0x20);
    // A subdirectory of one cluster holding "." and "..".
    Dir addDirectory(Dir parent, ByteView rawName11,
                     std::optional<std::u16string> longName = std::nullopt);
    // A slot exactly as given, at the next free position of `parent`.
    void addSlot(Dir parent, ByteView slot32);
    // Writes `slot32` at slot `index` of `parent` (root: index < rootEntryCount).
    void setSlot(Dir parent, std::int64_t index, ByteView slot32);
    std::uint16_t firstCluster(Dir dir) const;

    // FAT access; entries 0 and 1 hold the media descriptor and an end mark.
    void setFAT(std::uint16_t cluster, std::uint16_t value);
    std::uint16_t fat(std::uint16_t cluster) const;
    void writeCluster(std::uint16_t cluster, ByteView bytes);
    // Overwrites bytes of the volume (boot sector fields, garbage, ...).
    void patch(std::int64_t offset, ByteView bytes);

    struct BuildOptions {
        // Bytes put in front of the volume (a container header, say).
        std::int64_t dataOffset = 0;
        // Final file size: the result is cut or padded with zeros to it.
        std::optional<std::int64_t> fileSize;
    };
    Bytes build() const { return build(BuildOptions{}); }
    Bytes build(const BuildOptions& options) const;

    // 32-byte 8.3 entry. Date 0x5A21 / time 0x6000 is 2025-01-01 12:00 Japan time.
    static Bytes shortEntry(ByteView rawName11, std::uint8_t attributes, std::uint16_t startCluster,
                            std::uint32_t size, std::uint16_t date = 0x5A21,
                            std::uint16_t time = 0x6000);
    // The long-name slots of `name` for the entry `rawName11`, in on-disk order
    // (highest sequence first, flagged 0x40), with the correct checksum.
    static std::vector<Bytes> longNameSlots(const std::u16string& name, ByteView rawName11);
    // One long-name slot with the given sequence byte, checksum and 13 units.
    static Bytes longNameSlot(std::uint8_t sequenceByte, std::uint8_t checksum,
                              const std::u16string& units13);

  private:
    std::uint16_t endOfChain() const { return fatType_ == FATType::fat12 ? 0xFFF : 0xFFFF; }
    // The lowest free clusters, linked in ascending order, last one ending the chain.
    std::vector<std::uint16_t> allocate(std::int64_t count);
    std::int64_t firstDataSector() const;
    static std::uint8_t checksum(ByteView rawName11);
    struct Directory {
        std::vector<std::uint16_t> clusters; // empty for the root
        std::int64_t nextSlot = 0;
    };
    std::int64_t slotOffset(const Directory& dir, std::int64_t index);
    void writeEntryWithName(Dir parent, ByteView rawName11,
                            const std::optional<std::u16string>& longName, std::uint8_t attributes,
                            std::uint16_t start, std::uint32_t size);
    void writeFATCopies(Bytes& volume) const;

    VolumeParameters parameters_;
    FATType fatType_;
    std::vector<std::uint16_t> fat_;
    std::vector<Directory> directories_;
    Bytes volume_;
};

// "README.TXT" → the 11 bytes "README  TXT" (UTF-8 text converted to Shift-JIS, not
// upper-cased, each part padded with spaces; a part that is too long is cut).
Bytes name83(const std::string& displayName);

} // namespace tamberlane::test
