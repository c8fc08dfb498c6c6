#include "tests/engine/operations/VolumeFixture.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/ManualParameters.h"

#include <fstream>
#include <ostream>
#include <stdexcept>

namespace tamberlane::test {

namespace {

const std::string mtoolsEnv = "MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0 ";

std::string q(const std::filesystem::path& p) {
    return shellQuote(p.string());
}

} // namespace

std::vector<VolumeKind> allVolumeKinds() {
    return {
        {"fat12_1440k", 12, 1440, 512, 0, false},
        {"fat12_1232k_1024bytesectors", 12, 1232, 1024, 0, false},
        {"fat12_10m_4kclusters", 12, 10240, 512, 8, true},
        {"fat16_20m", 16, 20480, 512, 0, true},
    };
}

std::ostream& operator<<(std::ostream& out, const VolumeKind& kind) {
    return out << kind.name;
}

bool fatToolsAvailable() {
    return toolAvailable("mkfs.fat") && toolAvailable("fsck.fat") && toolAvailable("mcopy");
}

Volume::Volume(const TempDir& dir, const VolumeKind& kind) : kind_(kind) {
    path_ = dir / (kind.name + (kind.manual ? ".vol" : ".img"));
    std::string command =
        "mkfs.fat -C -F " + std::to_string(kind.fatBits) + " -S " + std::to_string(kind.sectorSize);
    if (kind.sectorsPerCluster > 0) {
        command += " -s " + std::to_string(kind.sectorsPerCluster);
    }
    command += " " + q(path_) + " " + std::to_string(kind.sizeKiB);
    const CommandResult made = runCommand(command);
    if (made.exitStatus != 0) {
        throw std::runtime_error("mkfs.fat failed: " + made.errors);
    }
}

std::shared_ptr<DiskImage> Volume::open(bool readOnly) {
    image_.reset();
    service_ = std::make_unique<DiskImageService>();
    if (readOnly) {
        if (kind_.manual) {
            ManualParameters params;
            params.fatType = kind_.fatBits == 16 ? FATType::fat16 : FATType::fat12;
            params.bytesPerSector = kind_.sectorSize;
            image_ = DiskImageService::openWithManualParams(path_, readWhole(path_), params, true);
        } else {
            image_ = DiskImageService::parseImage(path_, readWhole(path_), true, std::nullopt);
        }
        return image_;
    }
    if (kind_.manual) {
        ManualParameters params;
        params.fatType = kind_.fatBits == 16 ? FATType::fat16 : FATType::fat12;
        params.bytesPerSector = kind_.sectorSize;
        image_ = service_->open(path_, params);
    } else {
        image_ = service_->open(path_);
    }
    return image_;
}

void Volume::close() {
    image_.reset();
    service_.reset();
}

std::string fsckProblems(const std::filesystem::path& image) {
    const CommandResult result = runCommand("fsck.fat -n " + q(image));
    if (result.exitStatus == 0) {
        return {};
    }
    return "fsck.fat exit " + std::to_string(result.exitStatus) + ":\n" + result.output +
           result.errors;
}

std::map<std::string, Bytes> extractWithMtools(const std::filesystem::path& image,
                                               const TempDir& scratch) {
    const std::filesystem::path out = scratch / "mtools-out";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    std::map<std::string, Bytes> tree;
    const CommandResult listing = runCommand(mtoolsEnv + "mdir -b -i " + q(image) + " ::/");
    if (listing.output.empty()) {
        return tree;
    }
    const CommandResult copied =
        runCommand(mtoolsEnv + "mcopy -s -n -m -i " + q(image) + " '::/*' " + q(out));
    if (copied.exitStatus != 0) {
        throw std::runtime_error("mcopy failed: " + copied.errors);
    }
    for (const auto& item : std::filesystem::recursive_directory_iterator(out)) {
        const std::string relative = std::filesystem::relative(item.path(), out).string();
        if (item.is_directory()) {
            tree[relative + "/"] = {};
        } else {
            tree[relative] = readWhole(item.path());
        }
    }
    return tree;
}

void mtoolsPut(const std::filesystem::path& image, const std::filesystem::path& host,
               const std::string& target) {
    const CommandResult r = runCommand(mtoolsEnv + "mcopy -o -i " + q(image) + " " + q(host) + " " +
                                       shellQuote(target));
    if (r.exitStatus != 0) {
        throw std::runtime_error("mcopy failed: " + r.errors);
    }
}

void mtoolsMkdir(const std::filesystem::path& image, const std::string& target) {
    const CommandResult r = runCommand(mtoolsEnv + "mmd -i " + q(image) + " " + shellQuote(target));
    if (r.exitStatus != 0) {
        throw std::runtime_error("mmd failed: " + r.errors);
    }
}

std::optional<Bytes> mtoolsRead(const std::filesystem::path& image, const std::string& target) {
    const CommandResult r =
        runCommand(mtoolsEnv + "mtype -i " + q(image) + " " + shellQuote(target));
    if (r.exitStatus != 0) {
        return std::nullopt;
    }
    return Bytes(r.output.begin(), r.output.end());
}

Bytes readWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    Bytes bytes(static_cast<std::size_t>(std::filesystem::file_size(path)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

Bytes patternBytes(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

FileEntry findEntry(const DiskImage& image, const DiskPath& directory, const std::string& name) {
    for (DirectoryEntry& entry : DirectoryReader::listDirectory(image, directory)) {
        if (DirectoryReader::namesMatch(entry.displayName(), name)) {
            FileEntry file;
            file.id = entry.id;
            file.path = directory.appending(entry.displayName());
            file.directoryEntry = std::move(entry);
            return file;
        }
    }
    throw std::runtime_error("no entry " + name + " in " + directory.displayString());
}

} // namespace tamberlane::test
