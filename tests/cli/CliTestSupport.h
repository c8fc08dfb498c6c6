#pragma once

#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <set>
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
// The same, expecting exit status 0.
CliRun mustRun(const std::vector<std::string>& arguments);
// Runs the built tamberlane-cli program through the shell, with `environment` prefixed.
CommandResult runCliBinary(const std::vector<std::string>& arguments,
                           const std::string& environment = "LC_ALL=C");
// Runs the command, expecting it to fail with `status` and exactly `err`, leaving `image`
// byte-identical.
void expectFailsUntouched(const std::filesystem::path& image,
                          const std::vector<std::string>& arguments, int status,
                          const std::string& err);

std::filesystem::path writeHost(const TempDir& dir, const std::string& name,
                                const std::string& contents);
std::set<std::string> keysOf(const nlohmann::json& object);

bool mtoolsAvailable(); // mtools, mkfs.fat and fsck.fat
// A fresh volume made by mkfs.fat: `kilobytes` in size, FAT12 or FAT16.
std::filesystem::path makeVolume(const TempDir& dir, const std::string& name, int kilobytes,
                                 int fatBits);
void copyIntoVolume(const std::filesystem::path& image, const TempDir& dir,
                    const std::string& diskPath, const std::string& contents);
void makeDirectoryInVolume(const std::filesystem::path& image, const std::string& diskPath);
// Every path of the volume as `mdir -/ -b` lists it ("::/SUB/" for directories).
std::set<std::string> mdirPaths(const std::filesystem::path& image);
std::string mtype(const std::filesystem::path& image, const std::string& diskPath);
void expectConsistent(const std::filesystem::path& image); // fsck.fat -n

} // namespace tamberlane::test
