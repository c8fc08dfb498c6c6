#include "engine/fat/DiskPath.h"

#include "engine/fat/EntryLookup.h"

namespace tamberlane {

DiskPath DiskPath::appending(const std::string& component) const {
    DiskPath p = *this;
    p.components.push_back(component);
    return p;
}

DiskPath DiskPath::parent() const {
    DiskPath p = *this;
    if (!p.components.empty()) {
        p.components.pop_back();
    }
    return p;
}

std::string DiskPath::displayString() const {
    if (components.empty()) {
        return "/";
    }
    std::string out;
    for (const std::string& c : components) {
        out += "/" + c;
    }
    return out;
}

DiskPath DiskPath::fromString(const std::string& text) {
    DiskPath p;
    std::string current;
    for (char c : text) {
        if (c == '/') {
            if (!current.empty()) {
                p.components.push_back(current);
            }
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        p.components.push_back(current);
    }
    return p;
}

std::vector<FileEntry> fileEntriesIn(const DiskPath& directory,
                                     std::vector<DirectoryEntry> entries) {
    // Paths are made of printed names, so that each names one entry when resolved again.
    const std::vector<std::string> printed = EntryLookup::printedNames(entries);
    std::vector<FileEntry> result;
    result.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        DirectoryEntry& entry = entries[i];
        FileEntry fileEntry;
        fileEntry.id = entry.id;
        fileEntry.path = directory.appending(printed[i]);
        fileEntry.directoryEntry = std::move(entry);
        result.push_back(std::move(fileEntry));
    }
    return result;
}

std::vector<std::string> displayNames(const std::vector<FileEntry>& entries) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const FileEntry& entry : entries) {
        names.push_back(entry.directoryEntry.displayName());
    }
    return names;
}

} // namespace tamberlane
