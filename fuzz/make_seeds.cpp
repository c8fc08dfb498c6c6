// Writes the seed corpora of the fuzz targets into one folder per target. Every seed is a
// tiny volume of a few KiB (a handful of sectors, a one-sector FAT, a root of 16 entries)
// holding long and Japanese names, a subdirectory tree and a deleted file, made by the
// engine's own file operations, then put in every container and partition table the
// engine reads. Small inputs are what lets a sanitized parser run thousands of times a
// second; a whole floppy per input runs a few dozen. Each seed is opened with the engine
// before it is written, so none is refused at the first byte. Nothing binary is kept in
// the repository.
//
//   make_seeds OUTPUT_DIR

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/LFNParser.h"
#include "engine/fat/PathResolver.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/DCPFormat.h"
#include "engine/image/formats/DIMFormat.h"
#include "engine/image/formats/FDIFormat.h"
#include "engine/image/formats/FormatTable.h"
#include "engine/image/formats/HDIFormat.h"
#include "engine/image/formats/NHDFormat.h"
#include "engine/operations/ContentEdit.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <unistd.h>

using namespace tamberlane;
namespace fs = std::filesystem;

namespace {

class SeedWriter {
  public:
    explicit SeedWriter(fs::path root) : root_(std::move(root)) {}

    void add(const std::string& target, const std::string& name, ByteView prefix, ByteView bytes) {
        fs::create_directories(root_ / target);
        std::ofstream out(root_ / target / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(prefix.data()), std::streamsize(prefix.size()));
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        ++count_;
    }
    int count() const { return count_; }

