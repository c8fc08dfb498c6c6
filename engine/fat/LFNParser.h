#pragma once

#include "engine/base/Bytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

struct LFNFragment {
    std::uint8_t sequenceNumber = 0;
    std::array<std::uint16_t, 13> characters{};
    std::uint8_t checksum = 0;
    bool isLast = false;
};

namespace LFNParser {

std::optional<LFNFragment> parseLFNEntry(ByteView entryData);
// The 13 UTF-16 units a long-name slot holds, whatever its order byte says.
std::array<std::uint16_t, 13> slotUnits(ByteView entryData);
std::uint8_t calculateChecksum(ByteView shortName);
bool validateSequence(const std::vector<LFNFragment>& fragments);
// At most 255 characters; unpaired surrogates become U+FFFD. Returns UTF-8.
std::optional<std::string> buildString(const std::vector<std::uint16_t>& units);
std::optional<std::string> assembleLFN(const std::vector<LFNFragment>& fragments);

} // namespace LFNParser

} // namespace tamberlane
