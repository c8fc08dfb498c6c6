#include "engine/fat/DirectoryNameIndex.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/EntryLookup.h"

#include <algorithm>

namespace tamberlane {

namespace {

std::string keyOf(ByteView name83, ByteView ext83) {
    std::string key(name83.begin(), name83.end());
    key.append(ext83.begin(), ext83.end());
    return key;
}

} // namespace

DirectoryNameIndex DirectoryNameIndex::of(const DiskImage& image, const DirectoryStorage& storage) {
    DirectoryNameIndex index;
    // Parsed as a listing parses it: the volume label is nobody's name, and a long name
    // counts as much as the short name another tool stored beside it.
    for (DirectoryReader::PlacedEntry& placed :
         DirectoryReader::parsePlacedEntries(storage.readAll(image))) {
        index.insert(
            Indexed{std::move(placed.entry), storage.locationOf(image, placed.slotOffset), false});
    }
    return index;
}

void DirectoryNameIndex::add(DirectoryEntry entry) {
    insert(Indexed{std::move(entry), std::nullopt, true});
}

void DirectoryNameIndex::insert(Indexed indexed) {
    const std::size_t i = entries_.size();
    const DirectoryEntry& entry = indexed.entry;
    byKey_.emplace(keyOf(entry.rawName, entry.rawExtension), i);
    const std::string display = EntryLookup::foldCase(entry.displayName());
    const std::string alias = EntryLookup::foldCase(entry.shortName());
    byFoldedName_.emplace(display, i);
    if (alias != display) {
        byFoldedName_.emplace(alias, i);
    }
    entries_.push_back(std::move(indexed));
}

std::vector<std::size_t>
DirectoryNameIndex::namesakes(ByteView name83, ByteView ext83,
                              const std::vector<std::string>& names) const {
    std::vector<std::size_t> found;
    const auto collect = [&found](const auto& range) {
        for (auto it = range.first; it != range.second; ++it) {
            found.push_back(it->second);
        }
    };
    collect(byKey_.equal_range(keyOf(name83, ext83)));
    for (const std::string& name : names) {
        collect(byFoldedName_.equal_range(EntryLookup::foldCase(name)));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

} // namespace tamberlane
