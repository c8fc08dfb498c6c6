#pragma once

#include "tests/support/FatTools.h"
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

} // namespace tamberlane::test
