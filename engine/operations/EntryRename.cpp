#include "engine/operations/EntryRename.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/NewEntryName.h"

#include <chrono>

namespace tamberlane {

void EntryRename::rename(const FileEntry& entry, const std::string& newName,
                         const std::string& newExtension) {
    editor_.change(FATWrite::no, [&] {
        NewEntryName::refuseReserved(newName, newExtension);
        const auto [name83, ext83] = NewEntryName::shortNameKey(newName, newExtension);
        const std::optional<VolumeEditor::Placed> placed = editor_.locate(entry);
        if (!placed) {
            throw DiskImageError::entryNotFound(entry.directoryEntry.displayName());
        }
        DirectoryTable& table = *placed->table;
        // The renamed entry loses its long name and is listed under the short one.
        const std::vector<std::size_t> clashes =
            table.namesakes(name83, ext83, {NewEntryName::listedShortName(name83, ext83)});
        if (!clashes.empty()) {
            const std::string typed = newExtension.empty() ? newName : newName + "." + newExtension;
            throw DiskImageError::nameClash(
                newName + "." + newExtension,
                NewEntryName::nameIfOther(table[clashes.front()].slots.entry.displayName(), typed));
        }
        table.edit(
            placed->run,
            [&](DirectorySlot::Mutable slot) { DirectorySlot::setShortName(slot, name83, ext83); },
            true);
    });
}

void EntryRename::createDirectory(const std::string& name, const DiskPath& in) {
    editor_.change(FATWrite::yes, [&] {
        NewEntryName::refuseReserved(name, "");
        const auto [name83, ext83] = NewEntryName::shortNameKey(name, "");
        DirectoryTable& table = editor_.directory(in);
        if (!table.namesakes(name83, ext83, {NewEntryName::listedShortName(name83, ext83)})
                 .empty()) {
            throw DiskImageError::directoryExists(name);
        }
        DiskImage& image = editor_.image();
        const std::uint16_t cluster =
            editor_.allocate(1, image.addressing().bytesPerCluster()).front();
        image.writeCluster(cluster,
                           editor_.newDirectoryCluster(cluster, table.firstCluster().value_or(0)));
        DirectoryEntry entry;
        entry.name = name;
        entry.attributes.rawValue = FileAttributes::directory;
        entry.modifiedDate =
            std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        entry.startCluster = cluster;
        entry.rawName = name83;
        entry.rawExtension = ext83;
        table.add({DirectoryEntryParser::serialize(entry)});
    });
}

} // namespace tamberlane
