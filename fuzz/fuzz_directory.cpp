// Directory bytes as a directory reader meets them: each 32-byte slot alone (short
// entry, long-name fragment), the long-name runs assembled, and the whole run of slots
// parsed into entries with their long names; parsed entries are written back, and each
// name a listing prints must name its entry again.

#include "fuzz/FuzzSupport.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/LFNParser.h"

#include <map>

using namespace tamberlane;

namespace {

constexpr std::size_t slotSize = 32;

void parseSlotsOneByOne(ByteView bytes) {
    std::vector<LFNFragment> fragments;
    for (std::size_t offset = 0; offset + slotSize <= bytes.size(); offset += slotSize) {
        const ByteView slot = bytes.subspan(offset, slotSize);
        if (auto fragment = LFNParser::parseLFNEntry(slot)) {
            fragments.push_back(*fragment);
            continue;
        }
        fuzz::refusingOnlyWithDiskImageError([&] {
            const DirectoryEntryParseResult result = DirectoryEntryParser::parse(slot);
            if (result.kind == DirectoryEntryParseResult::Kind::entry) {
                DirectoryEntryParser::serialize(result.entry);
                result.entry.displayName();
            }
        });
        if (!fragments.empty()) {
            LFNParser::calculateChecksum(slot.first(11));
            LFNParser::validateSequence(fragments);
            LFNParser::assembleLFN(fragments);
            fragments.clear();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView bytes(data, size);
    parseSlotsOneByOne(bytes);
    fuzz::refusingOnlyWithDiskImageError([&] {
        const std::vector<DirectoryEntry> entries = DirectoryReader::parseDirectoryEntries(bytes);
        std::vector<EntryLookup::EntryNames> names;
        std::map<std::string, int> raws;
        for (const DirectoryEntry& entry : entries) {
            names.push_back(EntryLookup::namesOf(entry));
            ++raws[names.back().rawForm];
        }
        // Whatever a listing prints names that entry again, unless the directory holds two
        // entries of the very same raw name (which nothing can tell apart).
        const std::vector<std::string> printed = EntryLookup::printedNames(entries);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (raws[names[i].rawForm] == 1 && EntryLookup::findNamed(names, printed[i]) != i) {
                __builtin_trap();
            }
        }
    });
    return 0;
}
