#include "engine/operations/HostExport.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/FileLock.h"
#include "engine/base/Translation.h"
#include "engine/fat/DirectoryWalk.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/HostFileName.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane {

namespace fs = std::filesystem;

namespace {

// How many bytes of the image data a cluster has, from its start: 0 for one wholly past
// the end (a hostile FAT must not make an export allocate far beyond the image).
std::int64_t clusterBytesInImage(const DiskImage& image, std::uint16_t cluster) {
    const std::int64_t start = image.addressing().clusterOffset(cluster);
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(image.data().size()) - start);
}

// A real directory at `path` (made if missing); a link or a file there is an error.
void makeHostDirectory(const fs::path& path) {
    if (::mkdir(path.c_str(), 0777) == 0) {
        return;
    }
    if (errno != EEXIST) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        throw DiskImageError::ioErrorFromErrno(ENOTDIR);
    }
}

// Whether `target` is the file the image was read from (held by its lock), or the one now
// at its path: a hard link, a symbolic link or another spelling of the path leads there
// as well as the image's own name.
bool isImageFile(const DiskImage& image, const fs::path& target) {
    if (image.file().lock() && image.file().lock()->refersTo(target)) {
        return true;
    }
    FileIdentity own;
    FileIdentity there;
    return FileIdentity::of(image.layout().url, own) && FileIdentity::of(target, there) &&
           own.isSameFile(there);
}

// The probe a save makes before it replaces a file: whether another program holds it
// locked. The lock is let go at once; closing the descriptor releases it.
bool lockedByAnother(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

// Refuses, before anything is written, to replace what stands at `path` unless it may go.
// The image is recognised before the lock is probed: our own lock on it would otherwise
// pass for another program's.
void checkReplaceable(const fs::path& path, const DiskImage& source, ExistingHostFile existing) {
    struct stat here {};
    if (::lstat(path.c_str(), &here) != 0) {
        return;
    }
    if (isImageFile(source, path)) {
        throw DiskImageError::exportOntoOpenImage(path.string());
    }
    if (S_ISLNK(here.st_mode)) {
        throw DiskImageError::ioErrorFromErrno(ELOOP);
    }
    if (existing != ExistingHostFile::overwrite) {
        throw DiskImageError::hostFileExists(path.string());
    }
    if (S_ISREG(here.st_mode) && lockedByAnother(path)) {
        throw DiskImageError::hostFileLocked();
    }
}

// rename() that fails with EEXIST instead of replacing a file that appeared after the
// check, on file systems that cannot say so atomically too.
int renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

bool hostPathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

struct ExportStep {
    FileEntry entry;
    fs::path destination;
    // The step of the directory it lies in; none for a requested entry.
    std::optional<std::size_t> parent;
};

// Everything one requested entry writes, directories before their contents. Each
// directory is listed in full before anything of it reaches the host, so one that
// cannot be listed is a problem and leaves no folder; the rest of the tree goes on.
class ExportPlan {
  public:
    ExportPlan(DirectoryWalk& walk, const FileEntry& entry, const fs::path& folder) : walk_(walk) {
        add(entry, HostFileName::pathInside(folder, entry.directoryEntry.displayName()),
            std::nullopt);
    }

    const std::vector<ExportStep>& steps() const { return steps_; }
    const std::vector<BatchItemResult>& problems() const { return problems_; }
    std::size_t fileCount() const { return fileCount_; }

  private:
    void add(const FileEntry& entry, const fs::path& destination,
             std::optional<std::size_t> parent) {
        if (!entry.directoryEntry.isDirectory()) {
            steps_.push_back({entry, destination, parent});
            ++fileCount_;
            return;
        }
        std::vector<FileEntry> children;
        try {
            children = walk_.read(entry.path, entry.directoryEntry.startCluster);
        } catch (const DiskImageError& error) {
            problems_.push_back({entry.path.displayString(), error});
            return;
        }
        const std::size_t self = steps_.size();
        steps_.push_back({entry, destination, parent});
        for (const FileEntry& child : children) {
            add(child, HostFileName::pathInside(destination, child.directoryEntry.displayName()),
                self);
        }
    }

    DirectoryWalk& walk_;
    std::vector<ExportStep> steps_;
    std::vector<BatchItemResult> problems_;
    std::size_t fileCount_ = 0;
};

class EntryExporter {
  public:
    EntryExporter(const DiskImage& image, const ExportOptions& options, std::size_t totalFiles)
        : image_(image), options_(options), totalFiles_(totalFiles) {}

    // Adds each step that fails to `problems`; false when a stop request ended the steps
    // early.
    bool run(const ExportPlan& plan, std::vector<BatchItemResult>& problems) {
        std::vector<bool> failed(plan.steps().size(), false);
        for (std::size_t i = 0; i < plan.steps().size(); ++i) {
            const ExportStep& step = plan.steps()[i];
            // Nothing goes into a folder that could not be made: what stands there in
            // its place (a file, a link) is not ours to write into.
            if (step.parent && failed[*step.parent]) {
                failed[i] = true;
                continue;
            }
            const bool isDirectory = step.entry.directoryEntry.isDirectory();
            if (!isDirectory && options_.stop.stop_requested()) {
                return false;
            }
            try {
                if (isDirectory) {
                    makeHostDirectory(step.destination);
                } else {
                    writeFile(step);
                }
            } catch (const DiskImageError& error) {
                failed[i] = true;
                problems.push_back({step.entry.path.displayString(), error});
            }
        }
        return true;
    }

  private:
    void writeFile(const ExportStep& step) {
        // Asked before the host is: a file this export wrote is never taken for the
        // user's own, whether to skip it or to write over it.
        if (!written_.insert(step.destination).second) {
            throw DiskImageError::exportedTwice(step.entry.path.displayString());
        }
        const bool keep =
            options_.existing == ExistingHostFile::skip && hostPathExists(step.destination);
        ++filesDone_;
        const auto reportProgress = [&] {
            if (options_.progress) {
                options_.progress(step.entry.directoryEntry.displayName(),
                                  static_cast<double>(filesDone_) /
                                      static_cast<double>(totalFiles_));
            }
        };
        if (!keep) {
            try {
                exportFileTo(image_, step.entry, step.destination, options_.existing);
            } catch (const DiskImageError&) {
                reportProgress();
                throw;
            }
        }
        reportProgress();
    }

    const DiskImage& image_;
    const ExportOptions& options_;
    const std::size_t totalFiles_;
    std::size_t filesDone_ = 0;
    std::set<fs::path> written_;
};

} // namespace

