#include "engine/operations/EntryRename.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/NewEntryName.h"

#include <algorithm>
#include <chrono>

namespace tamberlane {

std::string EntryRename::rename(const FileEntry& entry, const std::string& newName,
                                LongNamePolicy policy) {
    // A longer name may grow the directory by a cluster.
    return editor_.change(FATWrite::yes, [&] {
        const std::optional<VolumeEditor::Placed> placed = editor_.locate(entry);
        if (!placed) {
            throw DiskImageError::entryNotFound(entry.directoryEntry.displayName());
        }
        DirectoryTable& table = *placed->table;
        const NewEntryName::Planned name =
            NewEntryName::plan(newName, table, editor_.writesLongNames(policy, table), placed->run);
        std::vector<std::size_t> clashes = table.namesakes(name.name83, name.ext83, name.names());
        // With long names, its own old name is not in the way: the same name in another
        // case is a rename too. An 8.3 name is its own upper-cased form: no change at all.
        if (name.withLongNames) {
            std::erase(clashes, placed->run);
        }
        if (!clashes.empty()) {
            throw DiskImageError::nameClash(
                name.clashName(), NewEntryName::nameIfOther(
                                      table[clashes.front()].slots.entry.displayName(), newName));
        }
        if (!name.longName) {
            table.edit(
                placed->run,
                [&](DirectorySlot::Mutable slot) {
                    DirectorySlot::setShortName(slot, name.name83, name.ext83);
                },
                true);
            return name.listedName();
        }
        // The new long name may need more slots than the old run had: the entry moves to
        // where they fit. Its clusters stay, so nothing that points at it changes.
        const ByteView old = table.slotBytes(placed->run);
        const std::vector<Bytes> slots = name.slots(Bytes(old.begin(), old.end()));
        table.remove(placed->run);
        table.add(slots);
        return name.listedName();
    });
}

std::string EntryRename::createDirectory(const std::string& name, const DiskPath& in,
                                         LongNamePolicy policy) {
    return editor_.change(FATWrite::yes, [&] {
        DirectoryTable& table = editor_.directory(in);
        const NewEntryName::Planned planned =
            NewEntryName::plan(name, table, editor_.writesLongNames(policy, table));
        if (!table.namesakes(planned.name83, planned.ext83, planned.names()).empty()) {
            throw DiskImageError::directoryExists(name);
        }
        DiskImage& image = editor_.image();
        const std::uint16_t cluster =
            editor_.allocate(1, image.addressing().bytesPerCluster()).front();
        image.writeCluster(cluster,
                           editor_.newDirectoryCluster(cluster, table.firstCluster().value_or(0)));
        DirectoryEntry entry;
        entry.attributes.rawValue = FileAttributes::directory;
        entry.modifiedDate =
            std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        entry.startCluster = cluster;
        table.add(planned.slots(DirectoryEntryParser::serialize(entry)));
        return planned.listedName();
    });
}

std::optional<std::string> EntryRename::storedShortName(const std::string& given,
                                                        const DiskPath& in, LongNamePolicy policy) {
    try {
        DirectoryTable& table = editor_.directory(in);
        if (editor_.writesLongNames(policy, table)) {
            return std::nullopt;
        }
        const NewEntryName::Planned planned = NewEntryName::plan(given, table, false);
        return NewEntryName::listedShortName(planned.name83, planned.ext83);
    } catch (const DiskImageError&) {
        return std::nullopt;
    }
}

} // namespace tamberlane
