#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/NewImage.h"

#include <filesystem>

namespace tamberlane {

class DiskImage;

// The whole new file. A size the container does not offer is refused with
// unsupportedFormat carrying sizeNotOfferedText.
Bytes createNewImage(const NewImageParameters& params);
// The open image's disk in another container, with the geometry its partitions were
// placed by. A target not offered for the image's geometry, or one that cannot record
// what the disk needs (a headerless file of a partitioned disk whose sectors are not 512
// bytes), is refused with unsupportedFormat; a result that does not read back as the same
// disk (see checkConvertedImage) with conversionMismatch.
Bytes convertImage(const DiskImage& image, ConvertFormat format);
// Writes a conversion of `source`. `path` naming the source's own file, by whatever link,
// is refused with sameFileAsSource; an existing file as writeImageFile refuses it.
void writeConvertedImage(const DiskImage& source, const std::filesystem::path& path, ByteView bytes,
                         ExistingTarget existing = ExistingTarget::keep);

} // namespace tamberlane
