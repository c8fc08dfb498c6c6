#include "engine/base/Translation.h"
#include "engine/base/Version.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace tamberlane::test {
namespace {

// The language comes from these variables only: the test's own environment must not leak in.
std::string environmentOf(const std::string& variables) {
    return "env -u LC_ALL -u LC_MESSAGES -u LANG -u LANGUAGE " + variables;
}

bool holdsJapanese(const std::string& text) {
    // Kana, kanji and CJK punctuation in UTF-8 all start with the bytes E3..E9.
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0xE3 && byte <= 0xE9;
    });
}

struct LanguageCase {
    std::string variables;
    std::string missingFileError;
};

class CliLanguage : public testing::TestWithParam<LanguageCase> {};

TEST_P(CliLanguage, ChosenByTheMessageLocaleWithSystemTextsInTheSameLanguage) {
    const CommandResult run =
        runCliBinary({"info", "/nonexistent/disk.d88"}, environmentOf(GetParam().variables));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.errors, GetParam().missingFileError + "\n");
}

const std::string english = "I/O error: No such file or directory";
const std::string japaneseAsToday = "I/Oエラーが発生しました: No such file or directory";

INSTANTIATE_TEST_SUITE_P(
    Environments, CliLanguage,
    testing::Values(
        // None of these locales is generated on a test machine: the choice must not care.
        LanguageCase{"LANG=en_US.UTF-8", english}, LanguageCase{"LANG=en_GB.UTF-8", english},
        LanguageCase{"LANG=de_DE.UTF-8", english},
        LanguageCase{"LANG=ja_JP.UTF-8 LANGUAGE=de:en", english},
        LanguageCase{"LANG=ja_JP.UTF-8",
                     "I/Oエラーが発生しました: そのようなファイルやディレクトリはありません"},
        LanguageCase{"LANG=de_DE.UTF-8 LANGUAGE=ja",
                     "I/Oエラーが発生しました: そのようなファイルやディレクトリはありません"},
        // Scripts under a C locale see what they always saw, LANGUAGE or not.
        LanguageCase{"", japaneseAsToday}, LanguageCase{"LANG=C", japaneseAsToday},
        LanguageCase{"LANG=C.UTF-8 LANGUAGE=en", japaneseAsToday},
        LanguageCase{"LC_ALL=POSIX LANG=en_US.UTF-8", japaneseAsToday}));

class CliEnglish : public testing::Test {
  protected:
    void SetUp() override { useLanguage(Language::english); }
    void TearDown() override { useLanguage(Language::japanese); }
};

TEST_F(CliEnglish, HelpAndUsageErrorsLeaveNoJapaneseBehind) {
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tamberlane-cli [OPTIONS] COMMAND"), std::string::npos);
    EXPECT_FALSE(holdsJapanese(help.out)) << help.out;
    // Every command's own help, found in the overview's lines "  tamberlane-cli NAME ...".
    const std::regex commandLine("\n  tamberlane-cli ([a-z]+) ");
    int commands = 0;
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), commandLine), end; it != end;
         ++it, ++commands) {
        const CliRun own = runCli({(*it)[1].str(), "--help"});
        EXPECT_EQ(own.status, 0) << (*it)[1];
        EXPECT_FALSE(holdsJapanese(own.out)) << own.out;
    }
    EXPECT_GE(commands, 15);

    const CliRun bare = runCli({});
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.err, "A required argument is missing (A subcommand is required)\n"
                        "Run tamberlane-cli --help for usage\n");
}

TEST(CliVersion, PrintsTheVersionAndSucceedsInEveryLanguage) {
    for (const char* variables : {"", "LANG=en_US.UTF-8", "LANG=ja_JP.UTF-8"}) {
        const CommandResult run = runCliBinary({"--version"}, environmentOf(variables));
        EXPECT_EQ(run.exitStatus, 0) << variables;
        EXPECT_EQ(run.output,
                  std::string("tamberlane-cli (Tamberlane) ") + programVersion() + "\n");
    }
}

TEST(CliJson, IsTheSameInEveryLanguageWithAStableReasonCode) {
    TempDir dir;
    const auto image = dir / "differ.bin";
    mustRun({"new", image.string(), "--size", "1.2m"});
    {
        // The second FAT copy (sectors 3..4 of 1024 bytes) no longer agrees with the first.
        std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(3 * 1024 + 5);
        file.put('\x42');
    }
    std::string first;
    for (const char* variables : {"LANG=C", "LANG=en_US.UTF-8", "LANG=ja_JP.UTF-8"}) {
        const CommandResult run =
            runCliBinary({"info", "--json", image.string()}, environmentOf(variables));
        ASSERT_EQ(run.exitStatus, 0) << run.errors;
        if (first.empty()) {
            first = run.output;
            const auto json = nlohmann::json::parse(run.output);
            EXPECT_EQ(json["changesRefused"], "FATのコピーが一致しません");
            EXPECT_EQ(json["changesRefusedReason"], "unsafeVolume");
        }
        EXPECT_EQ(run.output, first) << variables;
    }
}

} // namespace
} // namespace tamberlane::test
