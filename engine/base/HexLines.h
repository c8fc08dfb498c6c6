#pragma once

#include "engine/base/Bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tamberlane {

// One line of a hex dump: sixteen bytes with their address, hex items and printable text.
struct HexLine {
    // The line's number counted from offset 0 of the data: line n covers bytes 16n..16n+15.
    std::int64_t id = 0;
    std::string address;
    std::string hexDump;
    std::string ascii;

    bool operator==(const HexLine&) const = default;
};

// Line `lineNumber` of `data`, whose first byte is offset 0 of the dump; empty past the
// end. "%08X" addresses; sixteen "%02X" items joined by blanks, a short last run filled
// with two-blank items so every hex column has the same width; bytes 0x20-0x7E as
// themselves and any other byte as ".".
HexLine formatHexLine(ByteView data, std::int64_t lineNumber);

// The lines of `data`, whose first byte lies at `startOffset` of the whole dump (a
// multiple of 16), in the layout of formatHexLine.
std::vector<HexLine> formatHexLines(ByteView data, std::int64_t startOffset);

} // namespace tamberlane
