#pragma once

#include "app/state/Observable.h"
#include "engine/base/Bytes.h"
#include "engine/base/HexLines.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"

#include <cstdint>
#include <string>

namespace tamberlane {

// A file of the volume, or any buffer, as lines of sixteen bytes. Only the bytes are kept:
// a line is formatted when the view asks for it, so a viewer costs about the file's size.
// Large data is offered one step at a time, as the view scrolls towards the end.
class HexViewerViewModel {
  public:
    static constexpr std::int64_t stepBytes = std::int64_t{1} << 20;

    // Lines the view may show so far: one per sixteen bytes offered.
    Observable<std::int64_t> rowCount{0};
    Observable<std::string> fileName;
    Observable<std::int64_t> totalBytes{0};
    Observable<std::string> errorMessage;
    Observable<bool> showError{false};

    // False after setting the error when the file cannot be read.
    bool openFile(const FileEntry& entry, const DiskImage& image);
    void openData(ByteView data, std::string title);
    void loadMore();

    // Line `row` (below rowCount) of the data; an empty line for any other row.
    HexLine rowAt(std::int64_t row) const;

    const Bytes& fileData() const { return fileData_; }
    std::int64_t loadedOffset() const { return loadedOffset_; }

  private:
    void offer(std::int64_t bytes);

    Bytes fileData_;
    std::int64_t loadedOffset_ = 0;
};

} // namespace tamberlane
