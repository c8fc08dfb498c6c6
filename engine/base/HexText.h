#pragma once

#include <cstdint>
#include <string>

namespace tamberlane {

// Two upper-case hexadecimal digits: "0A", "FF".
inline std::string hexDigits(std::uint8_t value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 0x0F]};
}

// How a single byte (a media byte, a disk or partition type) is shown: "0xF0".
inline std::string hexByte(std::uint8_t value) {
    return "0x" + hexDigits(value);
}

} // namespace tamberlane
