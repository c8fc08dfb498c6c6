#include "engine/operations/FileOperationService.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/FileAttributes.h"
#include "engine/operations/HostExport.h"
#include "engine/operations/VolumeTransaction.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <fstream>

namespace tamberlane {

namespace fs = std::filesystem;

namespace {

// A FAT directory entry holds a 32-bit size.
constexpr std::uintmax_t maxImportSize = (std::uintmax_t{1} << 32) - 1;

void report(const ProgressCallback& progress, double value) {
    if (progress) {
        progress(value);
    }
}

int lastErrno() {
    return errno != 0 ? errno : EIO;
}

// Read straight into a buffer that is not zero-filled first; it is one block, so the
// import writes it as one span. A file that goes on past the length it was said to have
// (those of /proc say 0) is read to its end, up to one byte past `limit`.
PagedBytes readHostFile(const fs::path& from, std::uintmax_t length, std::uintmax_t limit) {
    errno = 0;
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        throw DiskImageError::ioErrorFromErrno(lastErrno());
    }
    PagedBytes contents = PagedBytes::filledBy(
        static_cast<std::size_t>(length), [&](std::span<std::uint8_t> out, std::size_t) {
            in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
            if (static_cast<std::size_t>(in.gcount()) != out.size()) {
                // Shorter than it was a moment ago: the file changed under us.
                throw DiskImageError::ioErrorFromErrno(in.bad() ? lastErrno() : EIO);
            }
        });
    if (in.peek() == std::ifstream::traits_type::eof()) {
        if (in.bad()) {
            throw DiskImageError::ioErrorFromErrno(lastErrno());
        }
        return contents;
    }
    Bytes all = contents.toBytes();
    std::array<char, 64 * 1024> buffer{};
    while (all.size() <= limit && in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        all.insert(all.end(), buffer.begin(), buffer.begin() + in.gcount());
    }
    if (in.bad()) {
        throw DiskImageError::ioErrorFromErrno(lastErrno());
    }
    return PagedBytes(all);
}

} // namespace

std::int64_t FileOperationService::availableBytes(std::int64_t reclaimable) const {
    const std::int64_t bytesPerCluster = diskImage_->bytesPerCluster();
    return bytesPerCluster > 0
               ? diskImage_->fatTable().freeClusterCount() * bytesPerCluster + reclaimable
               : 0;
}

std::uintmax_t FileOperationService::importLimit(std::int64_t reclaimable) const {
    return std::min(maxImportSize, static_cast<std::uintmax_t>(
                                       std::max<std::int64_t>(availableBytes(reclaimable), 0)));
}

void FileOperationService::checkFits(std::uintmax_t length, std::int64_t reclaimable) const {
    if (length > importLimit(reclaimable)) {
        const std::int64_t required = length > static_cast<std::uintmax_t>(INT64_MAX)
                                          ? INT64_MAX
                                          : static_cast<std::int64_t>(length);
        throw DiskImageError::diskFull(required, availableBytes(reclaimable));
    }
}

std::uintmax_t FileOperationService::checkImportable(const fs::path& from,
                                                     const std::string& hostName,
                                                     std::int64_t reclaimable) const {
    // Only a regular file has a length known in advance; a FIFO or a device could
    // block forever or never end.
    std::error_code ec;
    const fs::file_status status = fs::status(from, ec);
    if (ec) {
        throw DiskImageError::ioError(ec);
    }
    if (!fs::is_regular_file(status)) {
        throw DiskImageError::ioError("通常のファイルではありません: " + hostName, EINVAL)
            .withReason(DiskImageError::Reason::notRegularFile);
    }
    const std::uintmax_t length = fs::file_size(from, ec);
    if (ec) {
        throw DiskImageError::ioError(ec);
    }
    checkFits(length, reclaimable);
    return length;
}

FileOperationService::ImportName FileOperationService::importNameOf(const std::string& hostName) {
    auto [base, ext] = splitHostFileName(hostName);
    auto [name83, ext83] = shortNameKey(base, ext);
    return ImportName{hostName, std::move(base), std::move(ext), std::move(name83),
                      std::move(ext83)};
}

std::vector<std::size_t> FileOperationService::clashesOf(const DirectoryNameIndex& names,
                                                         const ImportName& name) {
    // The new entry is listed under its short name, and the user knows it by the host
    // name: any entry listed (or aliased) either way is the same file to the user.
    return names.namesakes(name.name83, name.ext83,
                           {name.hostName, listedShortName(name.name83, name.ext83)});
}

