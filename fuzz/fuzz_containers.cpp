// Every container reader of the format table, and detection by content, on one input:
// header, geometry, where the volume starts, and the flat volume a track-and-sector
// container rebuilds. A new row of the table is covered without touching this file.

#include "fuzz/FuzzSupport.h"

#include "engine/image/formats/FormatTable.h"

using namespace tamberlane;

namespace {

// A volume rebuilt from track records is as large as the geometry its header claims,
// whatever the file holds: a few header bytes ask for up to 4 GiB, zero-filled through
// freshly mapped pages on every input, which held this target to a few hundred inputs a
// second. Up to the sanitizer's pooled allocation size (the tiny D88 seeds) the rebuild
// runs; the geometry, the records and the size checks are read for every input, and the
// open-image target rebuilds volumes of every size.
constexpr std::int64_t maxRebuiltVolume = 128 * 1024;

void exercise(const DiskImageFormat& format, const ImageFileReader& file) {
    const DiskGeometry geometry = format.parseGeometry(file);
    format.dataOffset(file);
    format.isWriteProtected();
    format.inferredParameters();
    if (geometry.totalBytes() <= maxRebuiltVolume) {
        format.extractFlatVolume(file, geometry);
    }
    format.storedSectors(file, geometry);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ImageFileReader bytes(ByteView(data, size));
    // The first byte picks which of a row's extensions the reader is told the file has.
    const std::uint8_t extensionChoice = size > 0 ? data[0] : 0;
    for (const FormatRegistration& row : formatTable()) {
        const std::string& extension = row.extensions[extensionChoice % row.extensions.size()];
        fuzz::refusingOnlyWithDiskImageError([&] { exercise(*row.read(bytes, extension), bytes); });
    }
    fuzz::refusingOnlyWithDiskImageError([&] {
        if (auto format = recognizeByContent(bytes, "unknown")) {
            exercise(*format, bytes);
        }
    });
    return 0;
}
