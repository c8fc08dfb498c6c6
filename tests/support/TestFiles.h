#pragma once

#include "engine/base/Bytes.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tamberlane::test {

// A private directory removed when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, ByteView bytes);
Bytes readFile(const std::filesystem::path& path);
Bytes bytesOf(const std::string& text);
// Deterministic filler content of `size` bytes.
Bytes patternBytes(std::size_t size, std::uint8_t seed = 1);

// Writes `bytes` at `offset` of an existing file through a descriptor of its own, as an
// emulator does: same file, new contents. Waits first for the file system's clock to move
// on, so the write cannot share a timestamp with whatever wrote the file just before.
void writeInPlace(const std::filesystem::path& path, std::int64_t offset, ByteView bytes);
// Whether the kernel tells about other writers of the file at `path` (leases).
bool leasesWorkOn(const std::filesystem::path& path);

struct CommandResult {
    int exitStatus = -1;
    std::string output; // stdout
    std::string errors; // stderr
};
// Runs a shell command line; stdout and stderr captured separately.
CommandResult runCommand(const std::string& commandLine);
bool toolAvailable(const std::string& name);
std::string shellQuote(const std::string& text);

// ../shared/corpus next to the repository, or empty when absent.
std::filesystem::path corpusDirectory();

} // namespace tamberlane::test