  private:
    fs::path root_;
    int count_ = 0;
};

std::uint8_t extensionIndex(const std::string& extension) {
    const std::vector<std::string> all = allImageExtensions();
    const auto found = std::find(all.begin(), all.end(), extension);
    if (found == all.end()) {
        throw std::runtime_error("no container answers to ." + extension);
    }
    return static_cast<std::uint8_t>(found - all.begin());
}

// How the containers target picks the reader of `extension` and tells it that extension;
// without one, detection by content.
std::uint8_t containerChoice(const std::string& extension) {
    const std::vector<FormatRegistration>& table = formatTable();
    for (std::size_t row = 0; row < table.size(); ++row) {
        const std::vector<std::string>& extensions = table[row].extensions;
        const auto found = std::find(extensions.begin(), extensions.end(), extension);
        if (found != extensions.end()) {
            return static_cast<std::uint8_t>(row + std::size_t(found - extensions.begin()) *
                                                       (table.size() + 1));
        }
    }
    return static_cast<std::uint8_t>(table.size());
}

// How the open-image target picks a disk of a D88 file or a partition: 0 is the first,
// n + 1 the n-th (disk in the low nibble, partition in the high one).
struct VolumePick {
    int disk = 0;
    int partition = 0;
    std::uint8_t byte() const {
        return static_cast<std::uint8_t>((partition + 1) << 4 | (disk + 1));
    }
};

// The seed opens as the open-image target opens it and holds the tree it was made with:
// a seed the parser refuses teaches the fuzzer nothing past the first check, and one
// that lost its subdirectory never reaches the directory walk.
void requireOpens(const std::string& name, const std::string& extension, ByteView file,
                  VolumePick pick) {
    try {
        const auto image = DiskImageService::parseImage("seed." + extension,
                                                        PagedBytes(Bytes(file.begin(), file.end())),
                                                        true, {pick.disk, pick.partition});
        const PathResolver paths(*image);
        const std::vector<FileEntry> root = paths.list(DiskPath::root());
        const auto sub = std::find_if(root.begin(), root.end(), [](const FileEntry& entry) {
            return entry.directoryEntry.isDirectory();
        });
        if (root.size() < 3 || sub == root.end() || paths.list(sub->path).size() < 2) {
            throw std::runtime_error("seed " + name + " opens without its files and folders");
        }
    } catch (const DiskImageError& error) {
        throw std::runtime_error("seed " + name + " does not open: " + error.what());
    }
}

// A table seed whose table the engine reads, rather than one opened by the search.
void requirePartition(const std::string& name, const std::string& extension, ByteView file) {
    if (DiskImageService::partitionsIn("seed." + extension, file).empty()) {
        throw std::runtime_error("seed " + name + " lists no partition");
    }
}

// The geometry the partition target reads a table with (heads, cylinders / 4, sectors
// per track, the sector size as 256 << n), and the boot-sector search's sector size as
// 128 << n.
struct TableGeometry {
    std::uint8_t heads = 8;
    std::uint8_t quarterCylinders = 38;
    std::uint8_t sectorsPerTrack = 17;
    std::uint8_t sizeCode = 1;
    std::uint8_t searchSizeCode = 2;
};

// A container file as each image target reads it.
void addContainerSeeds(SeedWriter& seeds, const std::string& name, const std::string& extension,
                       ByteView file, VolumePick pick = {}, TableGeometry table = {}) {
    requireOpens(name, extension, file, pick);
    const std::uint8_t ext = extensionIndex(extension);
    const std::uint8_t reader[] = {containerChoice(extension)};
    seeds.add("containers", name, reader, file);
    const std::uint8_t detection[] = {containerChoice({})};
    seeds.add("containers", name + ".detected", detection, file);
    const std::uint8_t search[] = {table.searchSizeCode, 0, 255};
    seeds.add("boot_sector_search", name, search, file);
    const std::uint8_t geometry[] = {table.heads, table.quarterCylinders, table.sectorsPerTrack,
                                     table.sizeCode, ext};
    seeds.add("partitions", name, geometry, file);
    const std::uint8_t open[] = {ext, pick.byte()};
    seeds.add("open_image", name, open, file);
    // The check and the repair read what an open gives them, the same input.
    seeds.add("check", name, open, file);
    seeds.add("repair", name, open, file);
}

// The volume's own structures, as the parser targets read them.
void addVolumeSeeds(SeedWriter& seeds, const std::string& name, const DiskImage& image) {
    seeds.add("bpb", name, {}, image.readSector(0));
    const std::uint8_t fat16[] = {image.layout().fatType == FATType::fat16 ? std::uint8_t{1}
                                                                           : std::uint8_t{0}};
    // The FAT target takes the table's length from its input; the first 1 KiB holds every
    // chain of these volumes, and the 8 KiB that make a FAT16 volume only slow each run.
    const Bytes fat = image.fatTable().serialize();
    seeds.add("fat", name, fat16, ByteView(fat).first(std::min<std::size_t>(fat.size(), 1024)));
    Bytes root;
    for (std::int64_t i = 0; i < image.addressing().rootDirectorySectors(); ++i) {
        const Bytes sector = image.readSector(image.addressing().rootDirectoryStartSector() + i);
        root.insert(root.end(), sector.begin(), sector.end());
    }
    seeds.add("directory", name + ".root", {}, root);
    for (const DirectoryEntry& entry : DirectoryReader::readRootDirectory(image)) {
        if (entry.isDirectory()) {
            seeds.add("directory", name + ".sub", {}, image.readCluster(entry.startCluster));
        }
    }
}

// The smallest volumes that still have every structure: one reserved sector, two FATs,
// a root of 16 entries, one sector a cluster. The FAT16 one needs 4085 clusters to be
// FAT16 at all; its file is cut after the last cluster in use, which the containers
// with a header read as a volume running past the file's end with nothing there.
struct VolumeShape {
    std::string name;
    std::int64_t bytesPerSector;
    std::int64_t totalSectors;
    std::int64_t sectorsPerFAT;
    std::int64_t heads;
    std::int64_t sectorsPerTrack;
    std::uint8_t media;
    const char* fileSystem;
};

const VolumeShape fat12Shape{"fat12", 512, 16, 1, 2, 8, 0xF9, "FAT12   "};
// The sector size of 2D floppies and of the PC-98 hard disks with 33 sectors a track.
const VolumeShape fat12Sector256Shape{"fat12-256", 256, 32, 1, 2, 16, 0xFE, "FAT12   "};
// For D88: opening one rebuilds the volume of at least 40 cylinders its disk type
// names; with these sectors that stays small enough for the sanitizer's pooled memory.
const VolumeShape fat12Sector128Shape{"fat12-128", 128, 64, 1, 2, 8, 0xFE, "FAT12   "};
const VolumeShape fat16Shape{"fat16", 512, 4136, 17, 2, 8, 0xF8, "FAT16   "};

constexpr std::int64_t rootEntries = 16;

Bytes formattedVolume(const VolumeShape& shape) {
    const auto bps = static_cast<std::size_t>(shape.bytesPerSector);
    Bytes volume(bps * static_cast<std::size_t>(shape.totalSectors), 0);
    const std::uint8_t jump[] = {0xEB, 0x3C, 0x90};
    std::copy(std::begin(jump), std::end(jump), volume.begin());
    std::memcpy(volume.data() + 3, "TAMBSEED", 8);
    writeU16LE(volume, 11, static_cast<std::uint16_t>(shape.bytesPerSector));
    volume[13] = 1;
    writeU16LE(volume, 14, 1);
    volume[16] = 2;
    writeU16LE(volume, 17, static_cast<std::uint16_t>(rootEntries));
    writeU16LE(volume, 19, static_cast<std::uint16_t>(shape.totalSectors));
    volume[21] = shape.media;
    writeU16LE(volume, 22, static_cast<std::uint16_t>(shape.sectorsPerFAT));
    writeU16LE(volume, 24, static_cast<std::uint16_t>(shape.sectorsPerTrack));
    writeU16LE(volume, 26, static_cast<std::uint16_t>(shape.heads));
    volume[38] = 0x29;
    std::memcpy(volume.data() + 43, "NO NAME    ", 11);
    std::memcpy(volume.data() + 54, shape.fileSystem, 8);
    if (bps >= 512) {
        volume[510] = 0x55;
        volume[511] = 0xAA;
    }
    const bool fat16 = std::string(shape.fileSystem) == "FAT16   ";
    for (std::int64_t copy = 0; copy < 2; ++copy) {
        const std::size_t fat = bps * static_cast<std::size_t>(1 + copy * shape.sectorsPerFAT);
        volume[fat] = shape.media;
        std::fill_n(volume.begin() + std::ptrdiff_t(fat) + 1, fat16 ? 3 : 2, 0xFF);
    }
    return volume;
}

void writeHostFile(const fs::path& path, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) {
        out.put(static_cast<char>('A' + i % 26));
    }
}

