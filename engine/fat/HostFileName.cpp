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
    return out;
}

std::filesystem::path pathInside(const std::filesystem::path& folder, const std::string& diskName) {
    // A safe name has no separator and is never "." or "..", so it names a direct child.
    return folder / safeHostFileName(diskName);
}

} // namespace tamberlane::HostFileName
