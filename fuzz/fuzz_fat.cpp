// FAT decoding (FAT12 or FAT16, by the first byte) and the chain walk of every chain the
// table holds: from each allocated cluster no other entry links to (where a file
// starts), then from each allocated cluster no walk reached (loops, links into a chain's
// middle).

#include "fuzz/FuzzSupport.h"

#include "engine/fat/FATParser.h"
#include "engine/fat/FATTable.h"

#include <algorithm>

using namespace tamberlane;

namespace {

// Bounded so that a table of one-cluster loops does not make every input quadratic.
constexpr int maxWalks = 258;
// Each refusal is a thrown error, which under the sanitizers costs far more than a walk;
// in a table of random links nearly every cluster is a chain of its own that leaves the
// table, and a few of them cover that path as well as thousands.
constexpr int maxRefusals = 8;

void walkEveryChain(const FATTable& table) {
    const std::vector<std::uint16_t>& entries = table.entries();
    const std::size_t n = entries.size();
    std::vector<bool> linkedTo(n, false);
    std::vector<bool> reached(n, false);
    for (std::size_t cluster = 2; cluster < n; ++cluster) {
        if (entries[cluster] >= 2 && entries[cluster] < n) {
            linkedTo[entries[cluster]] = true;
        }
    }
    int walks = 0;
    int refusals = 0;
    // Each walk marks what it covers by following the links itself, so that a chain the
    // engine refuses (a link out of the table, a loop) is walked once, not from each of
    // its clusters: every refusal is a thrown error, which costs more than the walk.
    const auto walkFrom = [&](std::size_t start) {
        ++walks;
        try {
            FATParser::getClusterChain(static_cast<std::uint16_t>(start), table);
        } catch (const DiskImageError&) {
            ++refusals;
        }
        for (std::size_t cluster = start; cluster >= 2 && cluster < n && !reached[cluster];
             cluster = entries[cluster]) {
            reached[cluster] = true;
        }
    };
    // A walk from every cluster costs a walk per free cluster and finds nothing more.
    for (std::size_t cluster = 2; cluster < n && walks < maxWalks && refusals < maxRefusals;
         ++cluster) {
        if (entries[cluster] != 0 && !linkedTo[cluster]) {
            walkFrom(cluster);
        }
    }
    for (std::size_t cluster = 2; cluster < n && walks < maxWalks && refusals < maxRefusals;
         ++cluster) {
        if (entries[cluster] != 0 && !reached[cluster]) {
            walkFrom(cluster);
        }
    }
}

} // namespace

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
        walkEveryChain(table);
        table.serialize();
    });
    return 0;
}
