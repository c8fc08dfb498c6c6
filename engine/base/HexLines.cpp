#include "engine/base/HexLines.h"

#include "engine/base/HexText.h"

#include <algorithm>
#include <cstdio>

namespace tamberlane {

namespace {

// `run` holds at most sixteen bytes, the first at `offset` of the dump.
HexLine formatRun(ByteView run, std::int64_t offset) {
    HexLine line;
    line.id = offset / 16;
    char address[24];
    std::snprintf(address, sizeof address, "%08llX", static_cast<unsigned long long>(offset));
    line.address = address;
    line.hexDump.reserve(47);
    line.ascii.reserve(run.size());
    for (std::size_t i = 0; i < 16; ++i) {
        if (i > 0) {
            line.hexDump += ' ';
        }
        if (i < run.size()) {
            line.hexDump += hexDigits(run[i]);
            line.ascii += run[i] >= 0x20 && run[i] <= 0x7E ? static_cast<char>(run[i]) : '.';
        } else {
            line.hexDump += "  ";
        }
    }
    return line;
}

} // namespace

HexLine formatHexLine(ByteView data, std::int64_t lineNumber) {
    if (lineNumber < 0 || lineNumber >= static_cast<std::int64_t>((data.size() + 15) / 16)) {
        return {};
    }
    const auto start = static_cast<std::size_t>(lineNumber) * 16;
    return formatRun(data.subspan(start, std::min<std::size_t>(16, data.size() - start)),
                     static_cast<std::int64_t>(start));
}

std::vector<HexLine> formatHexLines(ByteView data, std::int64_t startOffset) {
    std::vector<HexLine> lines;
    lines.reserve((data.size() + 15) / 16);
    for (std::size_t start = 0; start < data.size(); start += 16) {
        const std::size_t count = std::min<std::size_t>(16, data.size() - start);
        lines.push_back(
            formatRun(data.subspan(start, count), startOffset + static_cast<std::int64_t>(start)));
    }
    return lines;
}

} // namespace tamberlane
