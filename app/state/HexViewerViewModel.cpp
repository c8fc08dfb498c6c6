#include "app/state/HexViewerViewModel.h"

#include "app/state/StateTexts.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryReader.h"

#include <algorithm>

namespace tamberlane {

bool HexViewerViewModel::openFile(const FileEntry& entry, const DiskImage& image) {
    fileName = entry.directoryEntry.displayName();
    Bytes bytes;
    try {
        bytes = DirectoryReader::readFile(image, entry.directoryEntry);
    } catch (const DiskImageError& error) {
        errorMessage = texts::fileReadFailed(error.errorDescription());
        showError = true;
        return false;
    }
    fileData_ = std::move(bytes);
    fileData_.shrink_to_fit();
    totalBytes = static_cast<std::int64_t>(fileData_.size());
    rowCount = 0;
    offer(std::min(totalBytes.get(), stepBytes));
    return true;
}

void HexViewerViewModel::openData(ByteView data, std::string title) {
    fileName = std::move(title);
    fileData_.assign(data.begin(), data.end());
    totalBytes = static_cast<std::int64_t>(fileData_.size());
    rowCount = 0;
    offer(totalBytes);
}

void HexViewerViewModel::loadMore() {
    const auto count = static_cast<std::int64_t>(fileData_.size());
    if (loadedOffset_ < count) {
        offer(std::min(count, loadedOffset_ + stepBytes));
    }
}

HexLine HexViewerViewModel::rowAt(std::int64_t row) const {
    if (row < 0 || row >= rowCount.get()) {
        return {};
    }
    return formatHexLine(fileData_, row);
}

void HexViewerViewModel::offer(std::int64_t bytes) {
    loadedOffset_ = bytes;
    rowCount = (bytes + 15) / 16;
}

} // namespace tamberlane
