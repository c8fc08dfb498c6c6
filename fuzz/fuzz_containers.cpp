// A container reader of the format table, or detection by content, on one input: header,
// geometry, where the volume starts, and the flat volume a track-and-sector container
// rebuilds. A new row of the table is covered without touching this file.

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
    fuzz::FuzzInput input(data, size);
    const std::uint8_t choice = input.takeByte();
    const ImageFileReader bytes(input.rest());
    // The first byte picks one reader, or detection by content, and which of the row's
    // extensions it is told the file has. Every reader on every input threw a refusal from
    // nearly all of them, and a thrown error is the dearest thing the sanitizers run.
    const std::vector<FormatRegistration>& table = formatTable();
    const std::size_t pick = choice % (table.size() + 1);
    if (pick == table.size()) {
        fuzz::refusingOnlyWithDiskImageError([&] {
            if (auto format = recognizeByContent(bytes, "unknown")) {
                exercise(*format, bytes);
            }
        });
        return 0;
    }
    const FormatRegistration& row = table[pick];
    const std::string& extension =
        row.extensions[choice / (table.size() + 1) % row.extensions.size()];
    fuzz::refusingOnlyWithDiskImageError([&] { exercise(*row.read(bytes, extension), bytes); });
    return 0;
}
