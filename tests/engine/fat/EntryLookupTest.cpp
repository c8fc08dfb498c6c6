#include "engine/fat/EntryLookup.h"
#include "tests/support/FatTools.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

using EntryLookup::EntryNames;

// ABC.TXT, and a file whose long name is abc.txt (alias ABCD.TXT): a name equal to one of
// them only ignoring case must not pick the first on the disk.
const std::vector<EntryNames> abcFiles = {
    {"ABC.TXT", "ABC.TXT", "ABC.TXT"},
    {"abc.txt", "ABCD.TXT", "ABCD.TXT"},
    {"Ünïcode.txt", "UNICOD~1.TXT", "UNICOD~1.TXT"},
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
}

// The NEC and the IBM code of one character, and a name that differs only by a blank:
// they display alike, so only their raw forms tell them apart, and each is reached by it.
TEST(EntryLookup, EntriesThatDisplayAlikeAreReachedByTheirRawForms) {
    std::vector<DirectoryEntry> entries(3);
    const auto set = [](DirectoryEntry& e, Bytes name, const std::string& shown) {
        name.resize(8, 0x20);
        e.rawName = name;
        e.rawExtension = {'T', 'X', 'T'};
        e.name = shown;
        e.extension_ = "TXT";
    };
    set(entries[0], {0x87, 0x54}, "\u2160");
    set(entries[1], {0xFA, 0x4A}, "\u2160");
    set(entries[2], {'A', ' ', 'B'}, "AB");
    const std::vector<std::string> printed = EntryLookup::printedNames(entries);
    EXPECT_EQ(printed, (std::vector<std::string>{"\\x87\\x54.TXT", "\\xFA\\x4A.TXT", "AB.TXT"}));
    std::vector<EntryNames> names;
    for (const DirectoryEntry& e : entries) {
        names.push_back(EntryLookup::namesOf(e));
    }
    EXPECT_THROW(EntryLookup::findNamed(names, "\u2160.TXT"), DiskImageError);
    for (std::size_t i = 0; i < printed.size(); ++i) {
        EXPECT_EQ(EntryLookup::findNamed(names, printed[i]), i) << printed[i];
    }
    // Once another entry displays "AB.TXT" too, both are printed raw.
    entries.push_back(entries[2]);
    entries.back().rawName = {'A', 'B', ' ', ' ', ' ', ' ', ' ', ' '};
    EXPECT_EQ(EntryLookup::printedNames(entries)[2], "A\\x20B.TXT");
    EXPECT_EQ(EntryLookup::printedNames(entries)[3], "AB.TXT");
    // A name that would split a path or drive a terminal is printed raw; the one whose
    // display name is now that raw form is printed raw in turn, or it could not be reached.
    entries[3].longFileName = "a/b\x1b.txt";
    EXPECT_EQ(EntryLookup::printedNames(entries)[3], "AB.TXT");
    EXPECT_EQ(EntryLookup::printedNames(entries)[2], "A\\x20B.TXT");
}

} // namespace
} // namespace tamberlane
