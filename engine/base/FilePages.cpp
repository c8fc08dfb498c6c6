#include "engine/base/FilePages.h"

#include "engine/base/DiskImageError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane {

namespace {

int duplicate(int fd) {
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    return copy;
}

} // namespace

FilePages::FilePages(const FileLock& lock) : expected_(lock.identity()) {
    struct stat st {};
    if (fstat(lock.fileDescriptor(), &st) != 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        throw DiskImageError::ioErrorFromErrno(EISDIR);
    }
    // A FIFO or a device would never end or has no size to check.
    if (!S_ISREG(st.st_mode)) {
        throw DiskImageError::ioErrorFromErrno(EINVAL);
    }
    fd_ = duplicate(lock.fileDescriptor());
    // The size the lock recorded: the pages are the file as the lock knows it, and a file
    // that grew or shrank since is a changed file at the first read.
    size_ = expected_.size;
}

FilePages::~FilePages() {
    close(fd_);
}

PagedBytes FilePages::bytesOf(const std::shared_ptr<FilePages>& pages) {
    return PagedBytes::readOnDemand(
        static_cast<std::size_t>(pages->size()),
        [pages](std::size_t offset, std::span<std::uint8_t> out) { pages->read(offset, out); });
}

void FilePages::read(std::size_t offset, std::span<std::uint8_t> destination) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::size_t done = 0;
    while (done < destination.size()) {
        const ssize_t n = pread(fd_, destination.data() + done, destination.size() - done,
                                static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // After the read: a writer that finished before it changed the times we compare, and
    // one that starts after it cannot have touched what was read.
    FileIdentity now;
    if (done < destination.size() || !FileIdentity::of(fd_, now) || !now.readsAsBefore(expected_)) {
        sawChange_ = true;
        throw DiskImageError::imageFileChanged();
    }
}

void FilePages::followSave(const FileLock& lock) {
    const int fd = duplicate(lock.fileDescriptor());
    const std::lock_guard<std::mutex> guard(mutex_);
    close(fd_);
    fd_ = fd;
    expected_ = lock.identity();
}

} // namespace tamberlane
