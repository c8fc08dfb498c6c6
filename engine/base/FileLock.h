#pragma once

#include <filesystem>
#include <memory>

namespace tamberlane {

// The advisory lock on an open image file: one descriptor holding flock. Shared by
// the service and the image, so that a save can move the lock to the file that
// replaced the old one.
class FileLock {
public:
    // `unlocked`: a descriptor kept for reading only, taken while another program holds
    // the file; nothing is ever written through an image opened so.
    enum class Mode { exclusive, shared, unlocked };

    FileLock(int fd, Mode mode) : fd_(fd), mode_(mode) {}
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    int fileDescriptor() const { return fd_; }
    Mode mode() const { return mode_; }
    // Unlocks and closes; afterwards the lock holds nothing.
    void release();
    // Takes over `fd` (already locked) and releases the descriptor held before.
    void replace(int fd, Mode mode);
    // Whether the locked descriptor refers to the same file as `path`.
    bool refersTo(const std::filesystem::path& path) const;

private:
    int fd_;
    Mode mode_;
};

} // namespace tamberlane
