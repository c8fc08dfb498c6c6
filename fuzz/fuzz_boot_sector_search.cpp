// The search for a boot sector inside a container, with the sector size, the start and
// whether a jump instruction is required taken from the input's first bytes.

#include "fuzz/FuzzSupport.h"

#include "engine/image/BootSectorSearch.h"

#include <array>

using namespace tamberlane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    constexpr std::array<std::int64_t, 5> sectorSizes = {128, 256, 512, 1024, 2048};
    const std::uint8_t choice = input.takeByte();
    const std::int64_t sectorSize = sectorSizes[choice % sectorSizes.size()];
    const bool requireJump = (choice & 0x80) != 0;
    const std::int64_t dataOffset = input.takeByte() * 16;
    const std::int64_t maxSectors = input.takeByte();
    const ByteView image = input.rest();

    fuzz::refusingOnlyWithDiskImageError([&] {
        BootSectorSearch::isValidBPB(image);
        BootSectorSearch::findBPBInImage(ImageFileReader(image), dataOffset, sectorSize, maxSectors,
                                         requireJump);
    });
    return 0;
}
