#include "tests/cli/CliTestSupport.h"

#include "cli/CliApp.h"

#include <gtest/gtest.h>

#include <algorithm>
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

CommandResult runCliBinary(const std::vector<std::string>& arguments,
                           const std::string& environment) {
    std::string line = environment + " " + shellQuote(TAMBERLANE_CLI_PATH);
    for (const std::string& argument : arguments) {
        line += " " + shellQuote(argument);
    }
    return runCommand(line);
}

bool mtoolsAvailable() {
    return toolAvailable("mcopy") && toolAvailable("mkfs.fat");
}

namespace {

const TempDir& mtoolsConfigDir() {
    static const TempDir dir;
    static const bool written = [] {
        const std::string plain = "mtools_skip_check=1\n";
        const std::string sjis = plain + "default_codepage=932\n";
        writeFile(dir / "plain", Bytes(plain.begin(), plain.end()));
        writeFile(dir / "sjis", Bytes(sjis.begin(), sjis.end()));
        return true;
    }();
    (void)written;
    return dir;
}

void mustSucceed(const std::string& commandLine) {
    const CommandResult result = runCommand(commandLine);
    if (result.exitStatus != 0) {
        throw std::runtime_error(commandLine + " failed: " + result.errors);
    }
}

} // namespace

CommandResult runMtools(const std::string& commandLine, bool shiftJIS) {
    const auto config = mtoolsConfigDir() / (shiftJIS ? "sjis" : "plain");
    return runCommand("MTOOLSRC=" + shellQuote(config.string()) +
                      " LC_ALL=C.UTF-8 TZ=UTC SOURCE_DATE_EPOCH=946684800 " + commandLine);
}

std::filesystem::path makeVolume(const TempDir& dir, const std::string& name, int kilobytes,
                                 int fatBits) {
    const auto image = dir / name;
    mustSucceed("mkfs.fat -C -F " + std::to_string(fatBits) + " " + shellQuote(image.string()) +
                " " + std::to_string(kilobytes) + " >/dev/null 2>&1");
    return image;
}

void copyIntoVolume(const std::filesystem::path& image, const TempDir& dir,
                    const std::string& diskPath, const std::string& contents) {
    const auto host = dir / "mcopy-source";
    writeFile(host, Bytes(contents.begin(), contents.end()));
    const CommandResult result =
        runMtools("mcopy -i " + shellQuote(image.string()) + " " + shellQuote(host.string()) + " " +
                  shellQuote("::" + diskPath));
    if (result.exitStatus != 0) {
        throw std::runtime_error("mcopy " + diskPath + " failed: " + result.errors);
    }
}

void makeDirectoryInVolume(const std::filesystem::path& image, const std::string& diskPath) {
    const CommandResult result =
        runMtools("mmd -i " + shellQuote(image.string()) + " " + shellQuote("::" + diskPath));
    if (result.exitStatus != 0) {
        throw std::runtime_error("mmd " + diskPath + " failed: " + result.errors);
    }
}

void patchFile(const std::filesystem::path& file, const std::string& from, const std::string& to) {
    Bytes bytes = readFile(file);
    const auto it = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    if (it == bytes.end() || from.size() != to.size()) {
        throw std::runtime_error("patch target not found: " + from);
    }
    std::copy(to.begin(), to.end(), it);
    writeFile(file, bytes);
}

} // namespace tamberlane::test
