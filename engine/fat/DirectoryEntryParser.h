#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DirectoryEntry.h"

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace tamberlane {

struct DirectoryEntryParseResult {
    enum class Kind { entry, skip, endOfDirectory };
    Kind kind = Kind::skip;
    DirectoryEntry entry;
};

namespace DirectoryEntryParser {

DirectoryEntryParseResult parse(ByteView entryData);

// FAT dates and times are Japan time (UTC+9, no daylight saving) whatever the host's zone.
Timestamp decodeFATDateTime(std::uint16_t date, std::uint16_t time);
std::uint16_t encodeFATTime(Timestamp date);
std::uint16_t encodeFATDate(Timestamp date);

std::string sanitizeFor83(const std::string& text);
// Whether a short name may hold this byte where it stands alone (not the second byte of
// a double-byte character).
bool isValidShortNameByte(std::uint8_t byte);
Bytes truncateRespectingMultibyte(ByteView data, std::size_t maxBytes);
Bytes padOrTruncate(ByteView data, std::size_t length, std::uint8_t padByte);
// (8 name bytes, 3 extension bytes), upper-cased Shift-JIS padded with spaces.
std::pair<Bytes, Bytes> convertTo83Name(const std::string& name, const std::string& extension);
Bytes serialize(const DirectoryEntry& entry);

} // namespace DirectoryEntryParser

} // namespace tamberlane
