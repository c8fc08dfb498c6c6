#include "engine/fat/LongName.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/LFNParser.h"
#include "engine/fat/NewEntryName.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>

namespace tamberlane::LongName {

namespace {

constexpr std::size_t unitsPerSlot = 13;
constexpr std::array<std::size_t, unitsPerSlot> unitOffsets = {1,  3,  5,  7,  9,  14, 16,
                                                               18, 20, 22, 24, 28, 30};
constexpr std::uint8_t lastSlotFlag = 0x40;

bool forbiddenInLongName(UChar32 c) {
    static constexpr std::u32string_view forbidden = U"\\/:*?\"<>|";
    return c < 0x20 || c == 0x7F || forbidden.find(static_cast<char32_t>(c)) != forbidden.npos ||
           u_charType(c) == U_CONTROL_CHAR;
}

std::string upperCased(const std::string& text) {
    std::string out;
    icu::UnicodeString::fromUTF8(text).toUpper(icu::Locale::getRoot()).toUTF8String(out);
    return out;
}

// The part of an alias taken from one side of the name: upper case, without the blanks
// and full stops no alias holds, in at most `maxBytes` bytes.
Bytes aliasPart(const std::string& part, std::size_t maxBytes) {
    std::string kept;
    std::remove_copy_if(part.begin(), part.end(), std::back_inserter(kept),
                        [](char c) { return c == ' ' || c == '.'; });
    if (kept.empty()) {
        return {};
    }
    // The 8.3 conversion upper-cases, maps what Shift-JIS lacks and what a short name may
    // not hold to "_", and cuts between characters; its padding and its 0x05 for a first
    // 0xE5 come off here and go back on once the tail is added.
    Bytes bytes = DirectoryEntryParser::convertTo83Name(kept, "").first;
    if (bytes[0] == 0x05) {
        bytes[0] = DirectorySlot::deletedMark;
    }
    while (!bytes.empty() && bytes.back() == ' ') {
        bytes.pop_back();
    }
    return DirectoryEntryParser::truncateRespectingMultibyte(bytes, maxBytes);
}

} // namespace

std::string stored(const std::string& name) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(name);
    icu::UnicodeString out;
    for (std::int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        if (forbiddenInLongName(c)) {
            out.append(u'_');
        } else {
            out.append(c);
        }
        i += U16_LENGTH(c);
    }
    std::int32_t end = out.length();
    while (end > 0 && (out[end - 1] == u'.' || out[end - 1] == u' ')) {
        --end;
    }
    out.truncate(end);
    if (static_cast<std::size_t>(out.length()) > maxUnits) {
        throw DiskImageError::nameTooLong(name);
    }
    std::string result;
    out.toUTF8String(result);
    // Nothing but dots and blanks names nothing a driver could find; "_" is what an empty
    // short name becomes as well.
    return result.empty() ? "_" : result;
}

bool isOwnShortName(const std::string& name) {
    const auto [base, extension] = NewEntryName::split(name);
    if (base.empty() || name.back() == '.') {
        return false;
    }
    const auto [name8, extension3] = NewEntryName::shortNameKey(base, extension);
    return NewEntryName::listedShortName(name8, extension3) == name;
}

std::pair<Bytes, Bytes> alias(const std::string& name, const KeyTaken& taken) {
    const std::string upper = upperCased(name);
    const auto [base, extension] = NewEntryName::split(name);
    if (isOwnShortName(upper)) {
        const auto [upperBase, upperExtension] = NewEntryName::split(upper);
        auto key = NewEntryName::shortNameKey(upperBase, upperExtension);
        if (!taken(key.first, key.second)) {
            return key;
        }
    }
    Bytes basis = aliasPart(base, 6);
    if (basis.empty()) {
        basis = {'_'};
    }
    Bytes extension3 = aliasPart(extension, 3);
    extension3.resize(3, ' ');
    // Every entry of a directory could hold one; past that many, no number is free.
    for (std::size_t n = 1; n <= DirectorySlot::maxPerDirectory; ++n) {
        const std::string tail = "~" + std::to_string(n);
        Bytes name8 = DirectoryEntryParser::truncateRespectingMultibyte(basis, 8 - tail.size());
        name8.insert(name8.end(), tail.begin(), tail.end());
        name8.resize(8, ' ');
        if (name8[0] == DirectorySlot::deletedMark) {
            name8[0] = 0x05;
        }
        if (!taken(name8, extension3)) {
            return {name8, extension3};
        }
    }
    throw DiskImageError::nameClash(name);
}

std::uint8_t aliasFirstByte(const std::string& name) {
    const Bytes basis = aliasPart(NewEntryName::split(name).first, 8);
    if (basis.empty()) {
        return '_';
    }
    return basis[0] == DirectorySlot::deletedMark ? 0x05 : basis[0];
}

std::vector<Bytes> slots(const std::string& name, ByteView shortName) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(name);
    const auto length = static_cast<std::size_t>(text.length());
    const std::size_t count = (length + unitsPerSlot - 1) / unitsPerSlot;
    const std::uint8_t checksum = LFNParser::calculateChecksum(shortName);
    std::vector<Bytes> out;
    for (std::size_t sequence = count; sequence >= 1; --sequence) {
        Bytes slot(DirectorySlot::size, 0);
        slot[0] = static_cast<std::uint8_t>(sequence | (sequence == count ? lastSlotFlag : 0));
        DirectorySlot::setAttributes(slot, FileAttributes::longNameSlot);
        slot[DirectorySlot::longNameChecksumOffset] = checksum;
        for (std::size_t k = 0; k < unitsPerSlot; ++k) {
            const std::size_t at = (sequence - 1) * unitsPerSlot + k;
            // The name ends with one 0x0000 unless it fills its last slot; 0xFFFF pads.
            const std::uint16_t unit =
                at < length ? static_cast<std::uint16_t>(text[static_cast<std::int32_t>(at)])
                            : (at == length ? 0x0000 : 0xFFFF);
            slot[unitOffsets[k]] = static_cast<std::uint8_t>(unit & 0xFF);
            slot[unitOffsets[k] + 1] = static_cast<std::uint8_t>(unit >> 8);
        }
        out.push_back(std::move(slot));
    }
    return out;
}

void retie(std::vector<Bytes>& run) {
    const std::uint8_t checksum =
        LFNParser::calculateChecksum(DirectorySlot(run.back()).shortName());
    for (std::size_t k = 0; k + 1 < run.size(); ++k) {
        run[k][DirectorySlot::longNameChecksumOffset] = checksum;
    }
}

} // namespace tamberlane::LongName
