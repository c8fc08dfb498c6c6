#include "engine/fat/FATTable.h"

#include "engine/base/DiskImageError.h"

#include <algorithm>

namespace tamberlane {

FATTable::FATTable(std::vector<std::uint16_t> entries, FATType fatType_)
    : fatType(fatType_), entries_(std::move(entries)) {
    recount();
}

void FATTable::recount() {
    freeCount_ = 0;
    searchStart_ = 2;
    const std::int64_t limit = allocationLimit();
    for (std::int64_t c = 2; c < limit; ++c) {
        if (entries_[static_cast<std::size_t>(c)] == 0 && isAllocatable(c)) {
            ++freeCount_;
        }
    }
}

void FATTable::noteChange(std::size_t cluster, std::uint16_t old, std::uint16_t value) {
    if ((old == 0) == (value == 0) || !isAllocatable(static_cast<std::int64_t>(cluster))) {
        return;
    }
    if (value == 0) {
        ++freeCount_;
        searchStart_ = std::min(searchStart_, static_cast<std::int64_t>(cluster));
    } else {
        --freeCount_;
    }
}

void FATTable::setEntry(std::size_t cluster, std::uint16_t value) {
    std::uint16_t& slot = entries_.at(cluster);
    const std::uint16_t old = slot;
    slot = value;
    noteChange(cluster, old, value);
}

void FATTable::replaceEntries(std::vector<std::uint16_t> entries) {
    entries_ = std::move(entries);
    recount();
}

void FATTable::setAllocationLimit(std::int64_t limit) {
    allocationLimit_ = limit;
    recount();
}

void FATTable::setBlockedClusters(std::vector<bool> blocked) {
    blocked_ = std::move(blocked);
    recount();
}

std::uint16_t FATTable::badValue() const {
    return fatType == FATType::fat12 ? 0xFF7 : 0xFFF7;
}

std::uint16_t FATTable::endOfChainValue() const {
    return fatType == FATType::fat12 ? 0xFFF : 0xFFFF;
}

std::uint16_t FATTable::maxLinkValue() const {
    return fatType == FATType::fat12 ? 0xFEF : 0xFFEF;
}

std::uint16_t FATTable::maxAllocatableCluster() const {
    return maxLinkValue();
}

std::int64_t FATTable::allocationLimit() const {
    std::int64_t limit = static_cast<std::int64_t>(entries_.size());
    limit = std::min<std::int64_t>(limit, static_cast<std::int64_t>(maxAllocatableCluster()) + 1);
    if (allocationLimit_ >= 0) {
        limit = std::min(limit, allocationLimit_);
    }
    return limit;
}

bool FATTable::isAllocatable(std::int64_t cluster) const {
    return cluster >= 2 && cluster < allocationLimit() &&
           (static_cast<std::size_t>(cluster) >= blocked_.size() ||
            !blocked_[static_cast<std::size_t>(cluster)]);
}

std::vector<std::uint16_t> FATTable::allocate(std::int64_t count) {
    if (count < 1) {
        return {};
    }
    if (count > freeCount_) {
        throw DiskImageError::diskFull(count, freeCount_);
    }
    std::vector<std::uint16_t> found;
    found.reserve(static_cast<std::size_t>(count));
    const std::int64_t limit = allocationLimit();
    std::int64_t c = searchStart_;
    for (; c < limit && static_cast<std::int64_t>(found.size()) < count; ++c) {
        if (entries_[static_cast<std::size_t>(c)] == 0 && isAllocatable(c)) {
            found.push_back(static_cast<std::uint16_t>(c));
        }
    }
    if (static_cast<std::int64_t>(found.size()) < count) {
        throw DiskImageError::diskFull(count, static_cast<std::int64_t>(found.size()));
    }
    for (std::size_t i = 0; i + 1 < found.size(); ++i) {
        entries_[found[i]] = found[i + 1];
    }
    entries_[found.back()] = endOfChainValue();
    freeCount_ -= count;
    searchStart_ = c;
    return found;
}

void FATTable::free(std::uint16_t startCluster) {
    if (startCluster < 2) {
        throw DiskImageError::invalidCluster(startCluster);
    }
    // A chain can only visit each entry once, so the table size bounds the walk.
    std::vector<bool> visited(entries_.size(), false);
    std::uint32_t current = startCluster;
    for (;;) {
        if (current >= entries_.size()) {
            throw DiskImageError::invalidCluster(static_cast<std::uint16_t>(current));
        }
        if (visited[current]) {
            throw DiskImageError::circularReference(static_cast<std::uint16_t>(current));
        }
        visited[current] = true;
        const std::uint16_t old = entries_[current];
        setEntry(current, 0);
        if (old == 0 || old >= badValue()) {
            return;
        }
        if (old == 1) {
            throw DiskImageError::invalidCluster(1);
        }
        current = old;
    }
}

Bytes FATTable::serializeFAT12() const {
    const std::size_t n = entries_.size();
    Bytes out((n * 3 + 1) / 2, 0);
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        const std::size_t o = (i * 3) / 2;
        const std::uint16_t e0 = entries_[i];
        const std::uint16_t e1 = entries_[i + 1];
        out[o] = static_cast<std::uint8_t>(e0 & 0xFF);
        out[o + 1] = static_cast<std::uint8_t>(((e1 << 4) | ((e0 >> 8) & 0x0F)) & 0xFF);
        out[o + 2] = static_cast<std::uint8_t>((e1 >> 4) & 0xFF);
    }
    if (n % 2 == 1) {
        const std::size_t o = ((n - 1) * 3) / 2;
        const std::uint16_t e = entries_[n - 1];
        out[o] = static_cast<std::uint8_t>(e & 0xFF);
        if (o + 1 < out.size()) {
            out[o + 1] = static_cast<std::uint8_t>((out[o + 1] & 0xF0) | ((e >> 8) & 0x0F));
        }
    }
    return out;
}

Bytes FATTable::serializeFAT16() const {
    Bytes out(entries_.size() * 2, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        writeU16LE(out, i * 2, entries_[i]);
    }
    return out;
}

} // namespace tamberlane
