#include "engine/fat/ManualParameterValidation.h"

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

} // namespace
} // namespace tamberlane
