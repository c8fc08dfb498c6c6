#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>

namespace tamberlane {

// What a file was when we last read or wrote it. Another program that writes the file in
// place changes its size, modification or change time; one that replaces or moves it
// leaves the path naming another inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    timespec modified{};
    timespec changed{};
    std::uint64_t linkCount = 0;

    // Of an open descriptor or a path (links followed); absent when it cannot be read.
    static bool of(int fd, FileIdentity& out);
    static bool of(const std::filesystem::path& path, FileIdentity& out);
    bool isSameFile(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
    bool isUnchangedFrom(const FileIdentity& other) const;
    // Whether a descriptor that recorded `earlier` still reads the bytes it read then. A
    // save by another program renames a new file over the path: the old file loses its
    // last name, which moves its change time, while its bytes stay as they were.
    bool readsAsBefore(const FileIdentity& earlier) const;
};

// How the file behind an open image stands against what was read from it.
enum class ImageFileState { unchanged, changedElsewhere, movedOrDeleted, openForWriting };

// The advisory lock on an open image file: one read-only descriptor holding flock. Shared by
// the service and the image, so that a save can move the lock to the file that replaced
// the old one. The descriptor is never opened for writing: a kernel lease, which tells
// whether another program holds the file open for writing, cannot be had while we do.
class FileLock {
  public:
    // `unlocked`: a descriptor kept for reading only, taken while another program holds
    // the file; nothing is ever written through an image opened so.
    enum class Mode { exclusive, shared, unlocked };

    // Records the identity of the file `fd` refers to.
    FileLock(int fd, Mode mode);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    int fileDescriptor() const { return fd_; }
    Mode mode() const { return mode_; }
    const FileIdentity& identity() const { return identity_; }
    // Unlocks and closes; afterwards the lock holds nothing.
    void release();
    // Takes over `fd` (already locked, opened read-only) and releases the descriptor held
    // before; the new file's identity is recorded.
    void replace(int fd, Mode mode);
    // Records the identity anew: the file is read again through this descriptor.
    void recordIdentity();
    // Keeps the descriptor but holds it shared: the image is no longer changed here.
    void downgradeToShared();
    // Whether the locked descriptor refers to the same file as `path`.
    bool refersTo(const std::filesystem::path& path) const;
    // `path` against the file recorded, then the descriptor's file against what was
    // recorded of it, then other writers; the first difference found.
    ImageFileState check(const std::filesystem::path& path) const;
    // Whether another descriptor (of any process) holds the file open for writing. False
    // where the kernel cannot tell (no lease support on the file system, or not allowed).
    bool otherWriterHoldsFile() const;

  private:
    int fd_;
    Mode mode_;
    FileIdentity identity_;
};

} // namespace tamberlane
