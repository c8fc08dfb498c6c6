#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/HostFileName.h"
#include "engine/fat/LFNParser.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

using test::VolumeBuilder;

DirectoryEntry parsedEntry(ByteView slot) {
    auto result = DirectoryEntryParser::parse(slot);
    EXPECT_EQ(result.kind, DirectoryEntryParseResult::Kind::entry);
    return result.entry;
}

TEST(DirectoryEntryParseTest, PaddingAndInnerSpacesAreDroppedButRawBytesKept) {
    const DirectoryEntry readme =
        parsedEntry(VolumeBuilder::shortEntry(test::bytesOf("README  TXT"), 0x20, 2, 5));
    EXPECT_EQ(readme.name, "README");
    EXPECT_EQ(readme.displayName(), "README.TXT");
    const DirectoryEntry noExt =
        parsedEntry(VolumeBuilder::shortEntry(test::bytesOf("README     "), 0x20, 2, 5));
    EXPECT_EQ(noExt.displayName(), "README");
    const DirectoryEntry spaced =
        parsedEntry(VolumeBuilder::shortEntry(test::bytesOf("MY FILE    "), 0x20, 0, 0));
    EXPECT_EQ(spaced.name, "MYFILE");
    EXPECT_EQ(spaced.rawName, test::bytesOf("MY FILE "));
}

TEST(DirectoryEntryParseTest, LeadingFiveStandsForE5AndIsWrittenBackAsFive) {
    Bytes raw = {0x05, 0xA0, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 'T', 'X', 'T'};
    const DirectoryEntry entry = parsedEntry(VolumeBuilder::shortEntry(raw, 0x20, 2, 1));
    EXPECT_EQ(entry.name, ShiftJISConverter::toUnicode(Bytes{0xE5, 0xA0}));
    EXPECT_EQ(entry.rawName[0], 0x05);
    EXPECT_EQ(DirectoryEntryParser::serialize(entry)[0], 0x05);
}

TEST(DirectoryEntryParseTest, SlotKindsFollowFirstByteAndAttribute) {
    const auto kindOf = [](std::uint8_t first, std::uint8_t attributes) {
        Bytes slot = VolumeBuilder::shortEntry(test::bytesOf("FILE    BIN"), attributes, 2, 1);
        slot[0] = first;
        return DirectoryEntryParser::parse(slot).kind;
    };
    using Kind = DirectoryEntryParseResult::Kind;
    EXPECT_EQ(kindOf(0x00, 0x20), Kind::endOfDirectory);
    EXPECT_EQ(kindOf(0xE5, 0x20), Kind::skip);
    EXPECT_EQ(kindOf('F', 0x0F), Kind::skip);
    EXPECT_EQ(kindOf('F', 0x08), Kind::skip);
    EXPECT_EQ(kindOf('F', 0x28), Kind::skip);
    EXPECT_EQ(kindOf('F', 0x01), Kind::entry);
    EXPECT_EQ(kindOf('F', 0xD7), Kind::entry);
    EXPECT_EQ(
        test::errorText([] { DirectoryEntryParser::parse(Bytes(31, 'A')); }),
        "ヘッダの解析に失敗しました: ディレクトリエントリのデータサイズが不正です（31バイト）");
}

TEST(DirectoryEntryParseTest, JapanTimeIsUsedWhateverTheHostZone) {
    const Timestamp t = DirectoryEntryParser::decodeFATDateTime(0x5A21, 0x6000);
    EXPECT_EQ(t.time_since_epoch().count(), 1735700400); // 2025-01-01 03:00:00 UTC
    EXPECT_EQ(DirectoryEntryParser::encodeFATDate(t), 0x5A21);
    EXPECT_EQ(DirectoryEntryParser::encodeFATTime(t), 0x6000);
    const Timestamp odd = t + std::chrono::seconds(59);
    EXPECT_EQ(DirectoryEntryParser::encodeFATTime(odd) & 0x1F, 29);
    EXPECT_EQ(DirectoryEntryParser::decodeFATDateTime(0, 0).time_since_epoch().count(), 0);
}

const std::string replacement = "\xEF\xBF\xBD";

