#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/image/DiskImageFormat.h"

#include <memory>

namespace tamberlane {

// A container parsed during opening, before its volume is checked.
struct RawDiskImage {
    Bytes data;
    DiskGeometry geometry;
    std::shared_ptr<const DiskImageFormat> format;
    std::int64_t dataOffset = 0;
    bool isWriteProtected = false;
};

} // namespace tamberlane
