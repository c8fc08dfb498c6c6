#include "engine/image/DiskImageParser.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/FileExtension.h"
#include "engine/image/formats/FormatTable.h"

#include <algorithm>
#include <cctype>

namespace tamberlane::DiskImageParser {

const std::set<std::string>& plainExtensions() {
    static const std::set<std::string> extensions = [] {
        std::set<std::string> plain;
        for (const FormatRegistration& row : formatTable()) {
            if (row.family == ContainerFamily::headerless) {
                plain.insert(row.extensions.begin(), row.extensions.end());
            }
        }
        return plain;
    }();
    return extensions;
}

std::shared_ptr<const DiskImageFormat> detectFormat(const std::filesystem::path& url,
                                                    const ImageFileReader& file) {
    const std::string ext = lowerExtension(url);
    if (const FormatRegistration* row = formatForExtension(ext)) {
        return row->read(file, ext);
    }
    if (auto recognized = recognizeByContent(file, ext)) {
        return recognized;
    }
    throw DiskImageError::unsupportedFormat(ext);
}

bool extractWriteProtectStatus(const DiskImageFormat& format) {
    return format.isWriteProtected();
}

} // namespace tamberlane::DiskImageParser
