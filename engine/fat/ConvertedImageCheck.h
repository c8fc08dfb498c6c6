#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/formats/FormatTable.h"

namespace tamberlane {

class DiskImage;

// Reads `converted` (the whole file of `source` in `format`) back with the readers an open
// uses, and throws conversionMismatch naming the first part that differs from the source:
// the FAT partitions (number, type, start and size in bytes from the disk's first byte),
// then per volume, where the source's lies on the disk, whether its boot sector parses as
// an open parses it, the boot sector itself and each FAT copy. A source volume that does
// not open itself is not compared. Only those parts of `converted` are read.
void checkConvertedImage(const DiskImage& source, ConvertFormat format, ByteView converted);
// The same for the converted file open at `fd`, mapped rather than read into memory.
void checkConvertedFile(const DiskImage& source, ConvertFormat format, int fd);

} // namespace tamberlane
