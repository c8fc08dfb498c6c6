#include "tests/cli/CliTestSupport.h"

#include "cli/CliApp.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace tamberlane::test {

CliRun runCli(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.status = cli::run(arguments, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

CliRun mustRun(const std::vector<std::string>& arguments) {
    CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 0) << arguments.front() << ": " << run.err;
    return run;
}

CommandResult runCliBinary(const std::vector<std::string>& arguments,
                           const std::string& environment) {
    std::string line = environment + " " + shellQuote(TAMBERLANE_CLI_PATH);
    for (const std::string& argument : arguments) {
        line += " " + shellQuote(argument);
    }
    return runCommand(line);
}

void expectFailsUntouched(const std::filesystem::path& image,
                          const std::vector<std::string>& arguments, int status,
                          const std::string& err) {
    const Bytes before = readFile(image);
    const CliRun run = runCli(arguments);
    std::string line;
    for (const std::string& argument : arguments) {
        line += argument + " ";
    }
    EXPECT_EQ(run.status, status) << line;
    EXPECT_EQ(run.err, err) << line;
    EXPECT_TRUE(readFile(image) == before) << line << "changed the image";
}

std::filesystem::path writeHost(const TempDir& dir, const std::string& name,
                                const std::string& contents) {
    const auto path = dir / name;
    writeFile(path, Bytes(contents.begin(), contents.end()));
    return path;
}

std::set<std::string> keysOf(const nlohmann::json& object) {
    std::set<std::string> keys;
    for (const auto& item : object.items()) {
        keys.insert(item.key());
    }
    return keys;
}

bool mtoolsAvailable() {
    return toolAvailable("mcopy") && toolAvailable("mkfs.fat") && toolAvailable("fsck.fat");
}

namespace {

CommandResult runMtools(const std::string& commandLine) {
    static const TempDir dir;
    static const std::filesystem::path config = writeHost(dir, "mtoolsrc", "mtools_skip_check=1\n");
    return runCommand("MTOOLSRC=" + shellQuote(config.string()) +
                      " LC_ALL=C.UTF-8 TZ=UTC SOURCE_DATE_EPOCH=946684800 " + commandLine);
}

void mustSucceed(const CommandResult& result, const std::string& what) {
    if (result.exitStatus != 0) {
        throw std::runtime_error(what + " failed: " + result.errors);
    }
}

} // namespace

std::filesystem::path makeVolume(const TempDir& dir, const std::string& name, int kilobytes,
                                 int fatBits) {
    const auto image = dir / name;
    mustSucceed(runCommand("mkfs.fat -C -F " + std::to_string(fatBits) + " " +
                           shellQuote(image.string()) + " " + std::to_string(kilobytes)),
                "mkfs.fat");
    return image;
}

void copyIntoVolume(const std::filesystem::path& image, const TempDir& dir,
                    const std::string& diskPath, const std::string& contents) {
    const auto host = writeHost(dir, "mcopy-source", contents);
    mustSucceed(runMtools("mcopy -i " + shellQuote(image.string()) + " " +
                          shellQuote(host.string()) + " " + shellQuote("::" + diskPath)),
                "mcopy " + diskPath);
}

void makeDirectoryInVolume(const std::filesystem::path& image, const std::string& diskPath) {
    mustSucceed(
        runMtools("mmd -i " + shellQuote(image.string()) + " " + shellQuote("::" + diskPath)),
        "mmd " + diskPath);
}

std::set<std::string> mdirPaths(const std::filesystem::path& image) {
    const CommandResult result = runMtools("mdir -/ -b -i " + shellQuote(image.string()) + " ::");
    std::set<std::string> paths;
    std::istringstream in(result.output);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            paths.insert(line);
        }
    }
    return paths;
}

std::string mtype(const std::filesystem::path& image, const std::string& diskPath) {
    const CommandResult result =
        runMtools("mtype -i " + shellQuote(image.string()) + " " + shellQuote("::" + diskPath));
    EXPECT_EQ(result.exitStatus, 0) << diskPath << ": " << result.errors;
    return result.output;
}

void expectConsistent(const std::filesystem::path& image) {
    const CommandResult result = runCommand("fsck.fat -n " + shellQuote(image.string()));
    EXPECT_EQ(result.exitStatus, 0) << result.output << result.errors;
}

} // namespace tamberlane::test
