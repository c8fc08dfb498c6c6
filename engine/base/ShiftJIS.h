#pragma once

#include <cstdint>

namespace tamberlane {

// The first byte of a two-byte character of code page 932; the half-width katakana
// (0xA1-0xDF) between the two ranges stand alone.
constexpr bool isShiftJISLeadByte(std::uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

} // namespace tamberlane
