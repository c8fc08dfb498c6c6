// FAT decoding (FAT12 or FAT16, by the first byte) and the chain walk from every
// cluster a file could start at.

#include "fuzz/FuzzSupport.h"

#include "engine/fat/FATParser.h"
#include "engine/fat/FATTable.h"

#include <algorithm>

using namespace tamberlane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const bool fat16 = (input.takeByte() & 1) != 0;
    const ByteView fat = input.rest();
    const std::int64_t entryCount =
        std::min<std::int64_t>(fat16 ? fat.size() / 2 : fat.size() * 2 / 3, fat16 ? 65536 : 4096);

    fuzz::refusingOnlyWithDiskImageError([&] {
        const FATType type = fat16 ? FATType::fat16 : FATType::fat12;
        std::vector<std::uint16_t> entries = fat16 ? FATParser::decodeFAT16(fat, entryCount)
                                                   : FATParser::decodeFAT12(fat, entryCount);
        const FATTable table(std::move(entries), type);
        table.freeClusterCount();
        // Bounded so that one long chain does not make every input quadratic. Clusters 0
        // and 1 hold the media byte and are refused before anything is read: once per
        // input is enough, rather than a thrown error for each.
        const std::int64_t starts = std::min<std::int64_t>(entryCount, 258);
        for (std::int64_t start = 1; start < starts; ++start) {
            fuzz::refusingOnlyWithDiskImageError(
                [&] { FATParser::getClusterChain(static_cast<std::uint16_t>(start), table); });
        }
        table.serialize();
    });
    return 0;
}
