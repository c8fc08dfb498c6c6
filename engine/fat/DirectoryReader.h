#pragma once

#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DiskImage.h"

#include <cstdint>
#include <vector>

namespace tamberlane::DirectoryReader {

constexpr int maxDepth = 64;

std::vector<DirectoryEntry> readRootDirectory(const DiskImage& image);
std::vector<DirectoryEntry> readSubDirectory(std::uint16_t startCluster, const DiskImage& image,
                                             int depth);
// Entries of raw directory bytes, long names attached; "." and ".." left out.
std::vector<DirectoryEntry> parseDirectoryEntries(ByteView data);

Bytes readFile(const DiskImage& image, const DirectoryEntry& entry);

} // namespace tamberlane::DirectoryReader
