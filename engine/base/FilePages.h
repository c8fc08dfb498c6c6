#pragma once

#include "engine/base/FileLock.h"
#include "engine/base/PagedBytes.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tamberlane {

// The bytes of an open image file, read when first needed. Every read is checked against
// the file as it was when the image was read from it: another program that writes the file
// meanwhile would otherwise mix its version into ours, page by page. A read of a changed
// file throws imageFileChanged and leaves the file marked as changed.
//
// Reads go through a descriptor of our own, so that a save replacing the lock's
// descriptor never pulls one from under a read that runs at the same time.
class FilePages {
  public:
    // The file the lock holds, as the lock recorded it. Throws as an open does for
    // what is not a regular file.
    explicit FilePages(const FileLock& lock);
    ~FilePages();
    FilePages(const FilePages&) = delete;
    FilePages& operator=(const FilePages&) = delete;

    std::int64_t size() const { return size_; }
    // The whole file, its pages read on demand through this object (which they keep).
    static PagedBytes bytesOf(const std::shared_ptr<FilePages>& pages);

    void read(std::size_t offset, std::span<std::uint8_t> destination);
    // Whether a read found the file changed.
    bool sawChange() const { return sawChange_.load(); }
    // Our own save replaced the file with one holding the same bytes at every page not
    // read yet: reads go on from the file the lock now holds.
    void followSave(const FileLock& lock);

  private:
    std::mutex mutex_;
    int fd_ = -1;
    FileIdentity expected_;
    std::int64_t size_ = 0;
    std::atomic<bool> sawChange_{false};
};

} // namespace tamberlane
