#pragma once

#include "engine/fat/DiskPath.h"
#include "engine/image/Bytes.h"
#include "engine/image/DiskImage.h"
#include "engine/image/DiskImageService.h"
#include "tests/support/TestFiles.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane::test {

// A FAT volume made by mkfs.fat, opened as a headerless image of a known size or, for
// other sizes, with manual parameters.
struct VolumeKind {
    std::string name;
    int fatBits = 12;
    int sizeKiB = 1440;
    int sectorSize = 512;
    int sectorsPerCluster = 0; // 0: mkfs.fat chooses
    bool manual = false;
};

std::vector<VolumeKind> allVolumeKinds();
std::ostream& operator<<(std::ostream& out, const VolumeKind& kind);

bool fatToolsAvailable();

// A whole file read in one go (the support reader goes byte by byte).
Bytes readWhole(const std::filesystem::path& path);

class Volume {
  public:
    Volume(const TempDir& dir, const VolumeKind& kind);

    const std::filesystem::path& path() const { return path_; }
    const VolumeKind& kind() const { return kind_; }
    // Opens (again) through the image service; the service keeps the lock.
    std::shared_ptr<DiskImage> open(bool readOnly = false);
    std::shared_ptr<DiskImage> image() const { return image_; }
    Bytes fileBytes() const { return readWhole(path_); }
    void close();

  private:
    std::filesystem::path path_;
    VolumeKind kind_;
    std::unique_ptr<DiskImageService> service_;
    std::shared_ptr<DiskImage> image_;
};

// Runs fsck.fat -n; empty when the volume is consistent, else its report.
std::string fsckProblems(const std::filesystem::path& image);
// mcopy -s of the whole volume, as relative path -> bytes ("DIR/" for a directory).
std::map<std::string, Bytes> extractWithMtools(const std::filesystem::path& image,
                                               const TempDir& scratch);
// mcopy a host file to a path on the volume ("::/DIR/NAME").
void mtoolsPut(const std::filesystem::path& image, const std::filesystem::path& host,
               const std::string& target);
void mtoolsMkdir(const std::filesystem::path& image, const std::string& target);
std::optional<Bytes> mtoolsRead(const std::filesystem::path& image, const std::string& target);

Bytes patternBytes(std::size_t size, unsigned seed);
FileEntry findEntry(const DiskImage& image, const DiskPath& directory, const std::string& name);

} // namespace tamberlane::test
