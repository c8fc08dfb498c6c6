#pragma once

#include <cstdint>

namespace tamberlane {

// The attribute byte of a directory entry, kept and written back as read.
struct FileAttributes {
    static constexpr std::uint8_t readOnly = 0x01;
    static constexpr std::uint8_t hidden = 0x02;
    static constexpr std::uint8_t system = 0x04;
    static constexpr std::uint8_t volumeLabel = 0x08;
    static constexpr std::uint8_t directory = 0x10;
    static constexpr std::uint8_t archive = 0x20;
    static constexpr std::uint8_t longNameSlot = 0x0F;

    std::uint8_t rawValue = 0;

    bool contains(std::uint8_t bit) const { return (rawValue & bit) != 0; }
    bool isDirectory() const { return contains(directory); }
    bool operator==(const FileAttributes&) const = default;
};

} // namespace tamberlane
