// Every container reader of the format table, and detection by content, on one input:
// header, geometry, where the volume starts, and the flat volume a track-and-sector
// container rebuilds. A new row of the table is covered without touching this file.

#include "fuzz/FuzzSupport.h"

#include "engine/image/formats/FormatTable.h"

using namespace tamberlane;

namespace {

void exercise(const DiskImageFormat& format, const ImageFileReader& file) {
    const DiskGeometry geometry = format.parseGeometry(file);
    format.dataOffset(file);
    format.isWriteProtected();
    format.inferredParameters();
    format.extractFlatVolume(file, geometry);
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
