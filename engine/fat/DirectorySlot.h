#pragma once

// One 32-byte directory slot, read where it lies.
//
//   offset  size  field
//    0      8     name; first byte 0x00 ends the directory, 0xE5 marks a deleted slot
//    8      3     extension
//   11      1     attributes; 0x0F marks a long-name slot
//   12      1     case flags: 0x08 shows the name, 0x10 the extension in lower case
//   13      1     checksum of the short name (long-name slots only)
//   22      2     modified time
//   24      2     modified date
//   26      2     first cluster
//   28      4     size in bytes

#include "engine/base/Bytes.h"
#include "engine/fat/FileAttributes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tamberlane {

class DirectorySlot {
  public:
    static constexpr std::size_t size = 32;
    // Slots a directory can hold: entries are numbered in 16 bits. Past them a chain is
    // garbage, and reading it would read up to the whole data area.
    static constexpr std::size_t maxPerDirectory = 65536;
    static constexpr std::size_t nameOffset = 0;
    static constexpr std::size_t nameLength = 8;
    static constexpr std::size_t extensionOffset = 8;
    static constexpr std::size_t extensionLength = 3;
    static constexpr std::size_t attributesOffset = 11;
    static constexpr std::size_t caseFlagsOffset = 12;
    static constexpr std::uint8_t lowerCaseName = 0x08;
    static constexpr std::uint8_t lowerCaseExtension = 0x10;
    static constexpr std::size_t longNameChecksumOffset = 13;
    static constexpr std::size_t timeOffset = 22;
    static constexpr std::size_t dateOffset = 24;
    static constexpr std::size_t startClusterOffset = 26;
    static constexpr std::size_t fileSizeOffset = 28;

    static constexpr std::uint8_t endMark = 0x00;
    static constexpr std::uint8_t deletedMark = 0xE5;
    // Stands for 0xE5 as an entry's first byte (the deleted mark takes that value).
    static constexpr std::uint8_t stoodForDeletedMark = 0x05;
    // Set in the order byte of the last slot of a long name (the first on disk).
    static constexpr std::uint8_t lastLongNameSlot = 0x40;

    // Throws when fewer than 32 bytes are given.
    explicit DirectorySlot(ByteView bytes)
        : bytes_((requireRange(bytes, 0, size), bytes.first(size))) {}

    ByteView bytes() const { return bytes_; }
    std::uint8_t firstByte() const { return bytes_[0]; }
    std::uint8_t attributes() const { return bytes_[attributesOffset]; }

    bool isEnd() const { return firstByte() == endMark; }
    bool isDeleted() const { return firstByte() == deletedMark; }
    bool isLongName() const { return attributes() == FileAttributes::longNameSlot; }
    bool isVolumeLabel() const {
        return !isLongName() && (attributes() & FileAttributes::volumeLabel) != 0;
    }
    bool isDirectory() const { return (attributes() & FileAttributes::directory) != 0; }

    ByteView name() const { return bytes_.subspan(nameOffset, nameLength); }
    ByteView extension() const { return bytes_.subspan(extensionOffset, extensionLength); }
    // The 11 bytes of name and extension, as the long-name checksum covers them.
    ByteView shortName() const { return bytes_.first(nameLength + extensionLength); }
    // Whether the raw 8.3 name is this one (a key of any other length never is).
    bool hasShortName(ByteView name8, ByteView extension3) const {
        return name8.size() == nameLength && extension3.size() == extensionLength &&
               std::equal(name8.begin(), name8.end(), name().begin()) &&
               std::equal(extension3.begin(), extension3.end(), extension().begin());
    }

    std::uint8_t longNameChecksum() const { return bytes_[longNameChecksumOffset]; }
    std::uint16_t time() const { return readU16LE(bytes_, timeOffset); }
    std::uint16_t date() const { return readU16LE(bytes_, dateOffset); }
    std::uint16_t startCluster() const { return readU16LE(bytes_, startClusterOffset); }
    std::uint32_t fileSize() const { return readU32LE(bytes_, fileSizeOffset); }

    // Writers for a slot inside a buffer that is about to be written back.
    using Mutable = std::span<std::uint8_t>;
    static void setFirstByte(Mutable slot, std::uint8_t value) { slot[0] = value; }
    // The names written here are upper case: case flags left from an old name would make
    // other systems show the new one lower-cased, Shift-JIS trail bytes included.
    static void setShortName(Mutable slot, ByteView name8, ByteView extension3) {
        std::copy_n(name8.begin(), nameLength, slot.begin() + nameOffset);
        std::copy_n(extension3.begin(), extensionLength, slot.begin() + extensionOffset);
        slot[caseFlagsOffset] &= static_cast<std::uint8_t>(~(lowerCaseName | lowerCaseExtension));
    }
    static void setLongNameChecksum(Mutable slot, std::uint8_t value) {
        slot[longNameChecksumOffset] = value;
    }
    static void setAttributes(Mutable slot, std::uint8_t value) { slot[attributesOffset] = value; }
    static void setTime(Mutable slot, std::uint16_t value) { put16(slot, timeOffset, value); }
    static void setDate(Mutable slot, std::uint16_t value) { put16(slot, dateOffset, value); }
    static void setStartCluster(Mutable slot, std::uint16_t value) {
        put16(slot, startClusterOffset, value);
    }
    // "." (dots 1) or ".." (dots 2) naming `target`, over whatever the slot held.
    static void setDotEntry(Mutable slot, std::size_t dots, std::uint16_t target) {
        std::fill(slot.begin(), slot.begin() + size, 0);
        std::fill_n(slot.begin(), nameLength + extensionLength, ' ');
        std::fill_n(slot.begin(), dots, '.');
        setAttributes(slot, FileAttributes::directory);
        setStartCluster(slot, target);
    }
    static void setFileSize(Mutable slot, std::uint32_t value) {
        put16(slot, fileSizeOffset, static_cast<std::uint16_t>(value & 0xFFFF));
        put16(slot, fileSizeOffset + 2, static_cast<std::uint16_t>(value >> 16));
    }

  private:
    static void put16(Mutable slot, std::size_t offset, std::uint16_t value) {
        slot[offset] = static_cast<std::uint8_t>(value & 0xFF);
        slot[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }

    ByteView bytes_;
};

} // namespace tamberlane
