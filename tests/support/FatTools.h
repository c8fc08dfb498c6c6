#pragma once

#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/DiskPath.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tamberlane::test {

// The full text of the DiskImageError `action` throws, or "no error".
std::string errorText(const std::function<void()>& action);
// The kind of the DiskImageError `action` throws; a test failure when none is thrown.
DiskImageError::Kind errorKind(const std::function<void()>& action);

// Whether any descriptor, of this process or another, holds a flock on `path`.
bool isLocked(const std::filesystem::path& path);

// Another process holding a flock (LOCK_EX or LOCK_SH) on a file until the object goes.
class OtherProcessLock {
  public:
    OtherProcessLock(const std::filesystem::path& path, int operation);
    ~OtherProcessLock();
    OtherProcessLock(const OtherProcessLock&) = delete;
    OtherProcessLock& operator=(const OtherProcessLock&) = delete;
    bool acquired() const { return acquired_; }

  private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool acquired_ = false;
};

bool fatToolsAvailable(); // mkfs.fat, fsck.fat and mtools
// `fsck.fat -n`. Volumes of this system carry no extended boot signature, which
// fsck.fat 4.x reports as an invalid empty label with exit status 1: not a fault.
::testing::AssertionResult fsckAccepts(const std::filesystem::path& image);
// An mtools command line with its checks off, code page 932 when asked.
CommandResult mtools(const std::string& commandLine, bool codePage932 = false);
// `mdir -/ -a` of the whole volume without the free-space line.
std::string mdirListing(const std::filesystem::path& image);
void mtoolsPut(const std::filesystem::path& image, const std::filesystem::path& host,
               const std::string& target);
void mtoolsMkdir(const std::filesystem::path& image, const std::string& target);
std::optional<Bytes> mtoolsRead(const std::filesystem::path& image, const std::string& target);

// A volume's contents: relative display path -> bytes; directories end in "/".
using Tree = std::map<std::string, Bytes>;
Tree engineTree(const DiskImage& image);
// The same as mdir and mtype see it.
Tree mtoolsTree(const std::filesystem::path& image, bool codePage932 = false);

FileEntry listedEntry(const DiskImage& image, const DiskPath& directory, const std::string& name);

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

class Volume {
  public:
    Volume(const TempDir& dir, const VolumeKind& kind);
    const std::filesystem::path& path() const { return path_; }
    const VolumeKind& kind() const { return kind_; }
    // Opens (again) through the image service, which keeps the lock; a read-only open
    // parses the bytes without a service.
    std::shared_ptr<DiskImage> open(bool readOnly = false);
    Bytes fileBytes() const { return readFile(path_); }
    void close();

  private:
    std::filesystem::path path_;
    VolumeKind kind_;
    std::unique_ptr<DiskImageService> service_;
    std::shared_ptr<DiskImage> image_;
};

} // namespace tamberlane::test
