// The partition tables of a hard disk (PC/AT and PC-98), read with the common
// geometries tried, with a geometry from the input, and as the open dialog lists them.

#include "fuzz/FuzzSupport.h"

#include "engine/fat/DiskImageService.h"
#include "engine/image/PartitionTable.h"

using namespace tamberlane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const DiskGeometry geometry{.heads = input.takeByte(),
                                .cylinders = input.takeByte() * 4,
                                .sectorsPerTrack = input.takeByte(),
                                .bytesPerSector = 256 << (input.takeByte() % 3)};
    const std::string extension = fuzz::pickImageExtension(input.takeByte());
    const ByteView disk = input.rest();

    fuzz::refusingOnlyWithDiskImageError(
        [&] { PartitionTable::read(ImageFileReader(disk), 0, std::nullopt); });
    fuzz::refusingOnlyWithDiskImageError(
        [&] { PartitionTable::read(ImageFileReader(disk), 0, geometry); });
    fuzz::refusingOnlyWithDiskImageError(
        [&] { DiskImageService::partitionsIn("fuzz." + extension, disk); });
    return 0;
}
