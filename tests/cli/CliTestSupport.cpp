#include "tests/cli/CliTestSupport.h"

#include "cli/CliApp.h"

#include <gtest/gtest.h>

#include <sstream>

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
    const std::string line = ::testing::PrintToString(arguments) + " ";
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

} // namespace tamberlane::test
