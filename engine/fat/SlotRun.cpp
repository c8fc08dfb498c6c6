#include "engine/fat/SlotRun.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/LFNParser.h"

#include <algorithm>

namespace tamberlane {

std::vector<SlotRun> slotRunsOf(ByteView data) {
    std::vector<SlotRun> runs;
    std::vector<std::size_t> pendingOffsets;
    std::vector<LFNFragment> pending;
    const auto forget = [&] {
        pendingOffsets.clear();
        pending.clear();
    };
    for (std::size_t offset = 0; offset + DirectorySlot::size <= data.size();
         offset += DirectorySlot::size) {
        const DirectorySlot slot(data.subspan(offset, DirectorySlot::size));
        if (slot.isEnd()) {
            break;
        }
        if (slot.isDeleted()) {
            forget();
            continue;
        }
        if (slot.isLongName()) {
            pendingOffsets.push_back(offset);
            if (auto fragment = LFNParser::parseLFNEntry(slot.bytes())) {
                pending.push_back(*fragment);
            }
            continue;
        }
        SlotRun run;
        run.offset = offset;
        if (slot.isVolumeLabel()) {
            run.kind = SlotRun::Kind::volumeLabel;
            runs.push_back(std::move(run));
            forget();
            continue;
        }
        const std::uint8_t checksum = LFNParser::calculateChecksum(slot.shortName());
        // Slots of another name (a stale checksum) are not this entry's.
        const bool ownsPending =
            std::all_of(pendingOffsets.begin(), pendingOffsets.end(), [&](std::size_t at) {
                return DirectorySlot(data.subspan(at, DirectorySlot::size)).longNameChecksum() ==
                       checksum;
            });
        DirectoryEntryParseResult parsed = DirectoryEntryParser::parse(slot.bytes());
        run.kind = SlotRun::Kind::unreadable;
        if (parsed.kind == DirectoryEntryParseResult::Kind::entry) {
            run.entry = std::move(parsed.entry);
            const bool dot = run.entry.name == "." || run.entry.name == "..";
            run.kind = dot ? SlotRun::Kind::dotEntry : SlotRun::Kind::entry;
            if (ownsPending && !pending.empty()) {
                run.entry.longFileName = LFNParser::assembleLFN(pending);
            }
        }
        if (ownsPending) {
            run.longNameOffsets = std::move(pendingOffsets);
        }
        runs.push_back(std::move(run));
        forget();
    }
    return runs;
}

} // namespace tamberlane
