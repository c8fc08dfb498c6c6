#include "engine/base/AtomicFile.h"

#include "engine/base/DiskImageError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <system_error>

namespace tamberlane {

namespace {

std::function<int(AtomicWriteStep)>& faultHook() {
    static std::function<int(AtomicWriteStep)> hook;
    return hook;
}

// Fails the step when the test hook asks for it; otherwise returns `result`.
int step(AtomicWriteStep which, int result) {
    if (result >= 0 && faultHook()) {
        if (const int injected = faultHook()(which); injected != 0) {
            errno = injected;
            return -1;
        }
    }
    return result;
}

const char* const lockMessage = "ファイルのロックを取得できませんでした。他のプロセスが使用中です。";

std::filesystem::path resolveTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
        const auto resolved = std::filesystem::canonical(path, ec);
        if (!ec) {
            return resolved;
        }
    }
    return path;
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) {
                close(fd_);
            }
            fd_ = other.release();
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

void writeAll(int fd, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            step(AtomicWriteStep::write, static_cast<int>(write(fd, bytes.data() + done,
                                                                bytes.size() - done)));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

// Holds the target's lock while it is replaced, so that a program holding it (or our
// own open image) is never overwritten underneath.
Descriptor lockExistingTarget(const std::filesystem::path& target) {
    Descriptor existing(open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (existing.get() < 0) {
        return Descriptor();
    }
    if (flock(existing.get(), LOCK_EX | LOCK_NB) != 0) {
        throw DiskImageError::lockConflict(lockMessage);
    }
    return existing;
}

} // namespace

void setAtomicWriteFaultHook(std::function<int(AtomicWriteStep)> hook) {
    faultHook() = std::move(hook);
}

void writeFileAtomically(const std::filesystem::path& path, ByteView bytes,
                         LockedTarget lockedTarget, const std::shared_ptr<FileLock>& lock) {
    const std::filesystem::path target = resolveTarget(path);
    Descriptor targetLock;
    if (lockedTarget == LockedTarget::refuse) {
        targetLock = lockExistingTarget(target);
    }
    std::filesystem::path directory = target.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    std::string temporaryName = ".";
    temporaryName += target.filename().string();
    temporaryName += ".XXXXXX";
    std::string pattern = (directory / temporaryName).string();
    Descriptor temp(step(AtomicWriteStep::createTemporary, mkostemp(pattern.data(), O_CLOEXEC)));
    if (temp.get() < 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    const std::filesystem::path tempPath = pattern;
    try {
        writeAll(temp.get(), bytes);
        if (step(AtomicWriteStep::sync, fsync(temp.get())) != 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        struct stat old {};
        mode_t mode = 0;
        if (stat(target.c_str(), &old) == 0) {
            mode = old.st_mode & 07777;
        } else {
            const mode_t mask = umask(0);
            umask(mask);
            mode = 0666 & ~mask;
        }
        if (step(AtomicWriteStep::setMode, fchmod(temp.get(), mode)) != 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        if (lock && step(AtomicWriteStep::lock, flock(temp.get(), LOCK_EX | LOCK_NB)) != 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        // Asked before the rename: an injected failure must leave the target as a
        // failed rename does, untouched.
        if (step(AtomicWriteStep::rename, 0) != 0 || rename(tempPath.c_str(), target.c_str()) != 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
    } catch (...) {
        unlink(tempPath.c_str());
        throw;
    }
    // The new file is in place and its bytes are on disk; a failed directory sync
    // only risks the rename's durability and cannot be undone, so it is not reported.
    Descriptor dir(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        fsync(dir.get());
    }
    if (lock) {
        lock->replace(temp.release(), FileLock::Mode::exclusive);
    }
}

} // namespace tamberlane
