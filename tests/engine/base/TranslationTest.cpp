#include "engine/base/Translation.h"
#include "engine/base/DiskImageError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>

namespace tamberlane {
namespace {

struct LanguageCase {
    std::map<std::string, std::string> environment;
    Language expected;
};

const std::map<std::string, std::string>* current = nullptr;

const char* lookup(const char* name) {
    const auto found = current->find(name);
    return found == current->end() ? nullptr : found->second.c_str();
}

class LanguageChoice : public testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageChoice, FollowsGettextRulesWhetherOrNotTheLocaleIsGenerated) {
    current = &GetParam().environment;
    EXPECT_EQ(chooseLanguage(lookup), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, LanguageChoice,
    testing::Values(
        // The command line's tests run these through the program; here, what they leave out.
        LanguageCase{{{"LANG", ""}}, Language::japanese},
        LanguageCase{{{"LANG", "en_GB"}}, Language::english},
        // LC_ALL, then LC_MESSAGES, then LANG; an empty one does not count.
        LanguageCase{{{"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}, Language::japanese},
        LanguageCase{{{"LC_ALL", ""}, {"LC_MESSAGES", "en_US.UTF-8"}, {"LANG", "ja_JP.UTF-8"}},
                     Language::english},
        LanguageCase{{{"LC_MESSAGES", "ja_JP.eucJP"}, {"LANG", "en_US.UTF-8"}}, Language::japanese},
        // LANGUAGE: the first entry with a catalogue decides; others are passed over.
        LanguageCase{{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "fr:de:ja_JP"}}, Language::japanese},
        LanguageCase{{{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "fr:de"}}, Language::japanese},
        LanguageCase{{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", ":"}}, Language::english}));

TEST(Placeholders, TakeTheirValuesByPositionWhateverTheOrder) {
    EXPECT_EQ(fillPlaceholders("%2$s then %1$s, 100%%", {"a", 7}), "7 then a, 100%");
    EXPECT_EQ(fillPlaceholders("%1$s%1$s", {"ab"}), "abab");
}

TEST(Placeholders, ThatNameNoValueStayAsWrittenInsteadOfReadingPastTheValues) {
    EXPECT_EQ(fillPlaceholders("%3$s %0$s %1$d %", {"x"}), "%3$s %0$s %1$d %");
}

class EnglishInterface : public testing::Test {
  protected:
    void TearDown() override { useLanguage(Language::japanese); }
};

TEST_F(EnglishInterface, TranslatesEngineErrorsAndKeepsSourceTextsOnRequest) {
    const DiskImageError japanese = DiskImageError::diskFull(2048, 1024);
    EXPECT_EQ(japanese.errorDescription(),
              "ディスク容量が不足しています。必要: 2048 バイト、空き: 1024 バイト");

    useLanguage(Language::english);
    EXPECT_EQ(DiskImageError::diskFull(2048, 1024).errorDescription(),
              "Not enough space on the disk: 2048 bytes needed, 1024 bytes free");
    EXPECT_EQ(DiskImageError::ioErrorFromErrno(ENOENT).errorDescription(),
              "I/O error: No such file or directory");

    const SourceTexts source;
    EXPECT_EQ(DiskImageError::diskFull(2048, 1024).errorDescription(), japanese.errorDescription());
    EXPECT_EQ(DiskImageError::ioErrorFromErrno(ENOENT).errorDescription(),
              "I/Oエラーが発生しました: No such file or directory");
}

} // namespace
} // namespace tamberlane
