#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <system_error>
#include <vector>

namespace tamberlane {

enum class ClusterChainErrorType { circularReference, invalidCluster };

// The engine's one error type. `message()` is the exact text the user sees.
class DiskImageError : public std::exception {
  public:
    enum class Kind {
        unsupportedFormat,
        invalidFileSize,
        headerParseFailure,
        invalidBPB,
        fatCorruption,
        clusterChainError,
        diskFull,
        lockConflict,
        ioError,
        encodingError,
        directoryDepthExceeded,
        writeProtected,
        // A converted image read back does not hold the disk it was made from.
        conversionMismatch,
    };

    // Why an operation refused, for callers that must branch on it (ask before
    // overwriting, skip a stale entry) without reading the message.
    enum class Reason {
        none,
        nameClash,
        directoryExists,
        entryNotFound,
        directoryNotFound,
        notRegularFile,
        rootDirectoryFull,
        intoItself,
        staleEntry,
        reservedName,
        // The volume reads but a change could destroy it or something stored around it.
        unsafeVolume,
        // The volume was found by searching; a change waits for the holder's confirmation.
        unconfirmedVolume,
        // The image file is no longer what was read: another program wrote it, it was moved
        // or deleted, or another program holds it open for writing. Reopening is the way on.
        imageFileChanged,
        imageFileMoved,
        imageFileOpenForWriting,
        // An earlier item of the same batch took the name: replacing it would lose that item.
        nameTakenInBatch,
        // A path component names several entries, none of them more closely than the others.
        ambiguousName,
        // A new or converted image would take the place of an existing file.
        targetExists,
        // A conversion would be written over the file it is made from.
        sameFileAsSource,
        // A long name past what its slots can hold.
        nameTooLong,
        // The boot sector no longer says what the volume was opened with; only a fresh open
        // (or taking the edit back) makes its layout trustworthy again.
        bootParametersChanged,
    };

