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
