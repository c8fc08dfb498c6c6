#include "engine/base/FileLock.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane {

namespace {

FileIdentity identityOf(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::int64_t>(st.st_size);
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    id.linkCount = static_cast<std::uint64_t>(st.st_nlink);
    return id;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// A program that opens the file while we hold the probing lease breaks it, and the kernel
// tells the lease holder with SIGIO, whose default action ends the process. The lease is
// gone again before we could act on the signal, so it is ignored, unless someone else in
// the process has claimed SIGIO for a purpose of its own.
void ignoreLeaseBreakSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            (current.sa_flags & SA_SIGINFO) == 0) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGIO, &ignore, nullptr);
        }
    });
}

} // namespace

bool FileIdentity::of(int fd, FileIdentity& out) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        return false;
    }
    out = identityOf(st);
    return true;
}

bool FileIdentity::of(const std::filesystem::path& path, FileIdentity& out) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    out = identityOf(st);
    return true;
}

bool FileIdentity::isUnchangedFrom(const FileIdentity& other) const {
    return isSameFile(other) && size == other.size && sameTime(modified, other.modified) &&
           sameTime(changed, other.changed);
}

bool FileIdentity::readsAsBefore(const FileIdentity& earlier) const {
    if (isUnchangedFrom(earlier)) {
        return true;
    }
    // Without a name nothing can open the file anew; a writer that held it open already
    // moves its modification time.
    return linkCount == 0 && isSameFile(earlier) && size == earlier.size &&
           sameTime(modified, earlier.modified);
}

FileLock::FileLock(int fd, Mode mode) : fd_(fd), mode_(mode) {
    FileIdentity::of(fd_, identity_);
}

FileLock::~FileLock() {
    release();
}

void FileLock::release() {
    if (fd_ >= 0) {
        flock(fd_, LOCK_UN);
        close(fd_);
        fd_ = -1;
    }
}

void FileLock::replace(int fd, Mode mode) {
    release();
    fd_ = fd;
    mode_ = mode;
    recordIdentity();
}

void FileLock::recordIdentity() {
    identity_ = {};
    FileIdentity::of(fd_, identity_);
}

void FileLock::downgradeToShared() {
    if (fd_ >= 0 && mode_ == Mode::exclusive && flock(fd_, LOCK_SH | LOCK_NB) == 0) {
        mode_ = Mode::shared;
    }
}

bool FileLock::refersTo(const std::filesystem::path& path) const {
    FileIdentity held;
    FileIdentity other;
    return FileIdentity::of(fd_, held) && FileIdentity::of(path, other) && held.isSameFile(other);
}

ImageFileState FileLock::check(const std::filesystem::path& path) const {
    // The path first: renaming a file sets its change time, and a moved image must be
    // reported as moved, not as written.
    FileIdentity atPath;
    if (!FileIdentity::of(path, atPath) || !atPath.isSameFile(identity_)) {
        return ImageFileState::movedOrDeleted;
    }
    FileIdentity now;
    if (!FileIdentity::of(fd_, now) || !now.isUnchangedFrom(identity_)) {
        return ImageFileState::changedElsewhere;
    }
    return otherWriterHoldsFile() ? ImageFileState::openForWriting : ImageFileState::unchanged;
}

bool FileLock::otherWriterHoldsFile() const {
    if (fd_ < 0) {
        return false;
    }
    ignoreLeaseBreakSignal();
    // A read lease is granted only while no descriptor anywhere has the file open for
    // writing; it is given back at once, so a program opening the file meanwhile waits
    // no longer than these two calls.
    if (fcntl(fd_, F_SETLEASE, F_RDLCK) == 0) {
        fcntl(fd_, F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN;
}

} // namespace tamberlane
