#include "tests/support/FatTools.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/ManualParameters.h"
#include "engine/fat/PathResolver.h"

#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tamberlane::test {

namespace {

std::string q(const std::filesystem::path& p) {
    return shellQuote(p.string());
}

void mustSucceed(const CommandResult& r, const std::string& what) {
    if (r.exitStatus != 0) {
        throw std::runtime_error(what + " failed: " + r.errors);
    }
}

void readTree(const DiskImage& image, const DiskPath& path, const std::string& prefix, Tree& out) {
    for (const FileEntry& listed : PathResolver(image).list(path)) {
        const DirectoryEntry& entry = listed.directoryEntry;
        const std::string key = prefix + entry.displayName();
        if (entry.isDirectory()) {
            out[key + "/"] = {};
            readTree(image, listed.path, key + "/", out);
        } else {
            out[key] = DirectoryReader::readFile(image, entry);
        }
    }
}

} // namespace

std::string errorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const DiskImageError& e) {
        return e.errorDescription();
    }
    return "no error";
}

DiskImageError::Kind errorKind(const std::function<void()>& action) {
    try {
        action();
    } catch (const DiskImageError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no DiskImageError thrown";
    return DiskImageError::Kind::ioError;
}

bool isLocked(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return !free;
}

OtherProcessLock::OtherProcessLock(const std::filesystem::path& path, int operation) {
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) {
        throw std::runtime_error("pipe");
    }
    pid_ = fork();
    if (pid_ == 0) {
        close(ready[0]);
        close(release[1]);
        const int fd = ::open(path.c_str(), O_RDONLY);
        const char ok = fd >= 0 && flock(fd, operation | LOCK_NB) == 0 ? 1 : 0;
        (void)!write(ready[1], &ok, 1);
        char c = 0;
        (void)!read(release[0], &c, 1); // returns at EOF, when the parent lets go
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char ok = 0;
    acquired_ = read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
    releaseFd_ = release[1];
}

OtherProcessLock::~OtherProcessLock() {
    close(releaseFd_);
    int status = 0;
    waitpid(pid_, &status, 0);
}

bool fatToolsAvailable() {
    return toolAvailable("mkfs.fat") && toolAvailable("fsck.fat") && toolAvailable("mcopy");
}

::testing::AssertionResult fsckAccepts(const std::filesystem::path& image) {
    const CommandResult r = runCommand("fsck.fat -n " + q(image));
    if (r.exitStatus == 0) {
        return ::testing::AssertionSuccess();
    }
    std::istringstream lines(r.output + "\n" + r.errors);
    std::string unexpected;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.rfind("fsck.fat ", 0) == 0 ||
            line == "Label '' stored in boot sector is not valid." ||
            line == "  Auto-removing label from boot sector." ||
            line == "Leaving filesystem unchanged." || line.rfind(image.string() + ":", 0) == 0) {
            continue;
        }
        unexpected += line + "\n";
    }
    if (r.exitStatus == 1 && unexpected.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "fsck.fat exit " << r.exitStatus << ":\n"
                                         << r.output << r.errors;
}

CommandResult mtools(const std::string& commandLine, bool codePage932) {
    static const TempDir configDir;
    const auto rc = configDir / (codePage932 ? "cp932rc" : "mtoolsrc");
    if (!std::filesystem::exists(rc)) {
        const std::string text =
            std::string("mtools_skip_check=1\n") + (codePage932 ? "default_codepage=932\n" : "");
        writeFile(rc, Bytes(text.begin(), text.end()));
    }
    return runCommand("MTOOLSRC=" + q(rc) + " MTOOLS_NO_VFAT=0 LC_ALL=C.UTF-8 " + commandLine);
}

std::string mdirListing(const std::filesystem::path& image) {
    std::istringstream lines(mtools("mdir -/ -a -i " + q(image) + " ::").output);
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("bytes free") == std::string::npos) {
            out += line + "\n";
        }
    }
    return out;
}

void mtoolsPut(const std::filesystem::path& image, const std::filesystem::path& host,
               const std::string& target) {
    mustSucceed(mtools("mcopy -o -i " + q(image) + " " + q(host) + " " + shellQuote(target)),
                "mcopy");
}

