#pragma once

#include "tests/support/TestFiles.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tamberlane::test {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the command line in this process.
CliRun runCli(const std::vector<std::string>& arguments);
// Runs the built tamberlane-cli program through the shell, with `environment` prefixed.
CommandResult runCliBinary(const std::vector<std::string>& arguments,
                           const std::string& environment = "LC_ALL=C");

bool mtoolsAvailable();
// An mtools command line ("mdir -b -/ -i IMG ::") run with our own configuration;
// code page 932 when `shiftJIS`.
CommandResult runMtools(const std::string& commandLine, bool shiftJIS = false);

// A fresh volume made by mkfs.fat: `kilobytes` in size, FAT12 or FAT16.
std::filesystem::path makeVolume(const TempDir& dir, const std::string& name, int kilobytes,
                                 int fatBits);
// Writes a host file and copies it into the volume at `diskPath` (mcopy).
void copyIntoVolume(const std::filesystem::path& image, const TempDir& dir,
                    const std::string& diskPath, const std::string& contents);
void makeDirectoryInVolume(const std::filesystem::path& image, const std::string& diskPath);

// Replaces the first occurrence of `from` in the file with `to` (same length).
void patchFile(const std::filesystem::path& file, const std::string& from, const std::string& to);

} // namespace tamberlane::test
