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
        errorMessage = texts::fileReadFailedPrefix + error.errorDescription();
        showError = true;
        return false;
    }
    fileData_ = std::move(bytes);
    totalBytes = static_cast<std::int64_t>(fileData_.size());
    loadedOffset_ = std::min(totalBytes.get(), stepBytes);
    lines = formatHexLines(ByteView(fileData_).first(static_cast<std::size_t>(loadedOffset_)), 0);
    return true;
}

void HexViewerViewModel::openData(ByteView data, std::string title) {
    fileName = std::move(title);
    fileData_.assign(data.begin(), data.end());
    totalBytes = static_cast<std::int64_t>(fileData_.size());
    loadedOffset_ = totalBytes;
    lines = formatHexLines(fileData_, 0);
}

void HexViewerViewModel::loadMore() {
    const auto count = static_cast<std::int64_t>(fileData_.size());
    if (loadedOffset_ >= count) {
        return;
    }
    const std::int64_t end = std::min(count, loadedOffset_ + stepBytes);
    std::vector<HexLine> more = formatHexLines(
        ByteView(fileData_).subspan(static_cast<std::size_t>(loadedOffset_),
                                    static_cast<std::size_t>(end - loadedOffset_)),
        loadedOffset_);
    loadedOffset_ = end;
    lines.modify([&more](std::vector<HexLine>& all) {
        all.insert(all.end(), std::make_move_iterator(more.begin()),
                   std::make_move_iterator(more.end()));
    });
}

} // namespace tamberlane
