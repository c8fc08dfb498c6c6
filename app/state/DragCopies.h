#pragma once

#include <filesystem>
#include <vector>

namespace tamberlane {

// The host copies a drag out of the file list carries. They are written in the background
// into a folder of the drag's own; a drop target may read them only once `finished`,
// and then only those `written`.
struct DragCopies {
    std::filesystem::path folder;
    // Where each dragged file's copy goes, in drag order.
    std::vector<std::filesystem::path> files;
    bool finished = false;
    std::vector<std::filesystem::path> written;
};

} // namespace tamberlane