std::vector<std::string> ExportResult::problemNames() const {
    std::vector<std::string> names;
    for (const BatchItemResult& problem : problems) {
        names.push_back(problem.name);
    }
    return names;
}

std::vector<std::string> existingHostNames(const std::vector<FileEntry>& entries,
                                           const fs::path& folder) {
    std::vector<std::string> names;
    for (const FileEntry& entry : entries) {
        const std::string name = entry.directoryEntry.displayName();
        if (hostPathExists(HostFileName::pathInside(folder, name))) {
            names.push_back(name);
        }
    }
    return names;
}

ExportResult exportEntries(const DiskImage& image, const std::vector<FileEntry>& entries,
                           const fs::path& folder, const ExportOptions& options) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        throw DiskImageError::ioError(ec);
    }
    // One walk for every requested entry: a directory cross-linked with another one of
    // the request is found too.
    DirectoryWalk walk(image);
    std::vector<ExportPlan> plans;
    std::size_t totalFiles = 0;
    for (const FileEntry& entry : entries) {
        plans.emplace_back(walk, entry, folder);
        totalFiles += plans.back().fileCount();
    }

    ExportResult result;
    EntryExporter exporter(image, options, totalFiles);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t before = result.problems.size();
        result.problems.insert(result.problems.end(), plans[i].problems().begin(),
                               plans[i].problems().end());
        const bool finished = exporter.run(plans[i], result.problems);
        if (!finished) {
            result.problems.resize(before);
            result.cancelled = true;
            return result;
        }
        BatchItemResult item{entries[i].directoryEntry.displayName(), std::nullopt};
        if (result.problems.size() > before) {
            item.error = result.problems[before].error;
        }
        result.items.push_back(std::move(item));
    }
    return result;
}