    static DiskImageError unsupportedFormat(std::string ext);
    static DiskImageError invalidFileSize(std::vector<std::int64_t> expected, std::int64_t actual);
    static DiskImageError headerParseFailure(std::string text);
    static DiskImageError invalidBPB(std::string text);
    static DiskImageError fatCorruption(std::string text);
    static DiskImageError circularReference(std::uint16_t cluster);
    static DiskImageError invalidCluster(std::uint16_t cluster);
    static DiskImageError diskFull(std::int64_t required, std::int64_t available);
    static DiskImageError lockConflict(std::string text);
    // A platform failure: the description is the errno text.
    static DiskImageError ioError(std::error_code code);
    static DiskImageError ioErrorFromErrno(int errnoValue);
    // A failure that has no errno (its description is given).
    static DiskImageError ioError(std::string description, int code = -1);
    static DiskImageError encodingError(std::string text);
    static DiskImageError directoryDepthExceeded(std::int64_t depth);
    static DiskImageError writeProtected();
    // Changes refused on a volume that opens for reading: its areas overlap or lie outside
    // the image, its FAT copies disagree, or a D88 file cannot keep its metadata sectors.
    static DiskImageError unsafeVolumeLayout();
    static DiskImageError fatCopiesDiffer();
    static DiskImageError metadataNotStorable();
    static DiskImageError bootParametersChanged();
    // `offset`: the byte where the boot sector was found.
    static DiskImageError searchedVolumeUnconfirmed(std::int64_t offset);
    // The image file changed under us; every change is refused until it is opened again.
    static DiskImageError imageFileChanged();
    static DiskImageError imageFileMoved();
    static DiskImageError imageFileOpenForWriting();
    // A save that the host's file system has no room for (an ioError with ENOSPC).
    static DiskImageError hostSpaceShort(std::int64_t required, std::int64_t available);
    // Whether reopening the file is the way on (the reasons above).
    bool asksToReopen() const;
    // An export refused before it replaced a host file: one already standing at `path`
    // (nothing is replaced unless the user said so), the open image itself under some name,
    // or a file another program holds locked (an image to open or save, too).
    static DiskImageError hostFileExists(const std::string& path);
    static DiskImageError exportOntoOpenImage(const std::string& path);
    static DiskImageError hostFileLocked();
    // `existing`, when given, is the entry's own name where it differs from `name`.
    static DiskImageError nameClash(const std::string& name, const std::string& existing = {});
    static DiskImageError directoryExists(const std::string& name);
    static DiskImageError nameTakenInBatch(const std::string& name, const std::string& existing);
    static DiskImageError ambiguousName(const std::string& name);
    // `path` as the user named it.
    static DiskImageError targetExists(const std::string& path);
    static DiskImageError sameFileAsSource(const std::string& path);
    // `what`: which part of the disk the converted image reads back differently.
    static DiskImageError conversionMismatch(std::string what);
    // A headerless file records no sector size; a partition table placed by sectors of
    // another size than 512 bytes is not found in it again.
    static DiskImageError sectorSizeNotRecordable(const std::string& formatName,
                                                  std::int64_t bytesPerSector);
    // `name` as the user sees it. An entry that is not there; one that was listed but has
    // gone or changed since (the caller skips it rather than stopping).
    static DiskImageError entryNotFound(const std::string& name);
    static DiskImageError staleEntry(const std::string& name);
    // A path component that names no directory: a listing's words, and a change's.
    static DiskImageError directoryNotListed(const std::string& component);
    static DiskImageError directoryNotFound(const std::string& name);
    static DiskImageError intoItself(const std::string& name);
    static DiskImageError notRegularFile(const std::string& name);
    static DiskImageError reservedName(const std::string& name);
    static DiskImageError nameTooLong(const std::string& name);
    // `lba` counts sectors from the volume's start; the container holds no record for it.
    static DiskImageError sectorNotRecorded(std::int64_t lba);
    // `maxEntries`: the entry count the boot sector gives the root directory.
    static DiskImageError rootDirectoryFull(std::int64_t maxEntries);
    // `bits`: 12 or 16; `size` bytes of table where `needed` are.
    static DiskImageError fatTableShort(int bits, std::int64_t size, std::int64_t needed);
    // A converted volume larger than the geometry it is to be written in.
    static DiskImageError volumeExceedsGeometry(std::int64_t volumeBytes,
                                                std::int64_t geometryBytes);
    // An export that would write a second file under a name it has already written.
    static DiskImageError exportedTwice(const std::string& path);
    // The file ends before the header of `container` ("D88", "FDI", ...) does: it needs
    // `needed` bytes and holds `got`. Without sizes for a header of no fixed length.
    static DiskImageError headerTooShort(const std::string& container, std::int64_t needed,
                                         std::int64_t got);
    static DiskImageError headerTooShort(const std::string& container);

    Kind kind() const { return kind_; }
    Reason reason() const { return reason_; }
    // Returns *this so that a factory call can be tagged where it is thrown.
    DiskImageError& withReason(Reason reason) {
        reason_ = reason;
        return *this;
    }
    const std::string& text() const { return text_; }
    const std::vector<std::int64_t>& expected() const { return expected_; }
    std::int64_t actual() const { return first_; }
    std::int64_t required() const { return first_; }
    std::int64_t available() const { return second_; }
    std::int64_t depth() const { return first_; }
    ClusterChainErrorType chainErrorType() const { return chainType_; }
    std::uint16_t cluster() const { return static_cast<std::uint16_t>(first_); }
    // For ioError: the errno value, or the code given with a description.
    int ioCode() const { return static_cast<int>(first_); }

    // The user-visible text of the error.
    std::string errorDescription() const;
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    explicit DiskImageError(Kind kind) : kind_(kind) {}
    static DiskImageError refusedChange(std::string why, Reason reason);
    // An error whose whole message is `message`, without its kind's prefix.
    static DiskImageError verbatim(Kind kind, Reason reason, std::string message);
    DiskImageError& finish();

    Kind kind_;
    Reason reason_ = Reason::none;
    std::string text_;
    std::vector<std::int64_t> expected_;
    std::int64_t first_ = 0;
    std::int64_t second_ = 0;
    ClusterChainErrorType chainType_ = ClusterChainErrorType::invalidCluster;
    std::string message_;
    bool verbatim_ = false;
};

} // namespace tamberlane
