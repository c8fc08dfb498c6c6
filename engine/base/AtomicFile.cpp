#include "engine/base/AtomicFile.h"

#include "engine/base/DiskImageError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

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

// Gathered writes straight from the pieces: the whole file is never assembled in one
// buffer first.
void writeAll(int fd, std::span<const ByteView> pieces) {
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size());
    for (const ByteView piece : pieces) {
        if (!piece.empty()) {
            vectors.push_back({const_cast<std::uint8_t*>(piece.data()), piece.size()});
        }
    }
    std::size_t next = 0;
    while (next < vectors.size()) {
        const int count = static_cast<int>(std::min<std::size_t>(vectors.size() - next, IOV_MAX));
        const ssize_t n = writev(fd, vectors.data() + next, count);
        if (step(AtomicWriteStep::write, n < 0 ? -1 : 0) < 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        // A short write leaves the rest of one piece and the ones after it.
        std::size_t written = static_cast<std::size_t>(n);
        while (next < vectors.size() && written >= vectors[next].iov_len) {
            written -= vectors[next].iov_len;
            ++next;
        }
        if (written > 0) {
            vectors[next].iov_base = static_cast<std::uint8_t*>(vectors[next].iov_base) + written;
            vectors[next].iov_len -= written;
        }
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
        throw DiskImageError::hostFileLocked();
    }
    return existing;
}

std::int64_t totalSize(std::span<const ByteView> pieces) {
    std::int64_t total = 0;
    for (const ByteView piece : pieces) {
        total += static_cast<std::int64_t>(piece.size());
    }
    return total;
}

// What the file system of `directory` lets us write; -1 when it cannot tell.
std::int64_t freeSpaceIn(const std::filesystem::path& directory) {
    struct statvfs fs {};
    if (statvfs(directory.c_str(), &fs) != 0) {
        return -1;
    }
    // Root may write into the blocks reserved for it.
    const auto blocks = geteuid() == 0 ? fs.f_bfree : fs.f_bavail;
    return static_cast<std::int64_t>(blocks) * static_cast<std::int64_t>(fs.f_frsize);
}

// The old file stays until the new one has replaced it, so the whole new file must fit
// beside it. Asked before anything is written, so the user learns what is short instead
// of an errno from the middle of the write.
void checkFreeSpace(const std::filesystem::path& directory, std::int64_t required) {
    const std::int64_t available = freeSpaceIn(directory);
    if (available >= 0 && required > available) {
        throw DiskImageError::hostSpaceShort(required, available);
    }
}

bool isOutOfSpace(const DiskImageError& error) {
    return error.kind() == DiskImageError::Kind::ioError &&
           (error.ioCode() == ENOSPC || error.ioCode() == EDQUOT);
}

