#pragma once

#include "engine/base/Translation.h"

// Every text this layer shows, byte for byte, in one place. Texts with values are whole
// patterns (%1$s, ...), so that a translation orders the values its own way.
namespace tamberlane::texts {

// A name and a word that read the same in every language: not in the catalogue.
inline constexpr const char* programTitle = "Tamberlane";
inline constexpr const char* okButton = "OK";

inline constexpr Text errorAlertTitle = N_("エラー");

// Opening and creating images.
inline constexpr Text specialFormat =
    N_("FATファイルシステムとして認識できませんでした。\n独自フォーマットまたは特殊なディスクイメ"
       "ージの可能性があります。\n\n手動パラメータを指定して開きますか？");
// The same question with the file's name and the engine's reason below it.
inline constexpr Text specialFormatWithReason =
    N_("FATファイルシステムとして認識できませんでした。\n独自フォーマットまたは特殊なディスクイメ"
       "ージの可能性があります。\n\n手動パラメータを指定して開きますか？\n\n%1$s: %2$s");
inline constexpr Text openWithManualParamsButton = N_("手動パラメータで開く");
// The engine's message about the lock, then the way out.
inline constexpr Text lockConflict = N_("%1$s\n読み取り専用モードで開くことができます。");
inline constexpr Text openReadOnlyButton = N_("読み取り専用で開く");
// A volume found by searching for its boot sector at the offset given.
inline constexpr Text searchedVolumeQuestion =
    N_("このボリュームは、ブートセクタの検索でオフセット %1$s バイトに見つかりました。\nディスク上"
       "にファイルとして保存されたイメージの可能性があります。\n\nこのボリュームへの変更を許可しま"
       "すか？");
inline constexpr Text allowChangesButton = N_("変更を許可");
inline constexpr Text readOnlyButton = N_("読み取りのみ");
inline constexpr Text openFailed = N_("ディスクイメージを開けませんでした: %1$s");
inline constexpr Text invalidDiskIndex = N_("無効なディスクインデックスです");
inline constexpr Text createFailed = N_("ディスクイメージの作成に失敗しました: %1$s");
inline constexpr Text convertFailed = N_("変換に失敗しました: %1$s");

// The browser. A batch's failure names every failed item on its first line (%1$s).
inline constexpr Text loadDirectoryFailed = N_("ディレクトリの読み込みに失敗しました: %1$s");
inline constexpr Text exportFailed = N_("以下のファイルのエクスポートに失敗しました: %1$s");
inline constexpr Text importFailed = N_("以下のファイルのインポートに失敗しました: %1$s");
inline constexpr Text deleteFailed = N_("以下のファイルの削除に失敗しました: %1$s");
inline constexpr Text createDirectoryFailed = N_("ディレクトリの作成に失敗しました: %1$s");
inline constexpr Text renameFailed = N_("名前の変更に失敗しました: %1$s");
inline constexpr Text pasteFailed = N_("以下のファイルのペーストに失敗しました: %1$s");
// Punctuation the same in every language: between names, before a name in the clash
// list, between a host file and the entry of another name it would replace.
inline constexpr const char* nameSeparator = ", ";
inline constexpr const char* clashLinePrefix = "• ";
inline constexpr const char* clashRenamedArrow = " → ";
inline constexpr Text undoFailed = N_("元に戻せませんでした: %1$s");
inline constexpr Text redoFailed = N_("やり直せませんでした: %1$s");

// Undo step names.
inline constexpr Text undoImport = N_("インポート");
inline constexpr Text undoDelete = N_("削除");
inline constexpr Text undoNewDirectory = N_("ディレクトリ作成");
inline constexpr Text undoRename = N_("名前変更");
inline constexpr Text undoPaste = N_("ペースト");
inline constexpr Text undoRestore = N_("復元");
inline constexpr Text undoTextSave = N_("テキスト保存");
inline constexpr Text undoSectorSave = N_("セクタ保存");

// A window that outlived the image it was opened on.
inline constexpr Text noImageOpen = N_("ディスクイメージが開かれていません");

// Unsaved edits about to be thrown away.
inline constexpr Text discardQuestion = N_("変更を破棄しますか？");
inline constexpr Text discardButton = N_("破棄");
inline constexpr Text cancelButton = N_("キャンセル");

inline constexpr Text readOnlyBanner = N_("読み取り専用");
inline constexpr Text imageReadOnly = N_("ディスクイメージは読み取り専用です");

// The viewers and the text editor.
inline constexpr Text fileReadFailed = N_("ファイルの読み込みに失敗しました: %1$s");
inline constexpr Text textSaveFailed = N_("保存に失敗しました（インポート）: %1$s");
inline constexpr Text textSaved = N_("ファイルを保存しました。");
inline constexpr Text textNotShiftJIS =
    N_("Shift-JISのテキストとして保存し直せないバイトを含むため、読み取り専用で開いています");

// The sector editor.
inline constexpr Text invalidNumber = N_("有効な数値を入力してください");
// The last LBA the volume has.
inline constexpr Text lbaOutOfRange = N_("LBA番号が範囲外です（有効範囲: 0〜%1$s）");
inline constexpr Text sectorSaveFailed = N_("セクタの保存に失敗しました: %1$s");
inline constexpr Text bpbBytesPerSector = N_("バイト/セクタ");
inline constexpr Text bpbSectorsPerCluster = N_("セクタ/クラスタ");
inline constexpr Text bpbReservedSectors = N_("予約セクタ数");
inline constexpr Text bpbNumberOfFATs = N_("FAT数");
inline constexpr Text bpbRootEntryCount = N_("ルートエントリ数");
inline constexpr Text bpbTotalSectors16 = N_("総セクタ数(16bit)");
inline constexpr Text bpbMediaDescriptor = N_("メディアID");
inline constexpr Text bpbSectorsPerFAT = N_("セクタ/FAT");

// Deleted files.
inline constexpr Text restoreSucceeded = N_("ファイルを復元しました");
inline constexpr Text restoreFailed = N_("復元に失敗しました: %1$s");

// The name-clash question (import and export).
inline constexpr Text clashTitle = N_("同名のファイルが既に存在します");
inline constexpr Text clashListIntro = N_("以下のファイルが既に存在します:");
inline constexpr Text clashQuestion = N_("上書きしますか？");
inline constexpr Text clashSkip = N_("スキップ");
inline constexpr Text clashOverwrite = N_("上書き");

// A failed name and the reason it failed, one line each below the first line of a failure.
inline constexpr const char* reasonSeparator = ": ";

// In the manual-parameters dialog, when the typed values found no volume: the data offset
// and the engine's message.
inline constexpr Text manualOpenFailed =
    N_("データオフセット %1$s のブートセクタを読み取れませんでした: %2$s");

// Work that finished: a toast names what it made.
inline constexpr Text conversionDone = N_("変換が完了しました: %1$s");
inline constexpr Text exportDone = N_("エクスポートが完了しました: %1$s");
// A stop that came after the converted file had started to be written.
inline constexpr Text conversionWrittenDespiteStop =
    N_("中止が間に合わず、変換したファイルは書き込まれました: %1$s");
// A new image aimed at the file of the image open in this window.
inline constexpr Text newImageOpenHere =
    N_("このディスクイメージはこのウィンドウで開いています: %1$s");

// The volume check and its repair.
inline constexpr Text undoRepair = N_("ボリュームの修復");
inline constexpr Text checkFailed = N_("ボリュームの検査に失敗しました: %1$s");
inline constexpr Text repairFailed = N_("ボリュームの修復に失敗しました: %1$s");
inline constexpr Text repairDone = N_("ボリュームを修復しました");
// The headings the problems are grouped under, one per kind.
inline constexpr Text kindFatCopiesDiffer = N_("FATのコピーの不一致");
inline constexpr Text kindCrossLink = N_("クロスリンク");
inline constexpr Text kindChainLoop = N_("ループしているチェーン");
inline constexpr Text kindChainIntoFree = N_("空きクラスタに続くチェーン");
inline constexpr Text kindChainIntoReserved = N_("予約値に続くチェーン");
inline constexpr Text kindChainOutOfRange = N_("ボリューム外を指すチェーン");
inline constexpr Text kindChainLongerThanSize = N_("サイズより長いチェーン");
inline constexpr Text kindChainShorterThanSize = N_("サイズより短いチェーン");
inline constexpr Text kindLostChain = N_("どのファイルにも属さないチェーン");
inline constexpr Text kindInvalidName = N_("不正な名前");
inline constexpr Text kindInvalidAttributes = N_("矛盾した属性");
inline constexpr Text kindInvalidStartCluster = N_("不正な開始クラスタ");
inline constexpr Text kindDuplicateName = N_("重複した名前");
inline constexpr Text kindEntryAfterEnd = N_("ディレクトリの終端より後のエントリ");
inline constexpr Text kindBadDotEntry = N_("不正な「.」エントリ");
inline constexpr Text kindBadDotDotEntry = N_("不正な「..」エントリ");
inline constexpr Text kindDirectoryCycle = N_("上位を指すディレクトリ");
inline constexpr Text kindOrphanLongName = N_("エントリのない長いファイル名");
inline constexpr Text kindLongNameChecksum = N_("長いファイル名のチェックサムの不一致");
inline constexpr Text kindBootSectorMismatch = N_("ブートセクタの不一致");
inline constexpr Text kindSectorMissing = N_("記録されていないセクタ");
inline constexpr Text kindSectorAliased = N_("二重に記録されたセクタ");
inline constexpr Text kindBadSector = N_("読み取り不良のセクタ");
} // namespace tamberlane::texts
