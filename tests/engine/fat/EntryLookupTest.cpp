#include "engine/fat/EntryLookup.h"
#include "tests/support/FatTools.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

using EntryLookup::EntryNames;

// ABC.TXT, and a file whose long name is abc.txt (alias ABCD.TXT): a name equal to one of
// them only ignoring case must not pick the first on the disk.
const std::vector<EntryNames> abcFiles = {
    {"ABC.TXT", "ABC.TXT"},
    {"abc.txt", "ABCD.TXT"},
    {"Ünïcode.txt", "UNICOD~1.TXT"},
};

struct Pick {
    std::string name;
    std::optional<std::size_t> expected;
};

class EntryLookupPick : public ::testing::TestWithParam<Pick> {};

TEST_P(EntryLookupPick, NamePicksTheEntryItNamesMostClosely) {
    EXPECT_EQ(EntryLookup::findNamed(abcFiles, GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(ByRule, EntryLookupPick,
                         ::testing::Values(Pick{"abc.txt", 1}, Pick{"ABC.TXT", 0},
                                           Pick{"ABCD.TXT", 1}, Pick{"abcd.txt", 1},
                                           Pick{"ÜNÏCODE.TXT", 2}, Pick{"unicod~1.txt", 2},
                                           Pick{"ABC", std::nullopt},
                                           Pick{"abc.txt ", std::nullopt}));

TEST(EntryLookup, NameEqualToSeveralOnlyIgnoringCaseIsRefused) {
    for (const std::string name : {"Abc.Txt", "aBC.TXT"}) {
        EXPECT_EQ(test::errorText([&] { EntryLookup::findNamed(abcFiles, name); }),
                  "ヘッダの解析に失敗しました: 名前が複数のエントリに一致します: " + name);
    }
    // Two entries shown under the very same name: neither is more the one meant.
    EXPECT_THROW(EntryLookup::findNamed({{"A.TXT", "A.TXT"}, {"A.TXT", "A~1.TXT"}}, "A.TXT"),
                 DiskImageError);
}

} // namespace
} // namespace tamberlane
