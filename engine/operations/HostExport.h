#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/FileOperationService.h"

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace tamberlane {

// What an export does with a host file already standing at a destination.
enum class ExistingHostFile { overwrite, skip };

struct ExportOptions {
    ExistingHostFile existing = ExistingHostFile::overwrite;
    std::stop_token stop = {};
    // (display name of the file being written, overall fraction 0..1)
    std::function<void(const std::string& name, double fraction)> progress = {};
};

// One item per requested entry, in request order; a skipped file counts as succeeded.
// After a stop, items hold only the entries finished before it.
struct ExportResult : BatchResult {
    bool cancelled = false;
};

// Display names of `entries` (one level) whose host destination already exists in
// `folder`, so that a front end can ask once before exporting.
std::vector<std::string> existingHostNames(const std::vector<FileEntry>& entries,
                                           const std::filesystem::path& folder);

// Exports files and whole directory trees into `folder` (created if missing). Every host
// path is made by HostFileName::pathInside, and nothing is written through a symbolic
// link. A directory is listed in full before anything of it is written, so one whose
// listing fails is a failed item and leaves no empty folder. A stop request ends the
// export after the current file; files already written stay.
ExportResult exportEntries(const DiskImage& image, const std::vector<FileEntry>& entries,
                           const std::filesystem::path& folder, const ExportOptions& options = {});

// Writes one file's bytes to exactly `destination` (a name the user chose), refusing to
// follow a symbolic link there.
void exportFileTo(const DiskImage& image, const FileEntry& entry,
                  const std::filesystem::path& destination);

// The bytes of a file as listed: its chain cut at the recorded size. A chain that is
// shorter, or that leaves the image data, gives a shorter file. An empty chain is an
// invalidCluster error. `progress` gets one value per cluster.
Bytes readEntryBytes(const DiskImage& image, const DirectoryEntry& entry,
                     const ProgressCallback& progress = {});

// Replaces the host file at `path` with `bytes`, not atomically. A symbolic link standing
// there is refused (ioError) rather than followed.
void writeHostFile(const std::filesystem::path& path, ByteView bytes);

} // namespace tamberlane
