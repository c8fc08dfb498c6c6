#include "engine/fat/LFNParser.h"

#include <unicode/unistr.h>

#include <algorithm>

namespace tamberlane::LFNParser {

namespace {

constexpr std::array<std::size_t, 13> unitOffsets = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
constexpr std::int32_t maxNameCharacters = 255;

} // namespace

std::optional<LFNFragment> parseLFNEntry(ByteView entryData) {
    if (entryData.size() < 32 || entryData[11] != 0x0F) {
        return std::nullopt;
    }
    const std::uint8_t sequence = entryData[0] & 0x3F;
    if (sequence == 0 || sequence > 20) {
        return std::nullopt;
    }
    LFNFragment fragment;
    fragment.sequenceNumber = sequence;
    fragment.characters = slotUnits(entryData);
    fragment.checksum = entryData[13];
    fragment.isLast = (entryData[0] & 0x40) != 0;
    return fragment;
}

std::array<std::uint16_t, 13> slotUnits(ByteView entryData) {
    std::array<std::uint16_t, 13> units{};
    for (std::size_t i = 0; i < unitOffsets.size(); ++i) {
        units[i] = readU16LE(entryData, unitOffsets[i]);
    }
    return units;
}

std::uint8_t calculateChecksum(ByteView shortName) {
    if (shortName.size() < 11) {
        return 0;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 11; ++i) {
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortName[i]);
    }
    return sum;
}

bool validateSequence(const std::vector<LFNFragment>& fragments) {
    if (fragments.empty()) {
        return false;
    }
    const std::uint8_t checksum = fragments.front().checksum;
    std::vector<std::uint8_t> numbers;
    std::size_t lastCount = 0;
    std::uint8_t lastNumber = 0;
    for (const LFNFragment& f : fragments) {
        if (f.checksum != checksum) {
            return false;
        }
        if (f.isLast) {
            ++lastCount;
            lastNumber = f.sequenceNumber;
        }
        numbers.push_back(f.sequenceNumber);
    }
    if (lastCount != 1 || lastNumber != fragments.size()) {
        return false;
    }
    std::sort(numbers.begin(), numbers.end());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] != i + 1) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> buildString(const std::vector<std::uint16_t>& units) {
    if (units.empty()) {
        return std::nullopt;
    }
    icu::UnicodeString text;
    std::int32_t characters = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (characters >= maxNameCharacters) {
            break;
        }
        const std::uint16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            text.append(static_cast<char16_t>(u));
            text.append(static_cast<char16_t>(units[i + 1]));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            text.append(static_cast<char16_t>(0xFFFD));
        } else {
            text.append(static_cast<char16_t>(u));
        }
        ++characters;
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::optional<std::string> assembleLFN(const std::vector<LFNFragment>& fragments) {
    if (!validateSequence(fragments)) {
        return std::nullopt;
    }
    std::vector<LFNFragment> sorted = fragments;
    std::sort(sorted.begin(), sorted.end(), [](const LFNFragment& a, const LFNFragment& b) {
        return a.sequenceNumber < b.sequenceNumber;
    });
    std::vector<std::uint16_t> units;
    for (const LFNFragment& f : sorted) {
        for (std::uint16_t u : f.characters) {
            if (u == 0x0000) {
                return buildString(units);
            }
            if (u != 0xFFFF) {
                units.push_back(u);
            }
        }
    }
    return buildString(units);
}

} // namespace tamberlane::LFNParser
