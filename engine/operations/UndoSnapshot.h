#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/FATTable.h"

#include <memory>
#include <optional>
#include <string>

namespace tamberlane {

// Everything a file operation can change in an image, taken before the change.
struct UndoSnapshot {
    std::string operationName;
    FATTable fatTable;
    PagedBytes imageData;
    std::optional<PagedBytes> originalFileData;
    // The image the snapshot was taken from. Restoring it into any other image would
    // write one file's contents into another, so it is only ever restored into this
    // one; an image that has gone away matches nothing.
    std::weak_ptr<const DiskImage> image;

    bool belongsTo(const DiskImage& candidate) const {
        const std::shared_ptr<const DiskImage> owner = image.lock();
        return owner != nullptr && owner.get() == &candidate;
    }
};

} // namespace tamberlane