FileEntry entryNamed(const DiskImage& image, const std::string& name) {
    if (std::optional<FileEntry> found = PathResolver(image).entry(DiskPath::fromString(name))) {
        return *found;
    }
    throw std::runtime_error("no entry " + name);
}

// The engine writes short names only; a long name as other systems write it goes in
// front of the first slot of the root directory, the slots after it moving along,
// through raw sector writes.
void addLongName(const std::shared_ptr<DiskImage>& opened, const std::string& asciiName) {
    const DiskImage& image = *opened;
    const std::int64_t first = image.addressing().rootDirectoryStartSector();
    const std::int64_t sectors = image.addressing().rootDirectorySectors();
    Bytes root;
    for (std::int64_t i = 0; i < sectors; ++i) {
        const Bytes sector = image.readSector(first + i);
        root.insert(root.end(), sector.begin(), sector.end());
    }
    const std::uint8_t checksum = LFNParser::calculateChecksum(ByteView(root).first(11));
    std::vector<std::uint16_t> units(asciiName.begin(), asciiName.end());
    units.push_back(0);
    const std::size_t slotCount = (units.size() + 12) / 13;
    units.resize(slotCount * 13, 0xFFFF);
    constexpr std::size_t charOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    Bytes slots;
    for (std::size_t n = slotCount; n >= 1; --n) {
        Bytes slot(32, 0);
        slot[0] = static_cast<std::uint8_t>(n | (n == slotCount ? 0x40 : 0));
        slot[11] = 0x0F;
        slot[13] = checksum;
        for (std::size_t i = 0; i < 13; ++i) {
            writeU16LE(slot, charOffsets[i], units[(n - 1) * 13 + i]);
        }
        slots.insert(slots.end(), slot.begin(), slot.end());
    }
    const auto kept = root.end() - std::ptrdiff_t(slots.size());
    if (std::any_of(kept, root.end(), [](std::uint8_t byte) { return byte != 0; })) {
        throw std::runtime_error("no room in the root for the long name " + asciiName);
    }
    slots.insert(slots.end(), root.begin(), kept);
    const std::size_t sectorSize = root.size() / static_cast<std::size_t>(sectors);
    for (std::int64_t i = 0; i < sectors; ++i) {
        const auto from = slots.begin() + std::ptrdiff_t(static_cast<std::size_t>(i) * sectorSize);
        ContentEdit(opened).writeRawSector(first + i,
                                           Bytes(from, from + std::ptrdiff_t(sectorSize)));
    }
}