TEST(ShiftJISTest, DecodesFullAndHalfWidthAndReplacesBadBytesOneForOne) {
    EXPECT_EQ(ShiftJISConverter::toUnicode(Bytes{0x83, 0x65, 0x83, 0x58, 0x83, 0x67}), "テスト");
    EXPECT_EQ(ShiftJISConverter::toUnicode(Bytes{0xB1, 0xB2}), "ｱｲ");
    EXPECT_EQ(ShiftJISConverter::toUnicode(Bytes{0x41, 0x82}), "A" + replacement);
    EXPECT_EQ(ShiftJISConverter::toUnicode(Bytes{0x41, 0x81, 0x20, 0x42}), "A" + replacement + "B");
    EXPECT_EQ(ShiftJISConverter::toUnicode(Bytes{0xFD, 0xFE, 0xFF, 0x80}).size(), 4 * 3u);
    EXPECT_EQ(ShiftJISConverter::toShiftJIS("A😀B"), (Bytes{0x41, 0x5F, 0x42}));
    EXPECT_EQ(ShiftJISConverter::toShiftJIS("Ａ"), (Bytes{0x82, 0x60}));
    EXPECT_EQ(ShiftJISConverter::toShiftJIS("〜"), (Bytes{0x81, 0x60}));
    EXPECT_TRUE(ShiftJISConverter::toShiftJIS("").empty());
}

// The parsed long-name slots of `name`, in on-disk order.
std::vector<LFNFragment> fragmentsOf(const std::u16string& name, const std::string& shortName) {
    std::vector<LFNFragment> fragments;
    for (const Bytes& s : VolumeBuilder::longNameSlots(name, test::bytesOf(shortName))) {
        fragments.push_back(*LFNParser::parseLFNEntry(s));
    }
    return fragments;
}

TEST(LongNameTest, ChecksumAndAssemblyFollowTheSlots) {
    EXPECT_EQ(LFNParser::calculateChecksum(test::bytesOf("README  TXT")), 0x73);
    auto fragments = fragmentsOf(u"A name of more than thirteen.txt", "LONGNA~1TXT");
    ASSERT_EQ(fragments.size(), 3u);
    EXPECT_EQ(LFNParser::assembleLFN(fragments), "A name of more than thirteen.txt");
    fragments[0].isLast = false;
    EXPECT_FALSE(LFNParser::assembleLFN(fragments));
}

TEST(LongNameTest, SequenceNumbersOutsideOneToTwentyAreIgnored) {
    for (const std::uint8_t sequence : {0x40, 0x55, 0x00}) {
        EXPECT_FALSE(LFNParser::parseLFNEntry(VolumeBuilder::longNameSlot(sequence, 0, u"abc")));
    }
    EXPECT_TRUE(LFNParser::parseLFNEntry(VolumeBuilder::longNameSlot(0x54, 0, u"abc")));
}

TEST(LongNameTest, SurrogatesAndTheLengthLimit) {
    EXPECT_EQ(LFNParser::buildString({0xD83D, 0xDE00, 0x41}), "😀A");
    EXPECT_EQ(LFNParser::buildString({0xDC00, 0x41}), replacement + "A");
    EXPECT_EQ(LFNParser::buildString({0xD800}), replacement);
    EXPECT_FALSE(LFNParser::buildString({}));
    const auto fragments = fragmentsOf(std::u16string(260, u'x'), "X       TXT");
    ASSERT_EQ(fragments.size(), 20u);
    EXPECT_EQ(LFNParser::assembleLFN(fragments), std::string(255, 'x'));
}

// Catches a disk name that climbs out of the export folder, names it, or carries control
// characters onto the host.
TEST(SafeHostNameTest, DiskNamesNeverLeaveTheChosenFolder) {
    const std::filesystem::path folder = "/export/here";
    for (const auto& [diskName, hostName] :
         std::vector<std::pair<std::string, std::string>>{{"README.TXT", "README.TXT"},
                                                          {"", "_"},
                                                          {".", "_"},
                                                          {"..", "_"},
                                                          {"../../etc/passwd", ".._.._etc_passwd"},
                                                          {"/abs", "_abs"},
                                                          {"a\tb\x7F", "a_b_"},
                                                          {"...", "..."},
                                                          {"テスト.TXT", "テスト.TXT"},
                                                          {"a\\b", "a\\b"},
                                                          {std::string("a\0b", 3), "a_b"}}) {
        EXPECT_EQ(HostFileName::safeHostFileName(diskName), hostName);
        const auto path = HostFileName::pathInside(folder, diskName);
        EXPECT_EQ(path.parent_path(), folder) << hostName;
        EXPECT_NE(path.filename(), "..");
        EXPECT_NE(path.filename(), ".");
    }
}

TEST(SafeHostNameTest, LongJapaneseNameIsCutToTheHostLimitAtACharacterBoundary) {
    std::string name;
    for (int i = 0; i < 255; ++i) {
        name += "あ"; // three bytes each in UTF-8
    }
    const std::string host = HostFileName::safeHostFileName(name);
    EXPECT_EQ(host.size(), 255u);
    EXPECT_EQ(host, name.substr(0, 255));
    const std::string oneOff = HostFileName::safeHostFileName("x" + name);
    EXPECT_EQ(oneOff.size(), 253u); // the 255th byte would split a character
}

} // namespace
} // namespace tamberlane
