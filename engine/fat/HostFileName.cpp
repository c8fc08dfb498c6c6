#include "engine/fat/HostFileName.h"

namespace tamberlane::HostFileName {

std::string safeHostFileName(const std::string& diskName) {
    if (diskName.empty() || diskName == "." || diskName == "..") {
        return "_";
    }
    std::string out = diskName;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7F) {
            c = '_';
        }
    }
    // A long name of 255 characters can exceed Linux's 255-byte name limit in UTF-8;
    // cut it at a character boundary rather than fail the export.
    constexpr std::size_t maxNameBytes = 255;
    if (out.size() > maxNameBytes) {
        std::size_t cut = maxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.resize(cut);
    }
    return out;
}

std::filesystem::path pathInside(const std::filesystem::path& folder, const std::string& diskName) {
    // A safe name has no separator and is never "." or "..", so it names a direct child.
    return folder / safeHostFileName(diskName);
}

} // namespace tamberlane::HostFileName