DiskImageError incompleteFile(const std::string& name) {
    return DiskImageError::fatCorruption(
        translate("ファイルのクラスタがイメージの範囲外にあるため、読めた部分だけを取り出しました: "
                  "%1$s",
                  {name}));
}

void exportFileTo(const DiskImage& image, const FileEntry& entry, const fs::path& destination,
                  ExistingHostFile existing) {
    bool complete = true;
    writeHostFile(
        destination,
        [&](const std::function<void(ByteView)>& write) {
            complete = forEachEntryPiece(image, entry.directoryEntry, write);
        },
        image, existing);
    if (!complete) {
        throw incompleteFile(entry.path.displayString());
    }
}

EntryBytes readEntryBytes(const DiskImage& image, const DirectoryEntry& entry,
                          const ProgressCallback& progress) {
    EntryBytes out;
    out.complete = forEachEntryPiece(
        image, entry,
        [&](ByteView piece) { out.bytes.insert(out.bytes.end(), piece.begin(), piece.end()); },
        progress);
    return out;
}

bool forEachEntryPiece(const DiskImage& image, const DirectoryEntry& entry,
                       const std::function<void(ByteView)>& visit,
                       const ProgressCallback& progress) {
    const std::int64_t size = entry.size;
    if (size == 0) {
        return true;
    }
    const auto chain = FATParser::getClusterChain(entry.startCluster, image.fatTable());
    if (chain.empty()) {
        throw DiskImageError::invalidCluster(entry.startCluster);
    }
    std::int64_t done = 0;
    for (std::size_t i = 0; i < chain.size() && done < size; ++i) {
        const std::int64_t wanted =
            std::min<std::int64_t>(image.addressing().bytesPerCluster(), size - done);
        const std::int64_t inImage = clusterBytesInImage(image, chain[i]);
        if (inImage == 0) {
            return false;
        }
        const Bytes cluster = image.readCluster(chain[i], false);
        // Past the end of the image there are no bytes of the file, only padding.
        const std::int64_t kept =
            std::min({wanted, inImage, static_cast<std::int64_t>(cluster.size())});
        visit(ByteView(cluster).first(static_cast<std::size_t>(kept)));
        done += kept;
        if (inImage < wanted) {
            return false;
        }
        if (progress) {
            progress(static_cast<double>(i + 1) / static_cast<double>(chain.size()));
        }
    }
    return true;
}

void writeHostFile(const fs::path& path, ByteView bytes, const DiskImage& source,
                   ExistingHostFile existing) {
    writeHostFile(
        path, [&](const std::function<void(ByteView)>& write) { write(bytes); }, source, existing);
}

void writeHostFile(const fs::path& path, const HostFileProducer& produce, const DiskImage& source,
                   ExistingHostFile existing) {
    checkReplaceable(path, source, existing);
    // A new file in the same folder, so that the rename below cannot cross file systems.
    static std::atomic<unsigned> counter{0};
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = path.parent_path() / (".tamberlane-" + std::to_string(::getpid()) + "-" +
                                          std::to_string(counter.fetch_add(1)) + ".tmp");
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100)) {
            throw DiskImageError::ioErrorFromErrno(errno);
        }
    }
    const auto write = [&](ByteView bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw DiskImageError::ioErrorFromErrno(errno);
            }
            done += static_cast<std::size_t>(n);
        }
    };
    try {
        produce(write);
    } catch (...) {
        // A failed write, or a file that cannot be read: nothing of it is left behind.
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw DiskImageError::ioErrorFromErrno(error);
    }
    const bool replace = existing == ExistingHostFile::overwrite;
    if ((replace ? ::rename(temporary.c_str(), path.c_str())
                 : renameWithoutReplacing(temporary, path)) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        if (error == EEXIST) {
            throw DiskImageError::hostFileExists(path.string());
        }
        throw DiskImageError::ioErrorFromErrno(error);
    }
}

} // namespace tamberlane
