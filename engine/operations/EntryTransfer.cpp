#include "engine/operations/EntryTransfer.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/LongName.h"
#include "engine/fat/NewEntryName.h"

#include <algorithm>

namespace tamberlane {

namespace {

DiskImageError clashOf(const FileEntry& entry, const DirectoryEntry& existing) {
    const std::string name = entry.directoryEntry.displayName();
    return DiskImageError::nameClash(name, NewEntryName::nameIfOther(existing.displayName(), name));
}

} // namespace

std::optional<EntryTransfer::Prepared> EntryTransfer::prepare(const FileEntry& entry,
                                                              const DiskPath& to) {
    editor_.image().checkWritable();
    const std::optional<VolumeEditor::Placed> from = editor_.locate(entry);
    if (!from) {
        throw DiskImageError::staleEntry(entry.directoryEntry.displayName());
    }
    const DirectoryEntry& moved = entry.directoryEntry;
    DirectoryTable& target = editor_.directory(to, [&moved](std::uint16_t step) {
        // A tree put inside itself would be its own ancestor: a loop no walk ends.
        if (moved.isDirectory() && step == moved.startCluster) {
            throw DiskImageError::intoItself(moved.displayName());
        }
    });
    // Into the directory it is in: the entry is already where it is asked to be.
    if (&target == from->table) {
        return std::nullopt;
    }
    std::vector<Bytes> slots = from->table->runBytes(from->run);
    if (!moved.longFileName) {
        // The entry keeps its slots, so it is listed under its name there.
        return Prepared{*from, &target,
                        target.namesakes(moved.rawName, moved.rawExtension,
                                         {moved.displayName(), moved.shortName()}),
                        std::move(slots)};
    }
    // Listed under its long name there, the entry is the file of that name; its alias is
    // only a name drivers need, and another one serves where that is taken.
    std::vector<std::size_t> clashes = target.namesakes({}, {}, {moved.displayName()});
    if (clashes.empty() &&
        !target.namesakes(moved.rawName, moved.rawExtension, {moved.shortName()}).empty()) {
        const auto [name8, extension3] =
            LongName::alias(*moved.longFileName, [&target](ByteView name, ByteView extension) {
                return !target
                            .namesakes(name, extension,
                                       {NewEntryName::listedShortName(name, extension)})
                            .empty();
            });
        DirectorySlot::setShortName(slots.back(), name8, extension3);
        LongName::retie(slots);
    }
    return Prepared{*from, &target, std::move(clashes), std::move(slots)};
}

std::uint16_t EntryTransfer::copyFileData(std::uint16_t start, std::uint32_t size,
                                          const std::stop_token& stop) {
    if (size == 0) {
        return 0;
    }
    DiskImage& image = editor_.image();
    const std::int64_t bytesPerCluster =
        std::max<std::int64_t>(image.addressing().bytesPerCluster(), 1);
    const std::int64_t needed =
        (static_cast<std::int64_t>(size) + bytesPerCluster - 1) / bytesPerCluster;
    const std::vector<std::uint16_t> source = FATParser::getClusterChain(start, image.fatTable());
    if (static_cast<std::int64_t>(source.size()) < needed) {
        throw DiskImageError::invalidCluster(start);
    }
    const std::vector<std::uint16_t> copy = editor_.allocate(needed, size);
    for (std::size_t i = 0; i < copy.size(); ++i) {
        throwIfStopped(stop);
        image.writeCluster(copy[i], image.readCluster(source[i]));
    }
    return copy.empty() ? 0 : copy.front();
}

std::uint16_t EntryTransfer::copyTree(std::uint16_t start, std::uint16_t newParent, int depth,
                                      const BatchOptions& options) {
    if (depth >= DirectoryReader::maxDepth) {
        throw DiskImageError::directoryDepthExceeded(DirectoryReader::maxDepth);
    }
    // Read before anything is written, so the copy never sees itself.
    std::vector<std::vector<Bytes>> children;
    std::vector<std::string> names;
    {
        const DirectoryTable& source = editor_.directoryAt(start);
        for (std::size_t run = 0; run < source.runCount(); ++run) {
            const SlotRun::Kind kind = source[run].slots.kind;
            if (!source[run].removed && kind != SlotRun::Kind::dotEntry &&
                kind != SlotRun::Kind::volumeLabel) {
                children.push_back(source.runBytes(run));
                names.push_back(source[run].slots.entry.displayName());
            }
        }
    }
    DiskImage& image = editor_.image();
    const std::uint16_t cluster = editor_.allocate(1, image.addressing().bytesPerCluster()).front();
    image.writeCluster(cluster, editor_.newDirectoryCluster(cluster, newParent));
    for (std::size_t i = 0; i < children.size(); ++i) {
        std::vector<Bytes>& slots = children[i];
        if (options.entryReached) {
            options.entryReached(names[i]);
        }
        DirectorySlot::setStartCluster(slots.back(),
                                       copyContents(slots.back(), cluster, depth + 1, options));
        editor_.directoryAt(cluster).add(slots);
    }
    return cluster;
}

std::uint16_t EntryTransfer::copyContents(ByteView slot, std::uint16_t newParent, int depth,
                                          const BatchOptions& options) {
    const DirectorySlot source(slot);
    if (source.isDirectory()) {
        return copyTree(source.startCluster(), newParent, depth, options);
    }
    return copyFileData(source.startCluster(), source.fileSize(), options.stop);
}

void EntryTransfer::copyOne(const FileEntry& entry, const DiskPath& to,
                            const BatchOptions& options) {
    const std::optional<Prepared> prepared = prepare(entry, to);
    if (!prepared) {
        return;
    }
    DirectoryTable& target = *prepared->target;
    if (!prepared->clashes.empty()) {
        const std::size_t clash = prepared->clashes.front();
        const DirectoryEntry& existing = target[clash].slots.entry;
        // Only one file replaces one file: a second namesake would stay listed beside it.
        if (!options.overwrite || prepared->clashes.size() != 1 ||
            entry.directoryEntry.isDirectory() || existing.isDirectory()) {
            throw clashOf(entry, existing);
        }
        const std::uint16_t start = existing.startCluster;
        target.remove(clash);
        editor_.freeChain(start);
    }
    std::vector<Bytes> slots = prepared->slots;
    const Bytes source = slots.back();
    DirectorySlot::setStartCluster(
        slots.back(), copyContents(source, target.firstCluster().value_or(0), 0, options));
    target.add(slots);
}

void EntryTransfer::moveOne(const FileEntry& entry, const DiskPath& to) {
    const std::optional<Prepared> prepared = prepare(entry, to);
    if (!prepared) {
        return;
    }
    DirectoryTable& target = *prepared->target;
    if (!prepared->clashes.empty()) {
        throw clashOf(entry, target[prepared->clashes.front()].slots.entry);
    }
    const VolumeEditor::Placed& from = prepared->from;
    target.add(prepared->slots);
    from.table->remove(from.run);
    const DirectoryEntry& source = entry.directoryEntry;
    if (source.isDirectory() && source.startCluster >= 2) {
        // The moved directory's ".." names its new parent.
        DirectoryTable& moved = editor_.directoryAt(source.startCluster);
        for (std::size_t run = 0; run < moved.runCount(); ++run) {
            if (moved[run].slots.kind == SlotRun::Kind::dotEntry &&
                moved[run].slots.entry.name == "..") {
                const std::uint16_t parent = target.firstCluster().value_or(0);
                moved.edit(run, [parent](DirectorySlot::Mutable slot) {
                    DirectorySlot::setStartCluster(slot, parent);
                });
                break;
            }
        }
        editor_.forgetPaths();
    }
}

BatchResult EntryTransfer::copyEntries(const std::vector<FileEntry>& entries, const DiskPath& to,
                                       const BatchOptions& options) {
    return editor_.batch(
        displayNames(entries), [&](std::size_t i) { copyOne(entries[i], to, options); }, options);
}

BatchResult EntryTransfer::moveEntries(const std::vector<FileEntry>& entries, const DiskPath& to,
                                       const BatchOptions& options) {
    return editor_.batch(
        displayNames(entries), [&](std::size_t i) { moveOne(entries[i], to); }, options);
}

} // namespace tamberlane
