#include "engine/base/FileLock.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane {

FileLock::~FileLock() { release(); }

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
}

bool FileLock::refersTo(const std::filesystem::path& path) const {
    struct stat held {};
    struct stat other {};
    if (fd_ < 0 || fstat(fd_, &held) != 0 || stat(path.c_str(), &other) != 0) {
        return false;
    }
    return held.st_dev == other.st_dev && held.st_ino == other.st_ino;
}

} // namespace tamberlane
