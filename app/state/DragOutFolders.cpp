#include "app/state/DragOutFolders.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane {

namespace fs = std::filesystem;

namespace {

// The process that made a drag folder named `name`, if it is one.
std::optional<pid_t> ownerOf(std::string_view name) {
    const std::string_view prefix = DragOutFolders::namePrefix;
    if (!name.starts_with(prefix)) {
        return std::nullopt;
    }
    name.remove_prefix(prefix.size());
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || end == name.data() || end == name.data() + name.size() ||
        *end != '-' || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

bool isGone(pid_t pid) {
    return ::kill(pid, 0) == -1 && errno == ESRCH;
}

} // namespace

DragOutFolders::~DragOutFolders() {
    for (const fs::path& folder : folders_) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
}

fs::path DragOutFolders::base() const {
    if (base_) {
        return *base_;
    }
    std::error_code error;
    fs::path temporary = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : temporary;
}

std::optional<fs::path> DragOutFolders::create() {
    const fs::path under = base();
    if (!staleRemoved_) {
        staleRemoved_ = true;
        removeStale(under);
    }
    std::string pattern =
        (under / (std::string(namePrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return std::nullopt;
    }
    folders_.emplace_back(pattern);
    return folders_.back();
}

// Only this user's real folders, never a link, and only where the process that made it
// is certainly gone: a living one may still be dragging from it.
void DragOutFolders::removeStale(const fs::path& under) const {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(under, error)) {
        const std::optional<pid_t> owner = ownerOf(entry.path().filename().string());
        struct stat status {};
        if (!owner || *owner == ::getpid() || ::lstat(entry.path().c_str(), &status) != 0 ||
            !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() || !isGone(*owner)) {
            continue;
        }
        std::error_code ignored;
        fs::remove_all(entry.path(), ignored);
    }
}

} // namespace tamberlane