Bytes readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeWhole(const fs::path& path, ByteView bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Long names, a Japanese name, a tree two levels deep, a file of several clusters and a
// deleted one, each made the way the application makes them, in a headerless file.
void fillVolume(const fs::path& imagePath, const fs::path& hostDir) {
    DiskImageService service;
    const std::shared_ptr<DiskImage> image = service.open(imagePath);
    const fs::path longName = hostDir / "A long file name.txt";
    const fs::path japanese = hostDir / "日本語の名前.txt";
    const fs::path nested = hostDir / "nested file with a long name.dat";
    const fs::path doomed = hostDir / "deleted later.txt";
    writeHostFile(longName, 100);
    writeHostFile(japanese, 300);
    writeHostFile(nested, 600);
    writeHostFile(doomed, 200);
    FileImport(image).importFiles({longName, japanese, doomed}, DiskPath::root(), false);
    EntryRename(image).createDirectory("Long Directory Name", DiskPath::root());
    // Listed under whatever name the volume gave it.
    DiskPath sub;
    for (const FileEntry& entry : service.listDirectory(DiskPath::root())) {
        if (entry.directoryEntry.isDirectory()) {
            sub = entry.path;
        }
    }
    FileImport(image).importFile(nested, sub, false);
    EntryRename(image).createDirectory("DEEP", sub);
    EntryDeletion(image).deleteEntry(entryNamed(*image, "DELETED_.TXT"), false);
    addLongName(image, "A long file name.txt");
}

struct TinyVolume {
    std::string name;
    // As far as anything was written: the whole volume, or for FAT16 up to the end of
    // its last cluster in use.
    Bytes bytes;
    bool whole = true;
};

TinyVolume makeVolume(SeedWriter& seeds, const VolumeShape& shape, const fs::path& work) {
    const fs::path path = work / (shape.name + ".img");
    writeWhole(path, formattedVolume(shape));
    fillVolume(path, work / "host");
    Bytes bytes = readWhole(path);
    const auto image = DiskImageService::parseImage(path, PagedBytes(bytes), true);
    addVolumeSeeds(seeds, shape.name, *image);
    const std::vector<std::uint16_t>& fat = image->fatTable().entries();
    std::size_t lastUsed = 2;
    for (std::size_t cluster = 2; cluster < fat.size(); ++cluster) {
        if (fat[cluster] != 0) {
            lastUsed = cluster;
        }
    }
    const auto used = static_cast<std::size_t>(
        image->addressing().clusterOffset(static_cast<std::uint16_t>(lastUsed)) +
        image->addressing().bytesPerCluster());
    const bool whole = used >= bytes.size() || shape.totalSectors < 4085;
    if (!whole) {
        bytes.resize(used);
    }
    return {shape.name, std::move(bytes), whole};
}

// An FDI or HDI header of 32 bytes, the part that is read, with the volume right after.
Bytes compactFDIStyle(ByteView volume, const DiskGeometry& geometry) {
    Bytes header = buildFDIHeader(static_cast<std::int64_t>(volume.size()), geometry);
    header.resize(32);
    writeU32LE(header, 8, 32);
    header.insert(header.end(), volume.begin(), volume.end());
    return header;
}

// An NFD header whose track table stops after the tracks the volume has: the volume
// starts right after the first unused entry instead of at the written 68 KiB.
Bytes compactNFD(ByteView volume, const DiskGeometry& g) {
    constexpr std::size_t tableStart = 0x120, trackBytes = 416, entryBytes = 16;
    const auto tracks = static_cast<std::size_t>(g.heads * g.cylinders);
    const std::size_t headerSize = tableStart + tracks * trackBytes + entryBytes;
    Bytes header(headerSize, 0xFF);
    std::fill_n(header.begin(), tableStart, 0);
    std::memcpy(header.data(), "T98FDDIMAGE.R0", 14);
    writeU32LE(header, 0x110, static_cast<std::uint32_t>(headerSize));
    header[0x115] = static_cast<std::uint8_t>(g.heads);
    for (std::size_t t = 0; t < tracks; ++t) {
        for (std::size_t k = 0; k < static_cast<std::size_t>(g.sectorsPerTrack); ++k) {
            const auto at = header.begin() + std::ptrdiff_t(tableStart + t * trackBytes + k * 16);
            std::fill_n(at, entryBytes, 0);
            at[0] = static_cast<std::uint8_t>(t / static_cast<std::size_t>(g.heads));
            at[1] = static_cast<std::uint8_t>(t % static_cast<std::size_t>(g.heads));
            at[2] = static_cast<std::uint8_t>(k + 1);
            at[3] = g.bytesPerSector == 256 ? 1 : 2;
            at[4] = 1;
        }
    }
    header.insert(header.end(), volume.begin(), volume.end());
    return header;
}

// A D88 disk of the 2D type: a file stating 2HD makes every open rebuild 77 cylinders.
Bytes d88Disk(ByteView volume, const DiskGeometry& g) {
    Bytes disk = D88ImageFormat::buildD88Image(volume, g, D88WriteVariant::newImage);
    disk[0x1B] = static_cast<std::uint8_t>(D88DiskType::d2D);
    std::memcpy(disk.data(), "SEED", 4);
    return disk;
}

Bytes padded(ByteView bytes, std::size_t size) {
    Bytes out(bytes.begin(), bytes.end());
    out.resize(std::max(size, out.size()), 0);
    return out;
}

// A PC/AT partition table whose one FAT12 partition holds `volume`, from sector 1.
Bytes atPartitionedDisk(ByteView volume) {
    Bytes disk(512, 0);
    disk[446] = 0x80;
    disk[446 + 4] = 0x01;
    writeU32LE(disk, 446 + 8, 1);
    writeU32LE(disk, 446 + 12, static_cast<std::uint32_t>(volume.size() / 512));
    disk[510] = 0x55;
    disk[511] = 0xAA;
    disk.insert(disk.end(), volume.begin(), volume.end());
    return disk;
}

// A PC-98 table in sector 1 whose one FAT12 partition holds `volume` from cylinder 1 on;
// partitions are whole cylinders of `g`.
Bytes pc98PartitionedDisk(ByteView volume, const DiskGeometry& g) {
    const auto cylinder = static_cast<std::size_t>(g.heads * g.sectorsPerTrack * g.bytesPerSector);
    const std::size_t cylinders = (volume.size() + cylinder - 1) / cylinder;
    Bytes disk(cylinder, 0);
    std::memcpy(disk.data() + 4, "IPL1", 4);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    const std::size_t entry = static_cast<std::size_t>(g.bytesPerSector);
    disk[entry] = 0xA0;
    disk[entry + 1] = 0x81;
    writeU16LE(disk, entry + 10, 1);
    disk[entry + 12] = static_cast<std::uint8_t>(g.sectorsPerTrack - 1);
    disk[entry + 13] = static_cast<std::uint8_t>(g.heads - 1);
    writeU16LE(disk, entry + 14, static_cast<std::uint16_t>(cylinders));
    std::memcpy(disk.data() + entry + 16, "SEED VOLUME     ", 16);
    disk.insert(disk.end(), volume.begin(), volume.end());
    disk.resize(cylinder * (1 + cylinders), 0);
    return disk;
}

DiskGeometry geometryFor(std::int64_t heads, std::int64_t sectorsPerTrack,
                         std::int64_t bytesPerSector, std::size_t bytes) {
    const std::int64_t cylinder = heads * sectorsPerTrack * bytesPerSector;
    return {heads, (static_cast<std::int64_t>(bytes) + cylinder - 1) / cylinder, sectorsPerTrack,
            bytesPerSector};
}

void writeSeeds(SeedWriter& seeds, const fs::path& work) {
    const TinyVolume fat12 = makeVolume(seeds, fat12Shape, work);
    const TinyVolume small = makeVolume(seeds, fat12Sector256Shape, work);
    const TinyVolume fat16 = makeVolume(seeds, fat16Shape, work);
    const TinyVolume d88Volume = makeVolume(seeds, fat12Sector128Shape, work);
    const DiskGeometry g12 = geometryFor(2, 8, 512, fat12.bytes.size());
    const DiskGeometry g256 = geometryFor(2, 16, 256, small.bytes.size());
    const DiskGeometry g128 = geometryFor(2, 8, 128, d88Volume.bytes.size());
    const DiskGeometry g16 = geometryFor(2, 8, 512, 4136 * 512);

    // Headerless: the volume is the file.
    addContainerSeeds(seeds, "fat12.img", "img", fat12.bytes);
    const TableGeometry table256{2, 1, 16, 0, 1};
    addContainerSeeds(seeds, "fat12-256.hdm", "hdm", small.bytes, {}, table256);

    // Containers with a header, each of the FAT12 volume and, where the header states
    // the geometry, of the cut FAT16 one.
    for (const TinyVolume* volume : {&fat12, &fat16}) {
        const DiskGeometry& g = volume == &fat12 ? g12 : g16;
        const std::string& name = volume->name;
        addContainerSeeds(seeds, name + ".fdi", "fdi", compactFDIStyle(volume->bytes, g));
        addContainerSeeds(seeds, name + ".hdi", "hdi", compactFDIStyle(volume->bytes, g));
        addContainerSeeds(seeds, name + ".nhd", "nhd", buildNHDImage(volume->bytes, g));
        // Its track table need not cover the volume: the first cylinder is enough to read.
        const DiskGeometry firstCylinder{g.heads, 1, g.sectorsPerTrack, g.bytesPerSector};
        addContainerSeeds(seeds, name + ".nfd", "nfd", compactNFD(volume->bytes, firstCylinder));
    }
    // As the engine writes them, with their full headers.
    addContainerSeeds(seeds, "fat12-written.fdi", "fdi", buildFDIImage(fat12.bytes, g12));
    addContainerSeeds(seeds, "fat12-written.hdi", "hdi", buildHDIImage(fat12.bytes, g12));
    addContainerSeeds(seeds, "fat12-256.nfd", "nfd", compactNFD(small.bytes, g256), {}, table256);

    // Media types name a whole floppy; the file holds only the tiny volume's part.
    addContainerSeeds(seeds, "fat12.dim", "dim",
                      buildDIMNewImage(fat12.bytes, DiskGeometry{2, 80, 18, 512}));
    addContainerSeeds(seeds, "fat12.dcp", "dcp",
                      buildDCPNewImage(fat12.bytes, DiskGeometry{2, 80, 9, 512}));
    addContainerSeeds(seeds, "fat12.dcu", "dcu",
                      buildDCPNewImage(fat12.bytes, DiskGeometry{2, 80, 15, 512}));

    // D88: one disk, and two in one file with the second chosen.
    const Bytes d88 = d88Disk(d88Volume.bytes, g128);
    const TableGeometry table128{2, 1, 8, 0, 0};
    addContainerSeeds(seeds, "fat12-128.d88", "d88", d88, {}, table128);
    Bytes twoDisks = d88;
    twoDisks.insert(twoDisks.end(), d88.begin(), d88.end());
    std::memcpy(twoDisks.data() + d88.size(), "SECOND", 6);
    addContainerSeeds(seeds, "two-disks.d88", "d88", twoDisks, {.disk = 0}, table128);
    addContainerSeeds(seeds, "two-disks-second.d88", "d88", twoDisks, {.disk = 1}, table128);

    // THD: whole cylinders of 4 x 33 x 256 bytes.
    addContainerSeeds(seeds, "fat12-256.thd", "thd", padded(small.bytes, 33792), {},
                      {4, 1, 33, 0, 1});

    // Partition tables, headerless and in the hard-disk containers that state a geometry.
    const Bytes at = atPartitionedDisk(fat12.bytes);
    const DiskGeometry gAt = geometryFor(2, 8, 512, at.size());
    const TableGeometry tableAt{2, 1, 8, 1};
    const Bytes pcatNhd = buildNHDImage(padded(at, std::size_t(gAt.totalBytes())), gAt);
    const Bytes pcatHdi = compactFDIStyle(at, gAt);
    for (const auto& [name, file] :
         {std::pair{"pcat.img", ByteView(at)}, std::pair{"pcat.nhd", ByteView(pcatNhd)},
          std::pair{"pcat.hdi", ByteView(pcatHdi)}}) {
        const std::string extension = fs::path(name).extension().string().substr(1);
        requirePartition(name, extension, file);
        addContainerSeeds(seeds, name, extension, file, {}, tableAt);
    }
    const DiskGeometry g98{2, 0, 8, 512};
    const Bytes pc98 = pc98PartitionedDisk(fat12.bytes, g98);
    const DiskGeometry gPc98 = geometryFor(2, 8, 512, pc98.size());
    const Bytes pc98Nhd = buildNHDImage(pc98, gPc98);
    const Bytes pc98Hdi = compactFDIStyle(pc98, gPc98);
    for (const auto& [name, file] :
         {std::pair{"pc98.nhd", ByteView(pc98Nhd)}, std::pair{"pc98.hdi", ByteView(pc98Hdi)}}) {
        const std::string extension = fs::path(name).extension().string().substr(1);
        requirePartition(name, extension, file);
        addContainerSeeds(seeds, name, extension, file, {}, tableAt);
    }
    // Without a stated geometry the table's is not found: the search finds the volume.
    addContainerSeeds(seeds, "pc98.img", "img", pc98, {}, tableAt);
    if (fat16.whole) {
        throw std::runtime_error("the FAT16 seed volume was not cut");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds OUTPUT_DIR\n";
        return 2;
    }
    SeedWriter seeds(argv[1]);
    const fs::path work =
        fs::temp_directory_path() / ("tamberlane-seeds-" + std::to_string(getpid()));
    fs::create_directories(work / "host");
    int status = 0;
    try {
        writeSeeds(seeds, work);
    } catch (const std::exception& error) {
        std::cerr << "make_seeds: " << error.what() << '\n';
        status = 1;
    }
    fs::remove_all(work);
    if (status == 0) {
        std::cout << "wrote " << seeds.count() << " seeds to " << argv[1] << '\n';
    }
    return status;
}
