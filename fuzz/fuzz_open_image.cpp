// A whole open as a user does it: the first byte picks the file's extension among the
// table's, the second a disk of a D88 file and a partition of a hard disk; the rest is
// the file. Then every directory is listed, recursively, and every file read.

#include "fuzz/FuzzSupport.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectoryWalk.h"
#include "engine/fat/DiskImageService.h"

using namespace tamberlane;

namespace {

// As `tamberlane-cli ls -R` walks: each cluster read once, and a directory that cannot
// be read does not stop its siblings.
void walk(DirectoryWalk& directories, const DiskImage& image, const DiskPath& path,
          std::optional<std::uint16_t> cluster) {
    for (const FileEntry& entry : directories.read(path, cluster)) {
        const DirectoryEntry& slot = entry.directoryEntry;
        if (slot.isDirectory()) {
            fuzz::refusingOnlyWithDiskImageError(
                [&] { walk(directories, image, entry.path, slot.startCluster); });
        } else {
            fuzz::refusingOnlyWithDiskImageError([&] { DirectoryReader::readFile(image, slot); });
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const fuzz::PickedImage picked = fuzz::pickImage(input);

    fuzz::refusingOnlyWithDiskImageError([&] {
        const auto image = fuzz::openPicked(picked);
        image->capacity();
        DirectoryWalk directories(*image);
        walk(directories, *image, DiskPath::root(), std::nullopt);
    });
    return 0;
}
