#include "engine/fat/FATParser.h"

#include "engine/base/DiskImageError.h"

#include <string>

namespace tamberlane::FATParser {

FATType fatTypeForClusterCount(std::int64_t clusters) {
    return clusters <= 4084 ? FATType::fat12 : FATType::fat16;
}

std::vector<std::uint16_t> decodeFAT12(ByteView data, std::int64_t entryCount) {
    const std::int64_t needed = (entryCount * 3 + 1) / 2;
    if (static_cast<std::int64_t>(data.size()) < needed) {
        throw DiskImageError::fatTableShort(12, static_cast<std::int64_t>(data.size()), needed);
    }
    std::vector<std::uint16_t> entries(static_cast<std::size_t>(entryCount));
    for (std::int64_t i = 0; i < entryCount; ++i) {
        const std::size_t o = static_cast<std::size_t>((i * 3) / 2);
        // The last odd-indexed entry of an odd count may own only half a byte pair.
        const std::uint8_t b0 = data[o];
        const std::uint8_t b1 = o + 1 < data.size() ? data[o + 1] : 0;
        if (i % 2 == 0) {
            entries[i] = static_cast<std::uint16_t>(b0 | ((b1 & 0x0F) << 8));
        } else {
            entries[i] = static_cast<std::uint16_t>((b0 >> 4) | (b1 << 4));
        }
    }
    return entries;
}

std::vector<std::uint16_t> decodeFAT16(ByteView data, std::int64_t entryCount) {
    const std::int64_t needed = entryCount * 2;
    if (static_cast<std::int64_t>(data.size()) < needed) {
        throw DiskImageError::fatTableShort(16, static_cast<std::int64_t>(data.size()), needed);
    }
    std::vector<std::uint16_t> entries(static_cast<std::size_t>(entryCount));
    for (std::int64_t i = 0; i < entryCount; ++i) {
        entries[i] = readU16LE(data, static_cast<std::size_t>(i * 2));
    }
    return entries;
}

std::vector<std::uint16_t> getClusterChain(std::uint16_t startCluster, const FATTable& fatTable) {
    const std::size_t n = fatTable.entries().size();
    if (startCluster < 2 || startCluster >= n) {
        throw DiskImageError::invalidCluster(startCluster);
    }
    const std::uint16_t bad = fatTable.badValue();
    const std::uint16_t maxLink = fatTable.maxLinkValue();
    std::vector<std::uint16_t> chain;
    std::vector<bool> visited(n, false);
    std::uint32_t current = startCluster;
    for (;;) {
        if (current < 2 || current >= n) {
            throw DiskImageError::invalidCluster(static_cast<std::uint16_t>(current));
        }
        if (visited[current]) {
            throw DiskImageError::circularReference(static_cast<std::uint16_t>(current));
        }
        visited[current] = true;
        const std::uint16_t next = fatTable.entries()[current];
        if (next == bad) {
            return chain;
        }
        chain.push_back(static_cast<std::uint16_t>(current));
        if (next < 2 || next > maxLink || chain.size() >= n) {
            return chain;
        }
        current = next;
    }
}

std::vector<std::uint16_t> decodeFAT(ByteView data, std::int64_t entryCount, FATType fatType) {
    return fatType == FATType::fat12 ? decodeFAT12(data, entryCount)
                                     : decodeFAT16(data, entryCount);
}

} // namespace tamberlane::FATParser
