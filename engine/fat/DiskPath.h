#pragma once

#include "engine/fat/DirectoryEntry.h"

#include <string>
#include <vector>

namespace tamberlane {

// A path inside the volume: display names of directories from the root down.
struct DiskPath {
    std::vector<std::string> components;

    static DiskPath root() { return {}; }
    bool isRoot() const { return components.empty(); }
    DiskPath appending(const std::string& component) const;
    DiskPath parent() const;
    // "/"-separated, "/" for the root.
    std::string displayString() const;
    // Parses a "/"-separated path; empty components are ignored.
    static DiskPath fromString(const std::string& text);

    bool operator==(const DiskPath&) const = default;
};

struct FileEntry {
    EntryId id = 0;
    DirectoryEntry directoryEntry;
    DiskPath path;

    bool operator==(const FileEntry& other) const { return id == other.id; }
};

// The entries of the directory at `directory`, as listed entries with their own paths.
std::vector<FileEntry> fileEntriesIn(const DiskPath& directory, std::vector<DirectoryEntry> entries);
// Their display names, in order: what messages and batch results name them by.
std::vector<std::string> displayNames(const std::vector<FileEntry>& entries);

} // namespace tamberlane
