#include "engine/image/formats/PlainImageFormat.h"

#include "engine/image/DiskImageError.h"

namespace tamberlane {

const std::vector<PlainImageFormat::KnownSize>& PlainImageFormat::knownSizes() {
    static const std::vector<KnownSize> sizes = {
        {1261568, {2, 77, 8, 1024}},
        {1474560, {2, 80, 18, 512}},
        {655360, {2, 80, 8, 512}},
        // Hard-disk volumes of the new-image sizes, so a new or converted BIN opens again.
        {5326848, {4, 153, 17, 512}},
        {10653696, {4, 306, 17, 512}},
        {21307392, {8, 306, 17, 512}},
    };
    return sizes;
}

DiskGeometry PlainImageFormat::parseGeometry(ByteView) const {
    std::vector<std::int64_t> expected;
    for (const KnownSize& known : knownSizes()) {
        if (known.size == fileSize) {
            return known.geometry;
        }
        expected.push_back(known.size);
    }
    throw DiskImageError::invalidFileSize(expected, fileSize);
}

} // namespace tamberlane