// Puts the written temporary file at `target`. Without replacing, the kernel refuses an
// existing name in the same step; a file system without RENAME_NOREPLACE gets a hard
// link, which fails the same way, and one without links a check just before the rename.
int putInPlace(const std::filesystem::path& temp, const std::filesystem::path& target,
               ExistingTarget existing) {
    if (existing == ExistingTarget::replace) {
        return rename(temp.c_str(), target.c_str());
    }
    const int renamed =
        renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (renamed == 0 || (errno != EINVAL && errno != ENOSYS)) {
        return renamed;
    }
    if (link(temp.c_str(), target.c_str()) == 0) {
        unlink(temp.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return -1;
    }
    struct stat there {};
    if (lstat(target.c_str(), &there) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(temp.c_str(), target.c_str());
}

// What a revision adds beside the old file: what the old file has allocated (a copy
// shares nothing with it) and what the changes write.
std::int64_t revisionSpace(const FileRevision& revision) {
    struct stat base {};
    std::int64_t required = 0;
    if (fstat(revision.base, &base) == 0) {
        required =
            std::min<std::int64_t>(static_cast<std::int64_t>(base.st_blocks) * 512, revision.size);
    }
    for (const FileRevision::Change& change : revision.changes) {
        required += static_cast<std::int64_t>(change.bytes.size());
    }
    return std::min(required, revision.size);
}

// The next byte at or after `offset` that the file holds data for; `end` when none.
std::int64_t nextData(int fd, std::int64_t offset, std::int64_t end) {
    const off_t found = lseek(fd, offset, SEEK_DATA);
    return found < 0 ? end : std::min<std::int64_t>(found, end);
}

std::int64_t nextHole(int fd, std::int64_t offset, std::int64_t end) {
    const off_t found = lseek(fd, offset, SEEK_HOLE);
    return found < 0 ? end : std::min<std::int64_t>(found, end);
}

void writeAt(int fd, const std::uint8_t* bytes, std::int64_t length, std::int64_t offset) {
    while (length > 0) {
        const ssize_t n = pwrite(fd, bytes, static_cast<std::size_t>(length), offset);
        if (step(AtomicWriteStep::write, n < 0 ? -1 : 0) < 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        bytes += n;
        length -= n;
        offset += n;
    }
}

// [offset, offset + length) of `from` into `to` at `toOffset`: in the kernel where it can,
// through a buffer where it cannot (another file system, an old kernel).
void copyRange(int from, std::int64_t offset, int to, std::int64_t toOffset, std::int64_t length) {
    loff_t in = offset;
    loff_t out = toOffset;
    while (length > 0) {
        const ssize_t n = copy_file_range(from, &in, to, &out, static_cast<std::size_t>(length), 0);
        if (n > 0 && step(AtomicWriteStep::write, 0) == 0) {
            length -= n;
            continue;
        }
        if (n == 0) {
            // The old file ended under us: it changed, and what was read no longer holds.
            throw DiskImageError::ioErrorFromErrno(EIO);
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            break;
        }
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    std::vector<std::uint8_t> buffer(std::min<std::int64_t>(length, std::int64_t{1} << 20));
    while (length > 0) {
        const ssize_t n = pread(from, buffer.data(),
                                static_cast<std::size_t>(std::min<std::int64_t>(
                                    length, static_cast<std::int64_t>(buffer.size()))),
                                in);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw DiskImageError::ioErrorFromErrno(n == 0 ? EIO : errno);
        }
        writeAt(to, buffer.data(), n, out);
        in += n;
        out += n;
        length -= n;
    }
}

bool allZeros(ByteView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// Changes that follow each other in the file go in one call: a big import changes
// hundreds of pages in a row.
void writeChanges(int fd, std::span<const FileRevision::Change> run) {
    std::vector<iovec> vectors;
    for (const FileRevision::Change& change : run) {
        vectors.push_back({const_cast<std::uint8_t*>(change.bytes.data()), change.bytes.size()});
    }
    std::int64_t done = 0;
    if (vectors.size() <= IOV_MAX) {
        const ssize_t n =
            pwritev(fd, vectors.data(), static_cast<int>(vectors.size()), run.front().offset);
        if (step(AtomicWriteStep::write, n < 0 ? -1 : 0) < 0 && errno != EINTR) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        done = std::max<ssize_t>(n, 0);
    }
    // What a short write (or a run too long for one call) left.
    for (const FileRevision::Change& change : run) {
        const auto length = static_cast<std::int64_t>(change.bytes.size());
        const std::int64_t from = std::clamp<std::int64_t>(done, 0, length);
        if (from < length) {
            writeAt(fd, change.bytes.data() + from, length - from, change.offset + from);
        }
        done -= length;
    }
}

void writeRevision(int fd, const FileRevision& revision) {
    struct stat base {};
    if (fstat(revision.base, &base) != 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    const std::int64_t kept = std::min<std::int64_t>(base.st_size, revision.size);
    // A clone shares the old file's blocks, holes included; only the changes are written.
    const bool cloned = ioctl(fd, FICLONE, revision.base) == 0;
    if (step(AtomicWriteStep::write, ftruncate(fd, revision.size)) != 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    const auto& changes = revision.changes;
    if (!cloned) {
        // The old file's data where no change lands: what changes is written once, below.
        std::size_t next = 0;
        for (std::int64_t at = nextData(revision.base, 0, kept); at < kept;
             at = nextData(revision.base, at, kept)) {
            const std::int64_t end = nextHole(revision.base, at, kept);
            while (at < end) {
                while (next < changes.size() &&
                       changes[next].offset +
                               static_cast<std::int64_t>(changes[next].bytes.size()) <=
                           at) {
                    ++next;
                }
                const std::int64_t gapEnd =
                    next < changes.size() ? std::clamp(changes[next].offset, at, end) : end;
                if (gapEnd > at) {
                    copyRange(revision.base, at, fd, at, gapEnd - at);
                    at = gapEnd;
                } else {
                    at = std::min(end, changes[next].offset +
                                           static_cast<std::int64_t>(changes[next].bytes.size()));
                }
            }
        }
    }
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= changes.size(); ++i) {
        bool write = false;
        if (i < changes.size()) {
            const FileRevision::Change& change = changes[i];
            const auto length = static_cast<std::int64_t>(change.bytes.size());
            // Zeros over a hole (or past the old end) are already there, and writing them
            // would take up space a sparse image never had.
            const bool inHole = change.offset >= kept || nextData(revision.base, change.offset,
                                                                  kept) >= change.offset + length;
            write = !(inHole && allZeros(change.bytes));
            const bool follows =
                i > runStart &&
                changes[i - 1].offset + static_cast<std::int64_t>(changes[i - 1].bytes.size()) ==
                    change.offset;
            if (write && (i == runStart || follows)) {
                continue;
            }
        }
        if (i > runStart) {
            writeChanges(fd, std::span(changes).subspan(runStart, i - runStart));
        }
        runStart = write ? i : i + 1;
    }
}

// The data of [range.offset, range.offset + range.length) of its file at `at` in `fd`; what
// lies in holes of the source is not written, so it stays a hole of the new file.
void copyKeepingHoles(const FileRange& range, int fd, std::int64_t at) {
    const std::int64_t end = range.offset + range.length;
    for (std::int64_t from = nextData(range.source, range.offset, end); from < end;) {
        const std::int64_t dataEnd = nextHole(range.source, from, end);
        copyRange(range.source, from, fd, at + (from - range.offset), dataEnd - from);
        from = nextData(range.source, dataEnd, end);
    }
}

std::int64_t pieceLength(const ContentPiece& piece) {
    if (const auto* bytes = std::get_if<ByteView>(&piece)) {
        return static_cast<std::int64_t>(bytes->size());
    }
    if (const auto* range = std::get_if<FileRange>(&piece)) {
        return range->length;
    }
    return std::get<PagedRange>(piece).length;
}

// What the pieces take on disk: a range no more than its file has allocated.
std::int64_t contentSpace(std::span<const ContentPiece> pieces) {
    std::int64_t required = 0;
    for (const ContentPiece& piece : pieces) {
        std::int64_t length = pieceLength(piece);
        struct stat source {};
        if (const auto* range = std::get_if<FileRange>(&piece);
            range && fstat(range->source, &source) == 0) {
            length =
                std::min<std::int64_t>(length, static_cast<std::int64_t>(source.st_blocks) * 512);
        }
        required += length;
    }
    return required;
}

// The pieces one after another into a file already of their whole size, so that runs of
// zeros are left as holes rather than written.
void writeContent(int fd, std::span<const ContentPiece> pieces) {
    std::int64_t at = 0;
    const auto writeUnlessZeros = [fd](ByteView bytes, std::int64_t offset) {
        if (!allZeros(bytes)) {
            writeAt(fd, bytes.data(), static_cast<std::int64_t>(bytes.size()), offset);
        }
    };
    for (const ContentPiece& piece : pieces) {
        if (const auto* bytes = std::get_if<ByteView>(&piece)) {
            writeUnlessZeros(*bytes, at);
        } else if (const auto* range = std::get_if<FileRange>(&piece)) {
            copyKeepingHoles(*range, fd, at);
        } else {
            const PagedRange& paged = std::get<PagedRange>(piece);
            std::int64_t offset = at;
            paged.bytes->forEachSegment(static_cast<std::size_t>(paged.offset),
                                        static_cast<std::size_t>(paged.length),
                                        [&](ByteView segment) {
                                            writeUnlessZeros(segment, offset);
                                            offset += static_cast<std::int64_t>(segment.size());
                                        });
        }
        at += pieceLength(piece);
    }
}

// The steps every whole-file write shares; `fill` writes the new bytes into the temporary
// file, which `required` bytes must fit beside the old one.
void replaceFile(const std::filesystem::path& path, std::int64_t required,
                 const std::function<void(int fd)>& fill, LockedTarget lockedTarget,
                 const std::shared_ptr<FileLock>& lock, ExistingTarget existing) {
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
    checkFreeSpace(directory, required);
    std::string pattern = (directory / temporaryName).string();
    Descriptor temp(step(AtomicWriteStep::createTemporary, mkostemp(pattern.data(), O_CLOEXEC)));
    if (temp.get() < 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    const std::filesystem::path tempPath = pattern;
    // The descriptor the lock moves to: read-only, like the one it replaces.
    Descriptor held;
    try {
        // Owner and mode first, so that the one sync below makes them durable with the
        // bytes. Saving another user's image as root must leave it theirs; a user who
        // may not give a file away keeps what the old file had where they can.
        struct stat old {};
        mode_t mode = 0;
        if (stat(target.c_str(), &old) == 0) {
            mode = old.st_mode & 07777;
            if ((old.st_uid != geteuid() || old.st_gid != getegid()) &&
                fchown(temp.get(), old.st_uid, old.st_gid) != 0 && errno != EPERM) {
                throw DiskImageError::ioErrorFromErrno(errno);
            }
        } else {
            const mode_t mask = umask(0);
            umask(mask);
            mode = 0666 & ~mask;
        }
        if (step(AtomicWriteStep::setMode, fchmod(temp.get(), mode)) != 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        fill(temp.get());
        if (step(AtomicWriteStep::sync, fsync(temp.get())) != 0) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
        if (lock) {
            held = Descriptor(open(tempPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
            if (held.get() < 0 ||
                step(AtomicWriteStep::lock, flock(held.get(), LOCK_EX | LOCK_NB)) != 0) {
                throw DiskImageError::ioErrorFromErrno(errno);
            }
        }
        // Asked before the rename: an injected failure must leave the target as a
        // failed rename does, untouched.
        if (step(AtomicWriteStep::rename, 0) != 0 || putInPlace(tempPath, target, existing) != 0) {
            if (errno == EEXIST && existing == ExistingTarget::keep) {
                throw DiskImageError::targetExists(path.string());
            }
            throw DiskImageError::ioErrorFromErrno(errno);
        }
    } catch (const DiskImageError& error) {
        unlink(tempPath.c_str());
        if (isOutOfSpace(error)) {
            // Measured after the partial file is gone: what the user can free up to.
            throw DiskImageError::hostSpaceShort(required,
                                                 std::max<std::int64_t>(0, freeSpaceIn(directory)));
        }
        throw;
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
        // After the rename, which changes the file's change time: what is recorded is the
        // file as it stands at its path.
        lock->replace(held.release(), FileLock::Mode::exclusive);
    }
}

} // namespace

void setAtomicWriteFaultHook(std::function<int(AtomicWriteStep)> hook) {
    faultHook() = std::move(hook);
}

void writeFileAtomically(const std::filesystem::path& path, ByteView bytes,
                         LockedTarget lockedTarget, const std::shared_ptr<FileLock>& lock,
                         ExistingTarget existing) {
    writeFileAtomically(path, std::span<const ByteView>(&bytes, 1), lockedTarget, lock, existing);
}

void writeFileAtomically(const std::filesystem::path& path, std::span<const ByteView> pieces,
                         LockedTarget lockedTarget, const std::shared_ptr<FileLock>& lock,
                         ExistingTarget existing) {
    replaceFile(
        path, totalSize(pieces), [&](int fd) { writeAll(fd, pieces); }, lockedTarget, lock,
        existing);
}

void writeFileAtomically(const std::filesystem::path& path, std::span<const ContentPiece> pieces,
                         const std::function<void(int fd)>& check, ExistingTarget existing) {
    std::int64_t size = 0;
    for (const ContentPiece& piece : pieces) {
        size += pieceLength(piece);
    }
    replaceFile(
        path, contentSpace(pieces),
        [&](int fd) {
            if (step(AtomicWriteStep::write, ftruncate(fd, size)) != 0) {
                throw DiskImageError::ioErrorFromErrno(errno);
            }
            writeContent(fd, pieces);
            if (check) {
                check(fd);
            }
        },
        LockedTarget::refuse, nullptr, existing);
}

void writeFileAtomically(const std::filesystem::path& path, const FileRevision& revision,
                         const std::shared_ptr<FileLock>& lock) {
    replaceFile(
        path, revisionSpace(revision), [&](int fd) { writeRevision(fd, revision); },
        LockedTarget::ownedByCaller, lock, ExistingTarget::replace);
}

void copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& path) {
    const int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    const Descriptor held(fd);
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    const FileRevision revision{fd, static_cast<std::int64_t>(status.st_size), {}};
    replaceFile(
        path, revisionSpace(revision), [&](int out) { writeRevision(out, revision); },
        LockedTarget::refuse, nullptr, ExistingTarget::keep);
}

} // namespace tamberlane
