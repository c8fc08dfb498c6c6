#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/FATTable.h"
#include "engine/image/BIOSParameterBlock.h"

#include <cstdint>
#include <vector>

namespace tamberlane {

namespace FATParser {

// 4084 clusters or fewer is FAT12.
FATType fatTypeForClusterCount(std::int64_t clusters);

std::vector<std::uint16_t> decodeFAT12(ByteView data, std::int64_t entryCount);
std::vector<std::uint16_t> decodeFAT16(ByteView data, std::int64_t entryCount);
// The decoder of `fatType`.
std::vector<std::uint16_t> decodeFAT(ByteView data, std::int64_t entryCount, FATType fatType);

// The clusters of one chain, first first. Throws on a bad start, a link outside the
// table or a loop; a bad-cluster mark ends the chain without the marked cluster.
std::vector<std::uint16_t> getClusterChain(std::uint16_t startCluster, const FATTable& fatTable);

} // namespace FATParser

} // namespace tamberlane
