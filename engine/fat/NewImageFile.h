#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/NewImage.h"

#include <filesystem>
#include <stop_token>

namespace tamberlane {

class DiskImage;

// The whole new file. A size the container does not offer is refused with
// unsupportedFormat carrying sizeNotOfferedText.
Bytes createNewImage(const NewImageParameters& params);
// Writes the open image's disk in another container to `path`, with the geometry its
// partitions were placed by, as one atomic new file: the header, then the disk's bytes,
// copied from the source's file in the kernel where both containers hold the disk as it
// is. A target not offered for the image's geometry, or one that cannot record what the
// disk needs (a headerless file of a partitioned disk whose sectors are not 512 bytes), is
// refused with unsupportedFormat; `path` naming the source's own file, by whatever link,
// with sameFileAsSource; an existing file as writeImageFile refuses it; a result that does
// not read back as the same disk (see checkConvertedImage) with conversionMismatch, and a
// source file changed by another program while it was copied with imageFileChanged. A
// refused conversion leaves no file, and so does one stopped through `stop` before the
// file is put in place: then it returns false.
bool convertImage(const DiskImage& image, ConvertFormat format, const std::filesystem::path& path,
                  ExistingTarget existing = ExistingTarget::keep, std::stop_token stop = {});

} // namespace tamberlane