std::optional<std::size_t> FileOperationService::checkNameClash(const DirectoryNameIndex& names,
                                                                const ImportName& name,
                                                                bool overwrite) const {
    const std::vector<std::size_t> found = clashesOf(names, name);
    if (found.empty()) {
        return std::nullopt;
    }
    for (std::size_t i : found) {
        const DirectoryEntry& entry = names[i].entry;
        // Replacing a directory by a file would orphan its whole tree.
        if (entry.isDirectory()) {
            throw DiskImageError::directoryExists(name.hostName);
        }
        // A file this batch has just written is never replaced by a later one of it.
        if (names[i].written) {
            throw DiskImageError::nameTakenInBatch(name.hostName,
                                                   nameIfOther(entry.displayName(), name.hostName));
        }
    }
    // Two files of that name: replacing one would leave the other listed under it.
    if (overwrite && found.size() == 1) {
        return found.front();
    }
    throw DiskImageError::nameClash(
        name.base + "." + name.ext,
        nameIfOther(names[found.front()].entry.displayName(), name.hostName));
}

std::vector<std::string>
FileOperationService::clashingEntryNames(const std::vector<std::string>& hostNames,
                                         const DiskPath& to) const {
    const DirectoryNameIndex names = DirectoryNameIndex::of(*diskImage_, storageOfDirectory(to));
    std::vector<std::string> out;
    for (const std::string& hostName : hostNames) {
        const std::vector<std::size_t> found = clashesOf(names, importNameOf(hostName));
        out.push_back(found.empty()
                          ? std::string()
                          : nameIfOther(names[found.front()].entry.displayName(), hostName));
    }
    return out;
}

std::uint16_t FileOperationService::writeFileData(ImageJournal& journal, ByteView data,
                                                  const std::stop_token& stop,
                                                  const ProgressCallback& progress) const {
    const std::int64_t bytesPerCluster = diskImage_->bytesPerCluster();
    const std::int64_t needed =
        data.empty()
            ? 0
            : (static_cast<std::int64_t>(data.size()) + bytesPerCluster - 1) / bytesPerCluster;
    const std::vector<std::uint16_t> clusters =
        allocateClusters(needed, static_cast<std::int64_t>(data.size()));
    report(progress, 0.1);

    // Clusters that follow each other on the volume are written as one run (up to 1 MiB,
    // so progress and cancelling stay responsive): whole pages are then replaced, not
    // copied and overwritten.
    const std::size_t maxRun = std::max<std::size_t>(1, (std::size_t{1} << 20) /
                                                            static_cast<std::size_t>(bytesPerCluster));
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
        journal.writeClusters(clusters[i], static_cast<std::int64_t>(run),
                              data.subspan(from, count));
        i += run;
        report(progress, 0.1 + static_cast<double>(i) * 0.7 / static_cast<double>(clusters.size()));
    }
    return clusters.empty() ? 0 : clusters.front();
}

DirectoryEntry FileOperationService::addFileEntry(ImageJournal& journal,
                                                  const DirectoryStorage& storage,
                                                  const ImportName& name, std::uint32_t size,
                                                  std::uint16_t firstCluster) const {
    DirectoryEntry entry;
    entry.id = newEntryId();
    entry.name = name.base;
    entry.extension_ = name.ext;
    entry.attributes.rawValue = FileAttributes::archive;
    entry.size = size;
    entry.modifiedDate = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    entry.startCluster = firstCluster;
    entry.rawName = name.name83;
    entry.rawExtension = name.ext83;
    const Bytes slot = DirectoryEntryParser::serialize(entry);
    addEntry(journal, storage, slot);
    // As a listing shows it: under its short name.
    return DirectoryEntryParser::parse(slot).entry;
}

DirectoryStorage FileOperationService::storageOf(TargetDirectory& target) const {
    if (!target.resolved) {
        // Not kept when it fails: each item then meets the same error in its turn.
        target.firstCluster = target.path.isRoot()
                                  ? std::nullopt
                                  : std::optional<std::uint16_t>(findDirectoryCluster(target.path));
        target.resolved = true;
    }
    return target.firstCluster ? storageOfCluster(*target.firstCluster) : storageOfRoot();
}

DirectoryNameIndex& FileOperationService::namesIn(TargetDirectory& target,
                                                  const DirectoryStorage& storage) const {
    if (!target.names) {
        target.names = DirectoryNameIndex::of(*diskImage_, storage);
    }
    return *target.names;
}

void FileOperationService::replaceFileEntry(ImageJournal& journal, const DirectoryStorage& storage,
                                            const SlotRef& ref, std::uint32_t size,
                                            std::uint16_t firstCluster) const {
    // The slot keeps its place, its short name and the long name in front of it: the
    // file is replaced, not renamed to the name it was addressed by.
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    Bytes unit = readUnit(storage, ref.unitIndex);
    const DirectorySlot::Mutable slot = slotIn(unit, ref.offset);
    DirectorySlot::setAttributes(slot, FileAttributes::archive);
    DirectorySlot::setTime(slot, DirectoryEntryParser::encodeFATTime(now));
    DirectorySlot::setDate(slot, DirectoryEntryParser::encodeFATDate(now));
    DirectorySlot::setStartCluster(slot, firstCluster);
    DirectorySlot::setFileSize(slot, size);
    writeUnit(journal, storage, ref.unitIndex, unit);
}

