// Writes the seed corpora of the fuzz targets into one folder per target: every
// container and size the engine offers for a new image, and in each container a volume
// with content (long and Japanese names, a subdirectory tree, a deleted file) made by the
// engine's own file operations. Nothing binary is kept in the repository.
//
//   make_seeds OUTPUT_DIR

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/LFNParser.h"
#include "engine/fat/NewImageFile.h"
#include "engine/fat/PathResolver.h"
#include "engine/image/formats/FormatTable.h"
#include "engine/operations/ContentEdit.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <unistd.h>

using namespace tamberlane;
namespace fs = std::filesystem;

namespace {

// `make fuzz` lets inputs grow to this size (a whole 1.44 MB floppy); a 40 MB hard disk keeps its
// header, its partition table and its boot sector in the first part.
constexpr std::size_t maxSeedBytes = 2 * 1024 * 1024;

class SeedWriter {
  public:
    explicit SeedWriter(fs::path root) : root_(std::move(root)) {}

    void add(const std::string& target, const std::string& name, ByteView prefix, ByteView bytes) {
        fs::create_directories(root_ / target);
        std::ofstream out(root_ / target / name, std::ios::binary);
        const std::size_t length = std::min(bytes.size(), maxSeedBytes - prefix.size());
        out.write(reinterpret_cast<const char*>(prefix.data()), std::streamsize(prefix.size()));
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(length));
        ++count_;
    }
    int count() const { return count_; }

  private:
    fs::path root_;
    int count_ = 0;
};

std::uint8_t extensionIndex(const std::string& extension) {
    const std::vector<std::string> all = allImageExtensions();
    return static_cast<std::uint8_t>(std::find(all.begin(), all.end(), extension) - all.begin());
}

// A container file as each target reads it.
void addContainerSeeds(SeedWriter& seeds, const std::string& name, const std::string& extension,
                       ByteView file) {
    const std::uint8_t ext = extensionIndex(extension);
    seeds.add("containers", name, {}, file);
    const std::uint8_t searchFrom512[] = {2, 0, 255};
    seeds.add("boot_sector_search", name, searchFrom512, file);
    const std::uint8_t geometry[] = {8, 38, 17, 1, ext};
    seeds.add("partitions", name, geometry, file);
    const std::uint8_t open[] = {ext, 0};
    seeds.add("open_image", name, open, file);
}

// The volume's own structures, as the parser targets read them.
void addVolumeSeeds(SeedWriter& seeds, const std::string& name, const DiskImage& image) {
    seeds.add("bpb", name, {}, image.readSector(0));
    const std::uint8_t fat16[] = {image.layout().fatType == FATType::fat16 ? std::uint8_t{1}
                                                                           : std::uint8_t{0}};
    seeds.add("fat", name, fat16, image.fatTable().serialize());
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
// front of the first slot of the root directory, through a raw sector write.
void addLongName(const std::shared_ptr<DiskImage>& opened, const std::string& asciiName) {
    const DiskImage& image = *opened;
    const std::int64_t lba = image.addressing().rootDirectoryStartSector();
    const Bytes sector = image.readSector(lba);
    const std::uint8_t checksum = LFNParser::calculateChecksum(ByteView(sector).first(11));
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
    slots.insert(slots.end(), sector.begin(), sector.end() - std::ptrdiff_t(slots.size()));
    ContentEdit(opened).writeRawSector(lba, slots);
}

// Long names, a Japanese name, a tree two levels deep, a file of several clusters and
// a deleted one, each made the way the application makes them.
void fillVolume(const fs::path& imagePath, const fs::path& hostDir) {
    DiskImageService service;
    const std::shared_ptr<DiskImage> image = service.open(imagePath);
    const fs::path longName = hostDir / "A long file name.txt";
    const fs::path japanese = hostDir / "日本語の名前.txt";
    const fs::path nested = hostDir / "nested file with a long name.dat";
    const fs::path doomed = hostDir / "deleted later.txt";
    writeHostFile(longName, 100);
    writeHostFile(japanese, 700);
    writeHostFile(nested, 5000);
    writeHostFile(doomed, 1500);
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

Bytes readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeWhole(const fs::path& path, ByteView bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A PC/AT partition table whose one FAT12 partition holds `volume`, from sector 1.
Bytes partitionedDisk(ByteView volume) {
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
    try {
        for (NewImageFormat format : allNewImageFormats()) {
            const std::string extension = fileExtension(format);
            const std::vector<DiskSize> sizes = availableSizes(format);
            for (DiskSize size : sizes) {
                const std::string name = extension + "-" + std::to_string(int(size));
                const Bytes file = createNewImage({.format = format, .diskSize = size});
                addContainerSeeds(seeds, name + "." + extension, extension, file);
            }
            const fs::path filled = work / ("filled." + extension);
            writeWhole(filled, createNewImage({.format = format, .diskSize = sizes.front()}));
            fillVolume(filled, work / "host");
            const Bytes file = readWhole(filled);
            const std::string name = "filled." + extension;
            addContainerSeeds(seeds, name, extension, file);
            const auto image = DiskImageService::parseImage(filled, PagedBytes(file), true);
            addVolumeSeeds(seeds, name, *image);
            if (format == NewImageFormat::bin) {
                const Bytes volume = image->data().toBytes();
                addContainerSeeds(seeds, "partitioned.bin", "bin", partitionedDisk(volume));
            }
        }
    } catch (const DiskImageError& error) {
        std::cerr << "make_seeds: " << error.what() << '\n';
        fs::remove_all(work);
        return 1;
    }
    fs::remove_all(work);
    std::cout << "wrote " << seeds.count() << " seeds to " << argv[1] << '\n';
    return 0;
}
