#include "engine/image/DiskImageParser.h"

#include "engine/base/DiskImageError.h"
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

std::string extensionOf(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    if (!ext.empty() && ext[0] == '.') {
        ext.erase(0, 1);
    }
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::string upperExtensionOf(const std::filesystem::path& path) {
    std::string ext = extensionOf(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::shared_ptr<const DiskImageFormat> detectFormat(const std::filesystem::path& url,
                                                    const ImageFileReader& file) {
    const std::string ext = extensionOf(url);
    if (const FormatRegistration* row = formatForExtension(ext)) {
        return row->read(file, ext);
    }
    if (auto recognized = recognizeByContent(file, ext)) {
        return recognized;
    }
    throw DiskImageError::unsupportedFormat(ext);
}

bool extractWriteProtectStatus(const DiskImageFormat& format) { return format.isWriteProtected(); }

} // namespace tamberlane::DiskImageParser
