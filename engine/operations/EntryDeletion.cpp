#include "engine/operations/EntryDeletion.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/PathResolver.h"

#include <algorithm>
#include <set>
#include <string>

namespace tamberlane {

void EntryDeletion::deleteContents(std::uint16_t directory, int depth) {
    if (depth >= DirectoryReader::maxDepth) {
        throw DiskImageError::directoryDepthExceeded(DirectoryReader::maxDepth);
    }
    DirectoryTable& table = editor_.directoryAt(directory);
    for (std::size_t run = 0; run < table.runCount(); ++run) {
        const SlotRun& slots = table[run].slots;
        if (table[run].removed || !slots.isListed()) {
            continue;
        }
        const std::uint16_t start = slots.entry.startCluster;
        if (slots.entry.isDirectory()) {
            deleteContents(start, depth + 1);
        }
        table.remove(run);
        editor_.freeChain(start);
    }
}

void EntryDeletion::deleteOne(const FileEntry& entry, bool recursive) {
    editor_.image().checkWritable();
    // A listing can be older than the disk: freeing a chain no slot names any more would
    // free another file's clusters.
    const std::optional<VolumeEditor::Placed> placed = editor_.locate(entry);
    if (!placed) {
        throw DiskImageError::entryNotFound(entry.directoryEntry.displayName());
    }
    const std::uint16_t start = entry.directoryEntry.startCluster;
    if (entry.directoryEntry.isDirectory()) {
        if (recursive && start >= 2) {
            deleteContents(start, 0);
        }
        editor_.forgetPaths();
    }
    placed->table->remove(placed->run);
    editor_.freeChain(start);
}

void EntryDeletion::deleteEntry(const FileEntry& entry, bool recursive) {
    editor_.change(FATWrite::yes, [&] { deleteOne(entry, recursive); });
}

BatchResult EntryDeletion::deleteEntries(const std::vector<FileEntry>& entries, bool recursive,
                                         BatchMode mode) {
    // Read before anything changes: the directories each entry lies in (by first
    // cluster) and what names it, so that a later item can tell it is gone already.
    const auto keyOf = [](const FileEntry& entry, std::uint16_t parent) {
        const DirectoryEntry& e = entry.directoryEntry;
        std::string key = std::to_string(parent) + "/" + std::to_string(e.startCluster) + "/";
        key.append(e.rawName.begin(), e.rawName.end());
        return key.append(e.rawExtension.begin(), e.rawExtension.end());
    };
    std::vector<std::vector<std::uint16_t>> ancestors(entries.size());
    std::vector<std::string> keys(entries.size());
    const PathResolver resolver(editor_.image());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        try {
            resolver.directory(entries[i].path.parent(), PathResolver::Wording::change,
                               [&](std::uint16_t step) { ancestors[i].push_back(step); });
            keys[i] = keyOf(entries[i], ancestors[i].empty() ? 0 : ancestors[i].back());
        } catch (const DiskImageError&) {
            // Left to fail in its turn, in the words of the change.
        }
    }
    std::set<std::string> removed;
    std::set<std::uint16_t> removedTrees;
    BatchOptions options;
    options.mode = mode;
    return editor_.batch(
        displayNames(entries),
        [&](std::size_t i) {
            const bool insideRemovedTree =
                recursive && std::any_of(ancestors[i].begin(), ancestors[i].end(),
                                         [&](std::uint16_t c) { return removedTrees.count(c); });
            if ((!keys[i].empty() && removed.count(keys[i]) != 0) || insideRemovedTree) {
                return;
            }
            deleteOne(entries[i], recursive);
            if (!keys[i].empty()) {
                removed.insert(keys[i]);
            }
            const DirectoryEntry& e = entries[i].directoryEntry;
            if (recursive && e.isDirectory() && e.startCluster >= 2) {
                removedTrees.insert(e.startCluster);
            }
        },
        options);
}

} // namespace tamberlane
