#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/NewImage.h"

namespace tamberlane {

class DiskImage;

// The whole new file. A size the container does not offer is refused with
// unsupportedFormat carrying sizeNotOfferedText.
Bytes createNewImage(const NewImageParameters& params);
// The open image's volume in another container. A target not offered for the image's
// geometry is refused with unsupportedFormat carrying conversionNotOfferedText.
Bytes convertImage(const DiskImage& image, ConvertFormat format);

} // namespace tamberlane
