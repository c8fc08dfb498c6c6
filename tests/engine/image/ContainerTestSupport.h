#pragma once

#include "engine/fat/NewImageFile.h"
#include "tests/support/FatTools.h"
#include "tests/support/TestFiles.h"

#include <ostream>
#include <string>
#include <vector>

namespace tamberlane::test {

// A writable container and one of the sizes it offers.
struct OfferedCombination {
    NewImageFormat format;
    DiskSize size;
};

inline std::vector<OfferedCombination> offeredCombinations() {
    std::vector<OfferedCombination> all;
    for (NewImageFormat format : allNewImageFormats()) {
        for (DiskSize size : availableSizes(format)) {
            all.push_back({format, size});
        }
    }
    return all;
}

inline std::string sizeTag(DiskSize size) {
    static const char* const tags[] = {"640KB", "1_2MB", "1_44MB", "10MB", "20MB", "40MB"};
    return tags[static_cast<int>(size)];
}

inline std::string comboName(const OfferedCombination& c) {
    return rawValue(c.format) + "_" + sizeTag(c.size);
}

inline void PrintTo(const OfferedCombination& c, std::ostream* os) {
    *os << comboName(c);
}

// The file a conversion of `image` writes into `dir`, read back.
inline Bytes convertedBytes(const DiskImage& image, ConvertFormat format, const TempDir& dir) {
    const auto path = dir / ("converted." + fileExtension(format));
    convertImage(image, format, path, ExistingTarget::replace);
    return readFile(path);
}

} // namespace tamberlane::test
