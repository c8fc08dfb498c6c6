#include "engine/operations/FileImport.h"

#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/NewEntryName.h"
#include "engine/operations/HostFileReader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <unicode/ustring.h>

namespace tamberlane {

namespace fs = std::filesystem;

namespace {

// A FAT directory entry holds a 32-bit size.
constexpr std::uintmax_t maxImportSize = (std::uintmax_t{1} << 32) - 1;

bool isUtf8(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<std::int32_t>(text.size()),
                  &status);
    return status != U_INVALID_CHAR_FOUND && status != U_ILLEGAL_CHAR_FOUND;
}

} // namespace

std::string FileImport::hostFileName(const fs::path& from) {
    std::string name = from.filename().string();
    if (isUtf8(name)) {
        return name;
    }
    // Bytes that are neither stay as they are and become "_" like any other character
    // without a Shift-JIS form.
    const ByteView bytes(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
    return ShiftJISConverter::decodeStrict(bytes).value_or(std::move(name));
}

// The names a host file is imported under.
struct FileImport::Name {
    NewEntryName::Planned planned;

    Name(const std::string& hostName, const DirectoryTable& table, bool longNames)
        : planned(NewEntryName::plan(hostName, table, longNames)) {}
    const std::string& hostName() const { return planned.given; }
    // What two items of one batch must not share: the raw 8.3 name where that is all the
    // entry gets, else the long name, as a listing compares it (behind a newline, which no
    // raw name holds).
    std::string batchKey() const {
        if (planned.longName) {
            return "\n" + EntryLookup::foldCase(*planned.longName);
        }
        std::string k(planned.name83.begin(), planned.name83.end());
        return k.append(planned.ext83.begin(), planned.ext83.end());
    }
    // The new entry is listed under its names, and the user knows it by the host name: any
    // entry listed (or aliased) either way is the same file to the user.
    std::vector<std::size_t> clashesIn(const DirectoryTable& table) const {
        std::vector<std::string> names = planned.names();
        names.push_back(hostName());
        return table.namesakes(planned.name83, planned.ext83, names);
    }
};

namespace {

// Free bytes, with `reclaimable` bytes of a replaced file counted as free.
std::int64_t availableBytes(const DiskImage& image, std::int64_t reclaimable) {
    const std::int64_t bytesPerCluster = image.addressing().bytesPerCluster();
    return bytesPerCluster > 0 ? image.fatTable().freeClusterCount() * bytesPerCluster + reclaimable
                               : 0;
}

// The most bytes an imported file may have.
std::uintmax_t importLimit(const DiskImage& image, std::int64_t reclaimable) {
    return std::min(maxImportSize, static_cast<std::uintmax_t>(std::max<std::int64_t>(
                                       availableBytes(image, reclaimable), 0)));
}

void checkFits(const DiskImage& image, std::uintmax_t length, std::int64_t reclaimable) {
    if (length > importLimit(image, reclaimable)) {
        const std::int64_t required = length > static_cast<std::uintmax_t>(INT64_MAX)
                                          ? INT64_MAX
                                          : static_cast<std::int64_t>(length);
        throw DiskImageError::diskFull(required, availableBytes(image, reclaimable));
    }
}

// The host file's length, once it is known to be a regular file that fits: only a regular
// file has a length known in advance; a FIFO or a device could block or never end.
std::uintmax_t checkImportable(const DiskImage& image, const fs::path& from,
                               const std::string& hostName, std::int64_t reclaimable) {
    std::error_code ec;
    const fs::file_status status = fs::status(from, ec);
    if (ec) {
        throw DiskImageError::ioError(ec);
    }
    if (!fs::is_regular_file(status)) {
        throw DiskImageError::notRegularFile(hostName);
    }
    const std::uintmax_t length = fs::file_size(from, ec);
    if (ec) {
        throw DiskImageError::ioError(ec);
    }
    checkFits(image, length, reclaimable);
    return length;
}

Timestamp now() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

} // namespace

std::optional<std::size_t> FileImport::replaced(const DirectoryTable& table, const Name& name,
                                                bool overwrite) const {
    const std::vector<std::size_t> found = name.clashesIn(table);
    if (found.empty()) {
        return std::nullopt;
    }
    for (std::size_t run : found) {
        const DirectoryEntry& entry = table[run].slots.entry;
        // Replacing a directory by a file would orphan its whole tree.
        if (entry.isDirectory()) {
            throw DiskImageError::directoryExists(name.hostName());
        }
        // A file this batch has just written is never replaced by a later one of it.
        if (table[run].written) {
            throw DiskImageError::nameTakenInBatch(
                name.hostName(), NewEntryName::nameIfOther(entry.displayName(), name.hostName()));
        }
    }
    // Two files of that name: replacing one would leave the other listed under it.
    if (overwrite && found.size() == 1) {
        return found.front();
    }
    throw DiskImageError::nameClash(
        name.planned.clashName(),
        NewEntryName::nameIfOther(table[found.front()].slots.entry.displayName(), name.hostName()));
}

std::vector<std::string> FileImport::clashingEntryNames(const std::vector<std::string>& hostNames,
                                                        const DiskPath& to, LongNamePolicy policy) {
    DirectoryTable& table = editor_.directory(to);
    const bool longNames = editor_.writesLongNames(policy, table);
    std::vector<std::string> out;
    for (const std::string& hostName : hostNames) {
        std::vector<std::size_t> found;
        try {
            found = Name(hostName, table, longNames).clashesIn(table);
        } catch (const DiskImageError&) {
            // A name that cannot be stored fails on its own import, with its reason.
        }
        out.push_back(found.empty()
                          ? std::string()
                          : NewEntryName::nameIfOther(
                                table[found.front()].slots.entry.displayName(), hostName));
    }
    return out;
}

std::uint16_t FileImport::writeData(ByteView data, const std::stop_token& stop,
                                    const ProgressCallback& progress) {
    DiskImage& image = editor_.image();
    const std::int64_t bytesPerCluster = image.addressing().bytesPerCluster();
    const std::int64_t needed =
        data.empty()
            ? 0
            : (static_cast<std::int64_t>(data.size()) + bytesPerCluster - 1) / bytesPerCluster;
    const std::vector<std::uint16_t> clusters =
        editor_.allocate(needed, static_cast<std::int64_t>(data.size()));
    report(progress, 0.1);

    // Clusters that follow each other on the volume are written as one run (up to 1 MiB,
    // so progress and cancelling stay responsive): whole pages are then replaced, not
    // copied and overwritten.
    const std::size_t maxRun = std::max<std::size_t>(
        1, (std::size_t{1} << 20) / static_cast<std::size_t>(bytesPerCluster));
    for (std::size_t i = 0; i < clusters.size();) {
        throwIfStopped(stop);
        std::size_t run = 1;
        while (i + run < clusters.size() && run < maxRun &&
               clusters[i + run] == clusters[i] + run) {
            ++run;
        }
        const std::size_t from = i * static_cast<std::size_t>(bytesPerCluster);
        const std::size_t count =
            std::min(run * static_cast<std::size_t>(bytesPerCluster), data.size() - from);
        image.writeClusters(clusters[i], static_cast<std::int64_t>(run), data.subspan(from, count));
        i += run;
        report(progress, 0.1 + static_cast<double>(i) * 0.7 / static_cast<double>(clusters.size()));
    }
    return clusters.empty() ? 0 : clusters.front();
}

void FileImport::importOne(const fs::path& from, const DiskPath& to, const Options& options,
                           const std::stop_token& stop, const ProgressCallback& progress) {
    DiskImage& image = editor_.image();
    image.checkWritable();
    DirectoryTable& table = editor_.directory(to);
    const Name name(hostFileName(from), table, editor_.writesLongNames(options.longNames, table));
    const NewEntryName::Planned& planned = name.planned;
    // Two host names that shorten alike: the second would replace (or be confused with)
    // the file the first became, so it fails whether the first was written or not.
    if (!keysAsked_.insert(name.batchKey()).second) {
        const std::string taken =
            planned.longName.value_or(NewEntryName::listedShortName(planned.name83, planned.ext83));
        throw DiskImageError::nameTakenInBatch(name.hostName(),
                                               NewEntryName::nameIfOther(taken, name.hostName()));
    }
    const bool overwrite = options.overwrite;
    const std::optional<std::size_t> existing = replaced(table, name, overwrite);
    const std::uint16_t oldStart =
        existing ? DirectorySlot(table.slotBytes(*existing)).startCluster() : 0;
    // The clusters of the file being replaced are free once it is.
    const std::int64_t reclaimable = editor_.bytesHeldBy(oldStart);
    const std::uintmax_t length = checkImportable(image, from, name.hostName(), reclaimable);
    const PagedBytes contents = readHostFile(from, length, importLimit(image, reclaimable), stop);
    checkFits(image, contents.size(), reclaimable);
    Bytes copy;
    const ByteView data = contents.viewUsing(copy);
    editor_.freeChain(oldStart);
    const std::uint16_t firstCluster = writeData(data, stop, progress);
    report(progress, 0.85);
    const auto size = static_cast<std::uint32_t>(data.size());
    const Timestamp time = now();
    if (existing) {
        // The slot keeps its place, its short name and the long name in front of it: the
        // file is replaced, not renamed to the name it was addressed by.
        table.edit(*existing, [&](DirectorySlot::Mutable slot) {
            DirectorySlot::setAttributes(slot, FileAttributes::archive);
            DirectorySlot::setTime(slot, DirectoryEntryParser::encodeFATTime(time));
            DirectorySlot::setDate(slot, DirectoryEntryParser::encodeFATDate(time));
            DirectorySlot::setStartCluster(slot, firstCluster);
            DirectorySlot::setFileSize(slot, size);
        });
        return;
    }
    DirectoryEntry entry;
    entry.attributes.rawValue = FileAttributes::archive;
    entry.size = size;
    entry.modifiedDate = time;
    entry.startCluster = firstCluster;
    table.add(planned.slots(DirectoryEntryParser::serialize(entry)));
}

void FileImport::importFile(const fs::path& from, const DiskPath& to, bool overwrite,
                            const ProgressCallback& progress, LongNamePolicy policy) {
    keysAsked_.clear();
    editor_.change(FATWrite::yes, [&] { importOne(from, to, {overwrite, policy}, {}, progress); });
    report(progress, 1.0);
}

BatchResult FileImport::importFiles(const std::vector<fs::path>& from, const DiskPath& to,
                                    const BatchOptions& options) {
    keysAsked_.clear();
    std::vector<std::string> names;
    for (const fs::path& path : from) {
        names.push_back(hostFileName(path));
    }
    const double n = static_cast<double>(from.size());
    const ProgressCallback& progress = options.progress;
    return editor_.batch(
        names,
        [&](std::size_t i) {
            const ProgressCallback itemProgress = [&progress, i, n](double value) {
                report(progress, (static_cast<double>(i) + value) / n);
            };
            importOne(from[i], to, {options.overwrite, options.longNames}, options.stop,
                      progress ? itemProgress : ProgressCallback{});
        },
        options);
}

} // namespace tamberlane
