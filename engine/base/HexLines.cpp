#include "engine/base/HexLines.h"

#include "engine/base/HexText.h"

#include <cstdio>

namespace tamberlane {

std::vector<HexLine> formatHexLines(ByteView data, std::int64_t startOffset) {
    std::vector<HexLine> lines;
    lines.reserve((data.size() + 15) / 16);
    for (std::size_t start = 0; start < data.size(); start += 16) {
        const std::size_t end = std::min(start + 16, data.size());
        HexLine line;
        line.id = static_cast<std::int64_t>(start / 16) + startOffset / 16;
        char address[24];
        std::snprintf(address, sizeof address, "%08llX",
                      static_cast<unsigned long long>(startOffset) + start);
        line.address = address;
        line.hexDump.reserve(47);
        line.ascii.reserve(end - start);
        for (std::size_t i = start; i < start + 16; ++i) {
            if (i > start) {
                line.hexDump += ' ';
            }
            if (i < end) {
                line.hexDump += hexDigits(data[i]);
                line.ascii += data[i] >= 0x20 && data[i] <= 0x7E ? static_cast<char>(data[i]) : '.';
            } else {
                line.hexDump += "  ";
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace tamberlane
