#pragma once

#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"

#include <cstdint>
#include <vector>

namespace tamberlane::DirectoryReader {

constexpr int maxDepth = 64;

std::vector<DirectoryEntry> readRootDirectory(const DiskImage& image);
std::vector<DirectoryEntry> readSubDirectory(std::uint16_t startCluster, const DiskImage& image,
                                             int depth);
// First cluster of the directory a non-empty path names, each component picked as
// EntryLookup picks it.
std::uint16_t resolveDirectoryCluster(const DiskPath& path, const DiskImage& image, int depth);
// Entries of raw directory bytes, long names attached; "." and ".." left out.
std::vector<DirectoryEntry> parseDirectoryEntries(ByteView data);

// An entry with the byte offset of its 8.3 slot in the data it was parsed from.
struct PlacedEntry {
    DirectoryEntry entry;
    std::size_t slotOffset = 0;
};
std::vector<PlacedEntry> parsePlacedEntries(ByteView data);

std::vector<DirectoryEntry> listDirectory(const DiskImage& image, const DiskPath& path);
Bytes readFile(const DiskImage& image, const DirectoryEntry& entry);

} // namespace tamberlane::DirectoryReader
