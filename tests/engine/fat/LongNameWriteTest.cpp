// How a name becomes long-name slots and an alias: which names need them, what the alias
// keeps of a name (Shift-JIS never cut inside a character), and the slots' layout, checked
// against the builder the reading tests use.

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/LFNParser.h"
#include "engine/fat/LongName.h"
#include "engine/fat/SlotRun.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <set>

namespace tamberlane {
namespace {

using test::bytesOf;

std::string aliasOf(const std::string& name, const std::set<std::string>& taken = {}) {
    const auto [name8, extension3] = LongName::alias(name, [&taken](ByteView n, ByteView e) {
        std::string key(n.begin(), n.end());
        return taken.contains(key.append(e.begin(), e.end()));
    });
    std::string key(name8.begin(), name8.end());
    return key.append(extension3.begin(), extension3.end());
}

std::string sjis(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

TEST(LongNameWrite, OnlyNamesThatAreNotTheirOwnShortFormNeedSlots) {
    for (const char* own : {"README.TXT", "A", "MAKEFILE", "FILE_1.C", "日本語.TXT", "ｱｲｳ.DAT"}) {
        EXPECT_TRUE(LongName::isOwnShortName(own)) << own;
    }
    for (const char* other :
         {"readme.txt", "Readme.TXT", "README.text", "NINECHARS.TXT", "TWO.DOTS.TXT", ".PROFILE",
          "A B.TXT", "A+B.TXT", "セーブデータ", "X.TXT.", "😀.TXT"}) {
        EXPECT_FALSE(LongName::isOwnShortName(other)) << other;
    }
}

TEST(LongNameWrite, TheAliasKeepsWhatItCanAndNumbersTheRest) {
    struct Case {
        std::string name;
        std::set<std::string> taken;
        std::string alias;
    };
    const std::vector<Case> cases = {
        {"readme.txt", {}, "README  TXT"},
        {"readme.txt", {"README  TXT"}, "README~1TXT"},
        {"report_august.txt", {}, "REPORT~1TXT"},
        {"report_april.txt", {"REPORT~1TXT"}, "REPORT~2TXT"},
        {"A very long file name.txt", {}, "AVERYL~1TXT"},
        {"x.html", {}, "X~1     HTM"},
        {".profile", {}, "PROFIL~1   "},
        {"a+b=c.d;e", {}, "A_B_C~1 D_E"},
        {"...txt", {}, "_~1     TXT"},
        // Two-byte characters are never cut: セーブ is 6 bytes, ｱ日本 5 of a longer one.
        {"セーブデータ", {}, sjis("835a815b8375") + "~1   "},
        {"ｱ日本語です", {}, sjis("b193fa967b") + "~1    "},
        {"😀data.txt", {}, "_DATA~1 TXT"},
        // A first byte 0xE5 would read as deleted: it is stored as 0x05.
        {"蕁麻疹のメモ.txt", {}, sjis("05409683905d") + "~1TXT"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(aliasOf(c.name, c.taken), c.alias) << c.name;
    }
    // Past ~9 the basis gives up a byte for the longer tail.
    std::set<std::string> taken;
    for (int n = 1; n <= 9; ++n) {
        taken.insert("REPORT~" + std::to_string(n) + "TXT");
    }
    EXPECT_EQ(aliasOf("report_may.txt", taken), "REPOR~10TXT");
}

TEST(LongNameWrite, StoredNamesLoseWhatFATForbidsAndAreCappedAt255Units) {
    EXPECT_EQ(LongName::stored("a:b*c?d\"e<f>g|h\\i/j.txt"), "a_b_c_d_e_f_g_h_i_j.txt");
    EXPECT_EQ(LongName::stored(std::string("tab\there")), "tab_here");
    EXPECT_EQ(LongName::stored("trailing. . "), "trailing");
    EXPECT_EQ(LongName::stored(" leading blank"), " leading blank");
    const std::string longest(255, 'x');
    EXPECT_EQ(LongName::stored(longest), longest);
    // 😀 is two UTF-16 units: 127 of them and one more character are 255 units.
    std::string emoji;
    for (int i = 0; i < 127; ++i) {
        emoji += "😀";
    }
    EXPECT_EQ(LongName::stored(emoji + "x"), emoji + "x");
    for (const std::string& tooLong : {longest + "y", emoji + "xy"}) {
        try {
            LongName::stored(tooLong);
            ADD_FAILURE() << "accepted " << tooLong.size() << " bytes";
        } catch (const DiskImageError& error) {
            EXPECT_EQ(error.errorDescription(), "名前が長すぎます（最大 255 文字）: " + tooLong);
            EXPECT_EQ(error.reason(), DiskImageError::Reason::nameTooLong);
        }
    }
}

TEST(LongNameWrite, SlotsEndTheNameAndReadBackAsItWasWritten) {
    const Bytes alias = bytesOf("NAME~1  TXT");
    for (const std::u16string& name :
         {std::u16string(u"thirteen char"), std::u16string(u"fourteen chars"),
          std::u16string(u"日本語の長いファイル名.txt"), std::u16string(u"x")}) {
        std::string utf8;
        icu::UnicodeString(name.data(), static_cast<std::int32_t>(name.size())).toUTF8String(utf8);
        std::vector<Bytes> slots = LongName::slots(utf8, alias);
        // Byte for byte what the builder of the reading tests makes: 0x0000 after the last
        // unit unless the slot is full, 0xFFFF after that, the last part first.
        EXPECT_EQ(slots, test::VolumeBuilder::longNameSlots(name, alias)) << utf8;
        Bytes entry(DirectorySlot::size, 0);
        DirectorySlot::setShortName(entry, ByteView(alias).first(8), ByteView(alias).subspan(8));
        DirectorySlot::setAttributes(entry, FileAttributes::archive);
        slots.push_back(entry);
        Bytes directory;
        for (const Bytes& slot : slots) {
            directory.insert(directory.end(), slot.begin(), slot.end());
        }
        const std::vector<SlotRun> runs = slotRunsOf(directory);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].entry.longFileName, utf8);
    }
}

} // namespace
} // namespace tamberlane
