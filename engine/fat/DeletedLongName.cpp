#include "engine/fat/DeletedLongName.h"

#include "engine/base/ShiftJIS.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/LFNParser.h"
#include "engine/fat/LongName.h"

#include <algorithm>
#include <string_view>

namespace tamberlane::DeletedLongName {

namespace {

constexpr std::uint16_t nameEnd = 0x0000;
constexpr std::uint16_t padding = 0xFFFF;
constexpr std::size_t maxUnits = 255;

bool isDeletedLongNameSlot(ByteView slot) {
    return slot.size() >= DirectorySlot::size && DirectorySlot(slot).isDeleted() &&
           DirectorySlot(slot).isLongName();
}

// A trail byte of code page 932 (the second byte of a two-byte character).
bool isTrailByte(std::uint8_t byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Whether an alias may start with `first` followed by `second`. Lower-case letters are
// never stored, and 0xE5 would mark the entry deleted (0x05 stands for it).
bool isAliasStart(std::uint8_t first, std::uint8_t second) {
    if (first == DirectorySlot::deletedMark || (first >= 'a' && first <= 'z')) {
        return false;
    }
    if (isShiftJISLeadByte(first == DirectorySlot::stoodForDeletedMark ? DirectorySlot::deletedMark
                                                                       : first)) {
        return isTrailByte(second);
    }
    return DirectoryEntryParser::isValidShortNameByte(first);
}

// The units of the name, nearest slot first, or nothing when the slots do not hold one
// whole name: only the farthest slot may end it, with the end mark and padding after it,
// or be filled exactly.
std::optional<std::vector<std::uint16_t>> unitsOf(const std::vector<ByteView>& slots) {
    std::vector<std::uint16_t> units;
    for (auto slot = slots.rbegin(); slot != slots.rend(); ++slot) {
        const auto held = LFNParser::slotUnits(*slot);
        const bool farthest = std::next(slot) == slots.rend();
        const auto end = std::find(held.begin(), held.end(), nameEnd);
        const bool ends = end != held.end();
        if (ends && (!farthest || end == held.begin())) {
            return std::nullopt;
        }
        if (std::find(held.begin(), end, padding) != end ||
            (ends && !std::all_of(std::next(end), held.end(),
                                  [](std::uint16_t u) { return u == padding; }))) {
            return std::nullopt;
        }
        units.insert(units.end(), held.begin(), end);
    }
    return units;
}

// A name other systems accept: whole surrogate pairs, no control or reserved character.
bool isValidName(const std::vector<std::uint16_t>& units) {
    static constexpr std::u16string_view reserved = u"\"*/:<>?\\|";
    if (units.empty() || units.size() > maxUnits) {
        return false;
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if ((u >= 0xDC00 && u <= 0xDFFF) || u < 0x20 ||
                   reserved.find(static_cast<char16_t>(u)) != reserved.npos) {
            return false;
        }
    }
    return true;
}

} // namespace

std::uint8_t firstByteFor(std::uint8_t checksum, ByteView shortName) {
    std::uint8_t sum = checksum;
    for (std::size_t i = 10; i >= 1; --i) {
        // Each step was: rotate right by one, then add the byte.
        const auto before = static_cast<std::uint8_t>(sum - shortName[i]);
        sum = static_cast<std::uint8_t>((before << 1) | (before >> 7));
    }
    return sum;
}

std::optional<RecoveredLongName> recover(const std::vector<ByteView>& slots, ByteView shortSlot) {
    if (slots.empty() || slots.size() > maxSlots || shortSlot.size() < DirectorySlot::size ||
        !std::all_of(slots.begin(), slots.end(), isDeletedLongNameSlot)) {
        return std::nullopt;
    }
    const std::uint8_t checksum = DirectorySlot(slots.front()).longNameChecksum();
    if (!std::all_of(slots.begin(), slots.end(), [checksum](ByteView slot) {
            return DirectorySlot(slot).longNameChecksum() == checksum;
        })) {
        return std::nullopt;
    }
    const ByteView shortName = DirectorySlot(shortSlot).shortName();
    const std::uint8_t first = firstByteFor(checksum, shortName);
    if (!isAliasStart(first, shortName[1])) {
        return std::nullopt;
    }
    const auto units = unitsOf(slots);
    if (!units || !isValidName(*units)) {
        return std::nullopt;
    }
    const auto name = LFNParser::buildString(*units);
    // An alias starts as its long name does (or with the "_" of a character its maker
    // could not map). Slots left from a name the entry had before a rename carry another
    // alias's checksum: some first byte always satisfies it, but seldom this one.
    if (!name || (first != LongName::aliasFirstByte(*name) && first != '_')) {
        return std::nullopt;
    }
    return RecoveredLongName{*name, first};
}

} // namespace tamberlane::DeletedLongName
