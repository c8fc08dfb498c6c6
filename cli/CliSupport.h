#pragma once

#include "engine/fat/DirectoryWalk.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/ManualParameters.h"
#include "engine/operations/BatchRunner.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tamberlane::cli {

// Options that apply to every command that opens an image.
struct GlobalOptions {
    std::string manual; // KEY=VALUE,... or empty
    int disk = 0;       // 1-based disk of a multi-disk file; 0 = not given
    int partition = 0;  // 1-based FAT partition of a partitioned hard disk; 0 = not given
    // The user confirmed changes to a volume that was found by searching for its boot sector.
    bool force = false;
};

// What a command gets to do its work: where to write and the global options.
struct CommandContext {
    std::ostream& out;
    std::ostream& err;
    const GlobalOptions& global;
};

// A mistake in the command line found after parsing (exit status 2).
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A failure that is not the engine's own (a path that names nothing, ...), exit status 1.
class CommandError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

// Parses the --manual text; unknown keys and bad values are usage errors.
ManualParameters parseManualParameters(const std::string& text);

// The volume the global --disk and --partition options choose.
VolumeChoice volumeChoice(const GlobalOptions& global);

// What a command does to the image it opens. Commands that only read take no exclusive
// lock: they work while the application holds the image, and since every save renames a
// new file into place they still read one whole image. Their image refuses every change.
enum class ImageAccess { read, change };

// Opens `file` with the global --manual, --disk, --partition and --force options; the image
// becomes current.
std::shared_ptr<DiskImage> openImage(DiskImageService& service, const std::string& file,
                                     const GlobalOptions& global, ImageAccess access);

// The entry a "/"-separated path names, each name as a listing prints it or as the
// engine's path resolution accepts it; nullopt for the root. A path that names nothing is
// a CommandError.
std::optional<FileEntry> entryNamed(const DiskImage& image, const std::string& pathText);

// Display formats of the file list.
std::string formatGroupedNumber(std::int64_t value);
std::string formatListDate(Timestamp time);            // yyyy/MM/dd HH:mm, Tokyo time
std::string formatIsoDate(Timestamp time);             // yyyy-MM-ddTHH:mm:ss+09:00
std::string formatAttributes(std::uint8_t attributes); // "R H S A" letters that are set
// Control characters replaced, so a hostile name cannot drive the terminal.
std::string printableName(const std::string& name);
// An engine error as the command line prints it: a name clash or a name no entry may take
// is its own message, not one about encodings.
std::string describeError(const DiskImageError& error);
// Each failed item of a batch on its own line of `err`, in the engine's words; the item is
// named in front only when those words do not name it already.
void reportFailedItems(const BatchResult& result, std::ostream& err);
// A batch on the command line is all or nothing unless --keep-going is given; when an
// item already failed before the engine batch, the batch is still tried so that every
// failure is named.
BatchMode commandBatchMode(bool keepGoing, bool failedBefore);
// Names the batch's failures, says what became of the image and gives the exit status.
int finishBatch(const BatchResult& result, bool keepGoing, bool failedBefore,
                CommandContext& context);

} // namespace tamberlane::cli