std::int64_t FileOperationService::bytesHeldBy(const SlotRef& ref) const {
    const std::uint16_t start = DirectorySlot(ref.slot).startCluster();
    if (start < 2) {
        return 0;
    }
    try {
        return static_cast<std::int64_t>(
                   FATParser::getClusterChain(start, diskImage_->fatTable()).size()) *
               diskImage_->bytesPerCluster();
    } catch (const DiskImageError&) {
        // A broken chain cannot be freed either; the free then fails and undoes it all.
        return 0;
    }
}

void FileOperationService::importOne(ImageJournal& journal, const fs::path& from,
                                     TargetDirectory& to, bool overwrite,
                                     const std::stop_token& stop,
                                     const ProgressCallback& progress) {
    diskImage_->checkWritable();
    const std::string hostName = from.filename().string();
    const ImportName name = importNameOf(hostName);
    // Two host names that shorten alike: the second would replace (or be confused with)
    // the file the first became, so it fails whether the first was written or not.
    std::string key(name.name83.begin(), name.name83.end());
    key.append(name.ext83.begin(), name.ext83.end());
    if (!to.keysAsked.insert(key).second) {
        throw DiskImageError::nameTakenInBatch(
            hostName, nameIfOther(listedShortName(name.name83, name.ext83), hostName));
    }
    const DirectoryStorage storage = storageOf(to);
    DirectoryNameIndex& names = namesIn(to, storage);
    const std::optional<std::size_t> replaced = checkNameClash(names, name, overwrite);
    const std::optional<SlotRef> existing =
        replaced ? std::optional<SlotRef>(refAt(storage, *names[*replaced].location))
                 : std::nullopt;
    // The clusters of the file being replaced are free once it is.
    const std::int64_t reclaimable = existing ? bytesHeldBy(*existing) : 0;
    const std::uintmax_t length = checkImportable(from, hostName, reclaimable);
    const PagedBytes contents = readHostFile(from, length, importLimit(reclaimable));
    checkFits(contents.size(), reclaimable);
    Bytes copy;
    const ByteView data = contents.viewUsing(copy);
    if (existing) {
        const std::uint16_t oldStart = DirectorySlot(existing->slot).startCluster();
        if (oldStart >= 2) {
            diskImage_->fatTable().free(oldStart);
        }
    }
    const std::uint16_t firstCluster = writeFileData(journal, data, stop, progress);
    report(progress, 0.85);
    const auto size = static_cast<std::uint32_t>(data.size());
    if (existing) {
        replaceFileEntry(journal, storage, *existing, size, firstCluster);
        names.markWritten(*replaced);
    } else {
        names.add(addFileEntry(journal, storage, name, size, firstCluster));
    }
}

void FileOperationService::importFile(const fs::path& from, const DiskPath& to, bool overwrite,
                                      const ProgressCallback& progress) {
    changeVolume(*diskImage_, FATWrite::yes, [&](ImageJournal& journal) {
        TargetDirectory target{to};
        importOne(journal, from, target, overwrite, {}, progress);
    });
    report(progress, 1.0);
}

BatchResult FileOperationService::importFiles(const std::vector<fs::path>& from, const DiskPath& to,
                                              bool overwrite, const ProgressCallback& progress) {
    return importFiles(from, to, BatchOptions{overwrite, {}, progress});
}

BatchResult FileOperationService::importFiles(const std::vector<fs::path>& from, const DiskPath& to,
                                              const BatchOptions& options) {
    std::vector<std::string> names;
    for (const fs::path& path : from) {
        names.push_back(path.filename().string());
    }
    const double n = static_cast<double>(from.size());
    const ProgressCallback& progress = options.progress;
    // Every item goes into the same directory: its path is looked up once, not per file.
    TargetDirectory target{to};
    return runBatch(
        names,
        [&](ImageJournal& journal, std::size_t i) {
            const ProgressCallback itemProgress = [&progress, i, n](double value) {
                report(progress, (static_cast<double>(i) + value) / n);
            };
            importOne(journal, from[i], target, options.overwrite, options.stop,
                      progress ? itemProgress : ProgressCallback{});
        },
        options);
}

void FileOperationService::exportFile(const FileEntry& entry, const fs::path& to,
                                      const ProgressCallback& progress) const {
    const EntryBytes read = readEntryBytes(*diskImage_, entry.directoryEntry, progress);
    writeHostFile(to, read.bytes, *diskImage_, ExistingHostFile::overwrite);
    if (!read.complete) {
        throw incompleteFile(entry.path.displayString());
    }
    report(progress, 1.0);
}

} // namespace tamberlane
