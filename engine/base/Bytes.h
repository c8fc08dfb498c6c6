#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace tamberlane {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Every multi-byte value read from an image goes through these: an offset past the
// buffer is a programming error in the caller's own size check, never a silent read.
inline void requireRange(ByteView bytes, std::size_t offset, std::size_t width) {
    if (offset > bytes.size() || bytes.size() - offset < width) {
        throw std::out_of_range("read past the end of a byte buffer");
    }
}

inline std::uint8_t readU8(ByteView bytes, std::size_t offset) {
    requireRange(bytes, offset, 1);
    return bytes[offset];
}

inline std::uint16_t readU16LE(ByteView bytes, std::size_t offset) {
    requireRange(bytes, offset, 2);
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t readU32LE(ByteView bytes, std::size_t offset) {
    requireRange(bytes, offset, 4);
    return static_cast<std::uint32_t>(bytes[offset]) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline void writeU16LE(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    requireRange(bytes, offset, 2);
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void writeU32LE(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    requireRange(bytes, offset, 4);
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes; written
// so that values near the top of the integer range cannot overflow.
inline bool rangeFits(std::int64_t offset, std::int64_t length, std::int64_t size) {
    return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

} // namespace tamberlane