void mtoolsMkdir(const std::filesystem::path& image, const std::string& target) {
    mustSucceed(mtools("mmd -i " + q(image) + " " + shellQuote(target)), "mmd");
}

std::optional<Bytes> mtoolsRead(const std::filesystem::path& image, const std::string& target) {
    const CommandResult r = mtools("mtype -i " + q(image) + " " + shellQuote(target));
    if (r.exitStatus != 0) {
        return std::nullopt;
    }
    return Bytes(r.output.begin(), r.output.end());
}

Tree engineTree(const DiskImage& image) {
    Tree tree;
    readTree(image, DiskPath::root(), "", tree);
    return tree;
}

Tree mtoolsTree(const std::filesystem::path& image, bool codePage932) {
    Tree tree;
    const CommandResult listing = mtools("mdir -b -/ -i " + q(image) + " ::/", codePage932);
    if (codePage932) {
        // mcopy would change some Shift-JIS names on the way out: read each file inside.
        std::istringstream lines(listing.output);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("::/", 0) == 0) {
                const bool directory = line.back() == '/';
                const CommandResult file =
                    directory ? CommandResult{0, {}, {}}
                              : mtools("mtype -i " + q(image) + " " + shellQuote(line), true);
                mustSucceed(file, "mtype " + line);
                tree[line.substr(3)] = bytesOf(file.output);
            }
        }
        return tree;
    }
    if (listing.output.empty()) {
        return tree; // mcopy of an empty volume fails
    }
    const TempDir out; // one mcopy for the whole volume is much faster than mtype per file
    mustSucceed(mtools("mcopy -s -n -m -i " + q(image) + " '::/*' " + q(out.path())), "mcopy");
    for (const auto& item : std::filesystem::recursive_directory_iterator(out.path())) {
        const std::string relative = std::filesystem::relative(item.path(), out.path()).string();
        tree[relative + (item.is_directory() ? "/" : "")] =
            item.is_directory() ? Bytes{} : readFile(item.path());
    }
    return tree;
}

FileEntry listedEntry(const DiskImage& image, const DiskPath& directory, const std::string& name) {
    const std::vector<FileEntry> entries = PathResolver(image).list(directory);
    if (const FileEntry* found = EntryLookup::findEntry(entries, name)) {
        return *found;
    }
    throw std::runtime_error("no entry " + name + " in " + directory.displayString());
}

std::vector<VolumeKind> allVolumeKinds() {
    return {
        {"fat12_1440k", 12, 1440, 512, 0, false},
        {"fat12_1232k_1024bytesectors", 12, 1232, 1024, 0, false},
        {"fat12_10m_4kclusters", 12, 10240, 512, 8, true},
        {"fat16_20m", 16, 20480, 512, 0, true},
    };
}

std::ostream& operator<<(std::ostream& out, const VolumeKind& kind) {
    return out << kind.name;
}

Volume::Volume(const TempDir& dir, const VolumeKind& kind) : kind_(kind) {
    path_ = dir / (kind.name + (kind.manual ? ".vol" : ".img"));
    std::string command =
        "mkfs.fat -C -F " + std::to_string(kind.fatBits) + " -S " + std::to_string(kind.sectorSize);
    if (kind.sectorsPerCluster > 0) {
        command += " -s " + std::to_string(kind.sectorsPerCluster);
    }
    mustSucceed(runCommand(command + " " + q(path_) + " " + std::to_string(kind.sizeKiB)),
                "mkfs.fat");
}

std::shared_ptr<DiskImage> Volume::open(bool readOnly) {
    image_.reset();
    service_ = std::make_unique<DiskImageService>();
    std::optional<ManualParameters> params;
    if (kind_.manual) {
        params.emplace();
        params->fatType = kind_.fatBits == 16 ? FATType::fat16 : FATType::fat12;
        params->bytesPerSector = kind_.sectorSize;
    }
    if (!readOnly) {
        return image_ = service_->open(path_, params);
    }
    return image_ = params ? DiskImageService::openWithManualParams(
                                 path_, PagedBytes(readFile(path_)), *params, true)
                           : DiskImageService::parseImage(path_, PagedBytes(readFile(path_)), true);
}

void Volume::close() {
    image_.reset();
    service_.reset();
}

} // namespace tamberlane::test
