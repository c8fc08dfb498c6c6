#pragma once

#include "engine/image/Bytes.h"
#include "engine/image/DiskImageFormat.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tamberlane {

// One row of the detection table: the lower-case extensions a container answers to
// and the reader that parses its header (throwing DiskImageError on a bad one).
struct FormatRegistration {
    std::vector<std::string> extensions;
    std::function<std::shared_ptr<const DiskImageFormat>(ByteView data, const std::string& ext)>
        read;
};

const std::vector<FormatRegistration>& formatTable();

} // namespace tamberlane
