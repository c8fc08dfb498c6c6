#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// The folders that drags out of the file list copy their files into: one per drag, made
// under `base` (the host's temporary directory unless told), each removed when this
// object goes. The first new folder also clears those that a process which has died
// left behind.
class DragOutFolders {
  public:
    DragOutFolders() = default;
    explicit DragOutFolders(std::filesystem::path base) : base_(std::move(base)) {}
    ~DragOutFolders();
    DragOutFolders(const DragOutFolders&) = delete;
    DragOutFolders& operator=(const DragOutFolders&) = delete;

    // A new empty folder only this user can enter, or nothing when none can be made.
    std::optional<std::filesystem::path> create();
    const std::vector<std::filesystem::path>& folders() const { return folders_; }

    // How every folder's name starts: the prefix, then the owning process's id and "-".
    static constexpr const char* namePrefix = "tamberlane-drag-";

  private:
    std::filesystem::path base() const;
    void removeStale(const std::filesystem::path& base) const;

    std::optional<std::filesystem::path> base_;
    std::vector<std::filesystem::path> folders_;
    bool staleRemoved_ = false;
};

} // namespace tamberlane
