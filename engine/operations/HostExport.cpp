#include "engine/operations/HostExport.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryWalk.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/HostFileName.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane {

namespace fs = std::filesystem;

namespace {

// A cluster wholly past the image data has no bytes of its own; a hostile FAT must not
// make an export allocate far beyond the image it came from.
bool clusterTouchesData(const DiskImage& image, std::uint16_t cluster) {
    const std::int64_t sector = image.firstDataSector() + (static_cast<std::int64_t>(cluster) - 2) *
                                                              image.bpb.sectorsPerCluster;
    const std::int64_t start = image.dataOffset + sector * image.bpb.bytesPerSector;
    return start < static_cast<std::int64_t>(image.data.size());
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

bool hostPathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

struct ExportStep {
    FileEntry entry;
    fs::path destination;
};

// Everything one requested entry writes, directories before their contents. Listing
// the whole tree first means a broken directory fails its item before anything of it
// reaches the host.
class ExportPlan {
  public:
    ExportPlan(const DiskImage& image, const FileEntry& entry, const fs::path& folder)
        : image_(image) {
        add(entry, HostFileName::pathInside(folder, entry.directoryEntry.displayName()));
    }

    const std::vector<ExportStep>& steps() const { return steps_; }
    std::size_t fileCount() const { return fileCount_; }

  private:
    void add(const FileEntry& entry, const fs::path& destination) {
        steps_.push_back({entry, destination});
        if (!entry.directoryEntry.isDirectory()) {
            ++fileCount_;
            return;
        }
        const std::uint16_t cluster = entry.directoryEntry.startCluster;
        guard_.enter(cluster);
        for (const FileEntry& child : readDirectoryEntries(image_, entry.path, cluster)) {
            add(child, HostFileName::pathInside(destination, child.directoryEntry.displayName()));
        }
    }

    const DiskImage& image_;
    DirectoryWalkGuard guard_;
    std::vector<ExportStep> steps_;
    std::size_t fileCount_ = 0;
};

class EntryExporter {
  public:
    EntryExporter(const DiskImage& image, const ExportOptions& options, std::size_t totalFiles)
        : image_(image), options_(options), totalFiles_(totalFiles) {}

    // False when a stop request ended the steps early.
    bool run(const ExportPlan& plan) {
        for (const ExportStep& step : plan.steps()) {
            if (step.entry.directoryEntry.isDirectory()) {
                makeHostDirectory(step.destination);
                continue;
            }
            if (options_.stop.stop_requested()) {
                return false;
            }
            writeFile(step);
        }
        return true;
    }

  private:
    void writeFile(const ExportStep& step) {
        const bool keep =
            options_.existing == ExistingHostFile::skip && hostPathExists(step.destination);
        if (!keep) {
            exportFileTo(image_, step.entry, step.destination);
        }
        ++filesDone_;
        if (options_.progress) {
            options_.progress(step.entry.directoryEntry.displayName(),
                              static_cast<double>(filesDone_) / static_cast<double>(totalFiles_));
        }
    }

    const DiskImage& image_;
    const ExportOptions& options_;
    const std::size_t totalFiles_;
    std::size_t filesDone_ = 0;
};

} // namespace

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
    std::vector<std::optional<ExportPlan>> plans;
    std::vector<std::optional<DiskImageError>> planErrors;
    std::size_t totalFiles = 0;
    for (const FileEntry& entry : entries) {
        try {
            plans.emplace_back(std::in_place, image, entry, folder);
            planErrors.emplace_back();
            totalFiles += plans.back()->fileCount();
        } catch (const DiskImageError& error) {
            plans.emplace_back();
            planErrors.emplace_back(error);
        }
    }

    ExportResult result;
    EntryExporter exporter(image, options, totalFiles);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        BatchItemResult item{entries[i].directoryEntry.displayName(), planErrors[i]};
        if (plans[i]) {
            try {
                if (!exporter.run(*plans[i])) {
                    result.cancelled = true;
                    return result;
                }
            } catch (const DiskImageError& error) {
                item.error = error;
            }
        }
        result.items.push_back(std::move(item));
    }
    return result;
}

void exportFileTo(const DiskImage& image, const FileEntry& entry, const fs::path& destination) {
    writeHostFile(destination, readEntryBytes(image, entry.directoryEntry));
}

Bytes readEntryBytes(const DiskImage& image, const DirectoryEntry& entry,
                     const ProgressCallback& progress) {
    const std::uint32_t size = entry.size;
    Bytes data;
    if (size == 0) {
        return data;
    }
    const auto chain = FATParser::getClusterChain(entry.startCluster, image.fatTable);
    if (chain.empty()) {
        throw DiskImageError::invalidCluster(entry.startCluster);
    }
    for (std::size_t i = 0; i < chain.size() && data.size() < size; ++i) {
        if (!clusterTouchesData(image, chain[i])) {
            break;
        }
        const Bytes cluster = image.readCluster(chain[i]);
        data.insert(data.end(), cluster.begin(), cluster.end());
        if (progress) {
            progress(static_cast<double>(i + 1) / static_cast<double>(chain.size()));
        }
    }
    if (data.size() > size) {
        data.resize(size);
    }
    return data;
}

void writeHostFile(const fs::path& path, ByteView bytes) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            throw DiskImageError::ioErrorFromErrno(error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        throw DiskImageError::ioErrorFromErrno(errno);
    }
}

} // namespace tamberlane
