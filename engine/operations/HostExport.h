#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/BatchRunner.h"

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace tamberlane {

// What an export does with a host file already standing at a destination: replace it
// (the user said so), leave it and count the item done, or leave it and fail the item.
// Whichever is chosen, the open image and a file another program holds locked are never
// replaced.
enum class ExistingHostFile { overwrite, skip, refuse };

struct ExportOptions {
    ExistingHostFile existing = ExistingHostFile::refuse;
    std::stop_token stop = {};
    // (display name of the file being written, overall fraction 0..1)
    std::function<void(const std::string& name, double fraction)> progress = {};
};

// One item per requested entry, in request order; a skipped file counts as succeeded.
// After a stop, items hold only the entries finished before it. An item fails when
// anything of its tree failed; `problems` names each entry that failed, by its path on
// the volume, the requested ones included.
struct ExportResult : BatchResult {
    bool cancelled = false;
    std::vector<BatchItemResult> problems;

    std::vector<std::string> problemNames() const;
};

// Display names of `entries` (one level) whose host destination already exists in
// `folder`, so that a front end can ask once before exporting. A directory of the host
// is named too: its files can be replaced only when it exists.
std::vector<std::string> existingHostNames(const std::vector<FileEntry>& entries,
                                           const std::filesystem::path& folder);

// Exports files and whole directory trees into `folder` (created if missing). Every host
// path is made by HostFileName::pathInside, and nothing is written through a symbolic
// link. A directory is listed in full before anything of it is written, so one whose
// listing fails leaves no empty folder; the export goes on past it and past every other
// entry that fails. Two entries of one export that come to the same host path (a damaged
// disk can hold two of a name) are never written over each other: the later one fails.
// Each cluster of the walk is read once; a cross-linked directory fails rather than being
// read again. A stop request ends the export after the current file; files already
// written stay.
ExportResult exportEntries(const DiskImage& image, const std::vector<FileEntry>& entries,
                           const std::filesystem::path& folder, const ExportOptions& options = {});

// Writes one file's bytes to exactly `destination` (a name the user chose), refusing to
// follow a symbolic link there. A file of which only a part could be read is written
// with that part, then reported by incompleteFile.
void exportFileTo(const DiskImage& image, const FileEntry& entry,
                  const std::filesystem::path& destination, ExistingHostFile existing);

struct EntryBytes {
    Bytes bytes;
    // False when clusters the file needs lie past the end of the image: `bytes` then
    // holds what lies inside it.
    bool complete = true;
};

// The bytes of a file as listed: its chain cut at the recorded size. A chain that is
// shorter gives a shorter file; one that leaves the image data gives what lies inside
// and is not complete. An empty chain is an invalidCluster error. `progress` gets one
// value per cluster.
EntryBytes readEntryBytes(const DiskImage& image, const DirectoryEntry& entry,
                          const ProgressCallback& progress = {});
// The same bytes handed to `visit` a cluster at a time, so that a file of any size is
// never held whole; returns whether they are complete.
bool forEachEntryPiece(const DiskImage& image, const DirectoryEntry& entry,
                       const std::function<void(ByteView)>& visit,
                       const ProgressCallback& progress = {});

// The error of a file that was read only in part, named by `name`.
DiskImageError incompleteFile(const std::string& name);

// Writes the host file at `path` with `bytes`: they go to a new file beside it, which
// then takes its name, so a hard link standing there never carries the write elsewhere.
// A symbolic link standing there is refused (ioError) rather than followed. A file
// standing there is replaced only with ExistingHostFile::overwrite (else hostFileExists),
// and never when it is the file `source` was read from, by whatever name
// (exportOntoOpenImage), or when another program holds it locked (hostFileLocked).
void writeHostFile(const std::filesystem::path& path, ByteView bytes, const DiskImage& source,
                   ExistingHostFile existing);
// The same with the bytes `produce` passes to the writer it is given, piece by piece.
using HostFileProducer = std::function<void(const std::function<void(ByteView)>& write)>;
void writeHostFile(const std::filesystem::path& path, const HostFileProducer& produce,
                   const DiskImage& source, ExistingHostFile existing);

} // namespace tamberlane
