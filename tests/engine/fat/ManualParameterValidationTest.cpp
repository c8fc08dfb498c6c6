#include "engine/fat/ManualParameterValidation.h"
#include "engine/base/Translation.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

std::string messageOf(ManualField field, const std::string& text) {
    const auto result = validateManualField(field, text);
    return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "";
}

// Catches a reading that trims spaces, takes hex or leading text, wraps past 64 bits, or
// an off-by-one at a range's ends.
TEST(ManualFieldValidation, IntegersAreReadStrictlyAndCheckedAtBothEnds) {
    EXPECT_EQ(std::get<std::int64_t>(validateManualField(ManualField::dataOffset, "+512")), 512);
    EXPECT_EQ(std::get<std::int64_t>(validateManualField(ManualField::dataOffset, "0")), 0);
    for (const char* text : {"", "+", "-", " 512", "512 ", "0x200", "5e2", "１２",
                             "9223372036854775808", "-9223372036854775809"}) {
        EXPECT_EQ(messageOf(ManualField::dataOffset, text), "整数を入力してください") << text;
    }
    EXPECT_EQ(messageOf(ManualField::dataOffset, "-9223372036854775808"),
              "0以上の値を入力してください");
    EXPECT_EQ(messageOf(ManualField::dataOffset, "-1"), "0以上の値を入力してください");
    EXPECT_EQ(messageOf(ManualField::heads, "256"), "");
    EXPECT_EQ(messageOf(ManualField::heads, "257"), "1〜256の範囲で入力してください");
    EXPECT_EQ(messageOf(ManualField::cylinders, "0"), "1〜65535の範囲で入力してください");
    EXPECT_EQ(messageOf(ManualField::cylinders, "65535"), "");
    EXPECT_EQ(messageOf(ManualField::sectorsPerTrack, "1"), "");
    EXPECT_EQ(messageOf(ManualField::sectorsPerTrack, "256"), "1〜255の範囲で入力してください");
}

// Catches fields stored in each other's places and a message of a later field shown
// before the first wrong one.
TEST(ManualFormValidation, BuildsTheParametersOrNamesTheFirstWrongFieldInFormOrder) {
    const auto lastWrong =
        validateManualParameters({"4096", "8", "77", "-8"}, FATType::fat16, 1024, 4);
    EXPECT_EQ(std::get<std::string>(lastWrong), "1〜255の範囲で入力してください");
    const auto params = std::get<ManualParameters>(
        validateManualParameters({"4096", "8", "77", "+8"}, FATType::fat16, 1024, 4));
    EXPECT_EQ(params, (ManualParameters{FATType::fat16, 1024, 4, 4096, 8, 77, 8}));
    const auto firstWrong = validateManualParameters({"1", "0", "x", "0"}, FATType::fat12, 512, 1);
    EXPECT_EQ(std::get<std::string>(firstWrong), "1〜256の範囲で入力してください");
}

// Catches a choice outside the form's lists let through from the command line (a sector
// size of 2048, a cluster of 3 sectors), or a list entry refused.
TEST(ManualChoiceValidation, OnlyTheFormsOwnValuesAreAccepted) {
    const struct {
        ManualChoice choice;
        const char* text;
        const char* message;
    } refused[] = {
        {ManualChoice::fatType, "32", "12 または 16 を指定してください"},
        {ManualChoice::fatType, "x", "整数を入力してください"},
        {ManualChoice::bytesPerSector, "2048", "128, 256, 512, 1024 のいずれかを指定してください"},
        {ManualChoice::bytesPerSector, "0x200", "整数を入力してください"},
        {ManualChoice::sectorsPerCluster, "3",
         "1, 2, 4, 8, 16, 32, 64, 128 のいずれかを指定してください"},
        {ManualChoice::sectorsPerCluster, "256",
         "1, 2, 4, 8, 16, 32, 64, 128 のいずれかを指定してください"},
    };
    for (const auto& c : refused) {
        const auto result = validateManualChoice(c.choice, c.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.text;
        EXPECT_EQ(std::get<std::string>(result), c.message) << c.text;
    }
    EXPECT_EQ(std::get<std::int64_t>(validateManualChoice(ManualChoice::fatType, "16")), 16);
    EXPECT_EQ(std::get<std::int64_t>(validateManualChoice(ManualChoice::bytesPerSector, "128")),
              128);
    EXPECT_EQ(std::get<std::int64_t>(validateManualChoice(ManualChoice::sectorsPerCluster, "+128")),
              128);
}

// Catches a validation message that stays Japanese in the English interface.
TEST(EnglishManualValidation, MessagesFollowTheLanguage) {
    useLanguage(Language::english);
    EXPECT_EQ(messageOf(ManualField::heads, "x"), "Enter a whole number");
    EXPECT_EQ(messageOf(ManualField::heads, "257"), "Enter a value from 1 to 256");
    EXPECT_EQ(std::get<std::string>(validateManualChoice(ManualChoice::fatType, "32")),
              "Choose 12 or 16");
    useLanguage(Language::japanese);
}

} // namespace
} // namespace tamberlane
