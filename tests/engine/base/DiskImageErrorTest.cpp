#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"

#include <gtest/gtest.h>

#include <functional>

namespace tamberlane {
namespace {

using Kind = DiskImageError::Kind;
using Reason = DiskImageError::Reason;

struct Family {
    const char* name;
    DiskImageError error;
    Kind kind;
    Reason reason;
    const char* message;
};

// Catches a family's text drifting from what users and scripts have been shown, and a
// reason lost on the way (callers skip a stale entry or ask before overwriting by it).
class ErrorFamily : public ::testing::TestWithParam<Family> {};

TEST_P(ErrorFamily, KeepsItsTextKindAndReason) {
    const Family& f = GetParam();
    EXPECT_EQ(f.error.kind(), f.kind);
    EXPECT_EQ(f.error.reason(), f.reason);
    EXPECT_EQ(f.error.errorDescription(), f.message);
    EXPECT_STREQ(f.error.what(), f.message);
}

INSTANTIATE_TEST_SUITE_P(
    Factories, ErrorFamily,
    ::testing::Values(
        Family{"entryNotFound", DiskImageError::entryNotFound("メモ.TXT"), Kind::headerParseFailure,
               Reason::entryNotFound,
               "ヘッダの解析に失敗しました: エントリが見つかりません: メモ.TXT"},
        Family{"staleEntry", DiskImageError::staleEntry("A.TXT"), Kind::headerParseFailure,
               Reason::staleEntry, "ヘッダの解析に失敗しました: エントリが見つかりません: A.TXT"},
        Family{"directoryNotFound", DiskImageError::directoryNotFound("SUB"),
               Kind::headerParseFailure, Reason::directoryNotFound,
               "ヘッダの解析に失敗しました: ディレクトリ 'SUB' が見つかりません"},
        Family{"intoItself", DiskImageError::intoItself("SUB"), Kind::headerParseFailure,
               Reason::intoItself,
               "ヘッダの解析に失敗しました: ディレクトリをそれ自身の中へは置けません: SUB"},
        Family{"notRegularFile", DiskImageError::notRegularFile("dev"), Kind::ioError,
               Reason::notRegularFile,
               "I/Oエラーが発生しました: 通常のファイルではありません: dev"},
        Family{"reservedName", DiskImageError::reservedName("CON"), Kind::encodingError,
               Reason::reservedName, "文字エンコーディングエラー: この名前は使用できません: CON"},
        Family{"sectorNotRecorded", DiskImageError::sectorNotRecorded(1231), Kind::ioError,
               Reason::none,
               "I/Oエラーが発生しました: このセクタはディスクイメージに記録されていません（LBA "
               "1231）"},
        Family{"rootDirectoryFull", DiskImageError::rootDirectoryFull(224), Kind::diskFull,
               Reason::rootDirectoryFull, "ルートディレクトリに空きがありません（最大 224 項目）"},
        Family{"fatTableShort", DiskImageError::fatTableShort(16, 4608, 5698), Kind::fatCorruption,
               Reason::none,
               "FATテーブルが破損しています: FAT16テーブルのデータが不足しています（4608バイト、"
               "5698バイト必要）"},
        Family{"hostFileLocked", DiskImageError::hostFileLocked(), Kind::lockConflict, Reason::none,
               "ファイルのロック競合が発生しました: "
               "ファイルのロックを取得できませんでした。他のプロセスが使用中です。"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EnglishCase {
    const char* name;
    // Made once English is chosen: a factory translates its detail where it makes it.
    std::function<DiskImageError()> make;
    const char* message;
};

// Catches a detail left Japanese inside an English message, and values put back in the
// Japanese order where English orders them otherwise.
class EnglishErrorFamily : public ::testing::TestWithParam<EnglishCase> {
  protected:
    void SetUp() override { useLanguage(Language::english); }
    void TearDown() override { useLanguage(Language::japanese); }
};

TEST_P(EnglishErrorFamily, ReadsWhollyInEnglish) {
    EXPECT_EQ(GetParam().make().errorDescription(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Factories, EnglishErrorFamily,
    ::testing::Values(
        EnglishCase{"nameClash", [] { return DiskImageError::nameClash("A.TXT", "a.txt"); },
                    "Character encoding error: A file with this name already exists: A.TXT "
                    "(existing: a.txt)"},
        EnglishCase{"searchedVolumeUnconfirmed",
                    [] { return DiskImageError::searchedVolumeUnconfirmed(4096); },
                    "This volume cannot be changed: the volume was found by searching for its "
                    "boot sector, at offset 4096 bytes. Changes need your confirmation"},
        EnglishCase{"hostSpaceShort", [] { return DiskImageError::hostSpaceShort(2048, 1024); },
                    "Cannot save the disk image: not enough free space on this computer (2048 "
                    "bytes needed, 1024 bytes free)"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tamberlane
