#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/BatchRunner.h"
#include "engine/operations/VolumeEditor.h"

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace tamberlane {

// Host files brought into a directory of the volume. Each call is all or nothing: on
// success the image file has been written once; on failure file and memory are as before.
class FileImport {
  public:
    explicit FileImport(std::shared_ptr<DiskImage> image) : editor_(std::move(image)) {}

    // The name, as text, that the host file `from` is imported under and known by in
    // messages. Linux keeps names as bytes: those that are not UTF-8 but read as Shift-JIS
    // (old archives unpacked as they were) are taken as Shift-JIS, so the entry keeps them.
    static std::string hostFileName(const std::filesystem::path& from);

    // Imports one regular host file (links followed) into the directory `to`.
    void importFile(const std::filesystem::path& from, const DiskPath& to, bool overwrite,
                    const ProgressCallback& progress = {},
                    LongNamePolicy policy = LongNamePolicy::automatic);
    // Imports several host files into one directory and writes the image file once. A file
    // that fails is left out (its own changes undone) and the others go on; when the final
    // save fails, every file is undone and reported failed.
    BatchResult importFiles(const std::vector<std::filesystem::path>& from, const DiskPath& to,
                            const BatchOptions& options);
    BatchResult importFiles(const std::vector<std::filesystem::path>& from, const DiskPath& to,
                            bool overwrite, const ProgressCallback& progress = {}) {
        return importFiles(from, to, BatchOptions{overwrite, {}, progress});
    }
    // For each host file name, the name of the entry its import into `to` clashes with,
    // where that differs from the host name even ignoring case (as the clash message names
    // it), so that a question names the entry an overwrite replaces; empty where nothing
    // clashes or the names agree.
    std::vector<std::string> clashingEntryNames(const std::vector<std::string>& hostNames,
                                                const DiskPath& to,
                                                LongNamePolicy policy = LongNamePolicy::automatic);

  private:
    struct Name;
    struct Options {
        bool overwrite = false;
        LongNamePolicy longNames = LongNamePolicy::automatic;
    };
    void importOne(const std::filesystem::path& from, const DiskPath& to, const Options& options,
                   const std::stop_token& stop, const ProgressCallback& progress);
    std::optional<std::size_t> replaced(const DirectoryTable& table, const Name& name,
                                        bool overwrite) const;
    std::uint16_t writeData(ByteView data, const std::stop_token& stop,
                            const ProgressCallback& progress);

    VolumeEditor editor_;
    // The names the batch's items asked for so far, written or not.
    std::unordered_set<std::string> keysAsked_;
};

} // namespace tamberlane
