#pragma once

// THD: no header; the file is the volume, in whole cylinders of
// 4 heads x 33 sectors x 256 bytes (33792 bytes). Read only.

#include "engine/image/DiskImageFormat.h"

namespace tamberlane {

class THDImageFormat : public DiskImageFormat {
  public:
    static constexpr std::int64_t cylinderBytes = 33792;

    explicit THDImageFormat(std::int64_t fileSize);

    const std::int64_t fileSize;

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader&) const override { return 0; }
    std::string name() const override { return "THD"; }
    ContainerFamily family() const override { return ContainerFamily::thd; }
};

} // namespace tamberlane
