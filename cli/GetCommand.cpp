#include "cli/Commands.h"

#include "engine/fat/HostFileName.h"
#include "engine/image/DiskImageError.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane::cli {

namespace {

struct GetOptions {
    std::string image;
    std::vector<std::string> paths;
    std::string outputDirectory = ".";
};

// Replaces the file's contents. A symbolic link already standing at the name is refused
// rather than followed, so nothing lands outside the chosen folder.
void writeHostFile(const std::filesystem::path& path, const Bytes& bytes) {
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

// A real directory at `path` (made if missing); a link or a file there is an error.
void makeHostDirectory(const std::filesystem::path& path) {
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

class Exporter {
  public:
    Exporter(const DiskImageService& service, const DiskImage& image)
        : service_(service), image_(image) {}

    void exportFile(const FileEntry& entry, const std::filesystem::path& folder) {
        const auto destination =
            HostFileName::pathInside(folder, entry.directoryEntry.displayName());
        writeHostFile(destination, service_.readFile(entry));
    }

    // The directory's entries go into `folder`, subdirectories into folders of their own.
    void exportContents(const DiskPath& path, std::optional<std::uint16_t> cluster,
                        const std::filesystem::path& folder) {
        makeHostDirectory(folder);
        for (const FileEntry& child : readDirectoryAt(image_, path, cluster)) {
            if (child.directoryEntry.isDirectory()) {
                guard_.enter(child.directoryEntry.startCluster);
                exportContents(
                    child.path, child.directoryEntry.startCluster,
                    HostFileName::pathInside(folder, child.directoryEntry.displayName()));
            } else {
                exportFile(child, folder);
            }
        }
    }

    void exportEntry(const FileEntry& entry, const std::filesystem::path& folder) {
        if (!entry.directoryEntry.isDirectory()) {
            exportFile(entry, folder);
            return;
        }
        guard_.enter(entry.directoryEntry.startCluster);
        exportContents(entry.path, entry.directoryEntry.startCluster,
                       HostFileName::pathInside(folder, entry.directoryEntry.displayName()));
    }

  private:
    const DiskImageService& service_;
    const DiskImage& image_;
    DirectoryWalkGuard guard_;
};

int runGet(const GetOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global);
    const std::filesystem::path folder = options.outputDirectory;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        throw DiskImageError::ioError(ec);
    }
    // Each path is exported on its own: one that fails is reported and the rest go on.
    int status = exitSuccess;
    for (const std::string& path : options.paths) {
        try {
            Exporter exporter(service, *image);
            const std::optional<FileEntry> entry = findEntry(service, path);
            if (entry) {
                exporter.exportEntry(*entry, folder);
            } else {
                exporter.exportContents(DiskPath::root(), std::nullopt, folder);
            }
        } catch (const DiskImageError& e) {
            context.err << e.errorDescription() << '\n';
            status = exitFailure;
        } catch (const CommandError& e) {
            context.err << e.what() << '\n';
            status = exitFailure;
        }
    }
    return status;
}

} // namespace

void registerGetCommand(CommandRegistry& registry) {
    auto options = std::make_shared<GetOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "get", "ファイルやディレクトリ全体をホストのフォルダに書き出します (\"/\" はルートの中身)");
    sub->add_option("IMAGE", options->image, "ディスクイメージファイル (必須)")->required();
    sub->add_option("PATH", options->paths,
                    "書き出すファイルまたはディレクトリのパス (複数可、必須)")
        ->required();
    sub->add_option("-o", options->outputDirectory,
                    "書き出し先のフォルダ (省略時はカレントディレクトリ、なければ作成)")
        ->type_name("DIR");
    registry.setAction(sub,
                       [options](CommandContext& context) { return runGet(*options, context); });
}

} // namespace tamberlane::cli
