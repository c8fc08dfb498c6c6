#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/DiskImageFormat.h"

#include <filesystem>
#include <memory>
#include <set>
#include <string>

namespace tamberlane::DiskImageParser {

const std::set<std::string>& plainExtensions();
// The container is chosen by the extension; only an extension of no known container
// lets the content decide.
std::shared_ptr<const DiskImageFormat> detectFormat(const std::filesystem::path& url,
                                                    const ImageFileReader& file);
bool extractWriteProtectStatus(const DiskImageFormat& format);

} // namespace tamberlane::DiskImageParser
