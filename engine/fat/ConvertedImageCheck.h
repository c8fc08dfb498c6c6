#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/formats/FormatTable.h"

namespace tamberlane {

class DiskImage;

// Reads `converted` (the whole file of `source` in `format`) back with the readers an open
// uses, and throws conversionMismatch naming the first part that differs from the source:
// the FAT partitions (number, type, start and size in bytes from the disk's first byte),
// then per volume whether it opens, its boot sector and each FAT copy. A source volume
// that does not open itself is not compared.
void checkConvertedImage(const DiskImage& source, ConvertFormat format, ByteView converted);

} // namespace tamberlane
