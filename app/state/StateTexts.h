#pragma once

// Every text this layer shows, byte for byte, in one place.
namespace tamberlane::texts {

inline constexpr const char* programTitle = "Tamberlane";

inline constexpr const char* errorAlertTitle = "エラー";
inline constexpr const char* okButton = "OK";

// Opening and creating images.
inline constexpr const char* specialFormat =
    "FATファイルシステムとして認識できませんでした。\n独自フォーマットまたは特殊なディスクイメージ"
    "の"
    "可能性があります。\n\n手動パラメータを指定して開きますか？";
inline constexpr const char* openWithManualParamsButton = "手動パラメータで開く";
inline constexpr const char* lockConflictSuffix = "\n読み取り専用モードで開くことができます。";
inline constexpr const char* openReadOnlyButton = "読み取り専用で開く";
// A volume found by searching for its boot sector; the offset goes between the two parts.
inline constexpr const char* searchedVolumeQuestionHead =
    "このボリュームは、ブートセクタの検索でオフセット ";
inline constexpr const char* searchedVolumeQuestionTail =
    " バイトに見つかりました。\nディスク上にファイルとして保存されたイメージの可能性があります。"
    "\n\nこのボリュームへの変更を許可しますか？";
inline constexpr const char* allowChangesButton = "変更を許可";
inline constexpr const char* readOnlyButton = "読み取りのみ";
inline constexpr const char* openFailedPrefix = "ディスクイメージを開けませんでした: ";
inline constexpr const char* invalidDiskIndex = "無効なディスクインデックスです";
inline constexpr const char* createFailedPrefix = "ディスクイメージの作成に失敗しました: ";
inline constexpr const char* convertFailedPrefix = "変換に失敗しました: ";

// The browser.
inline constexpr const char* loadDirectoryFailedPrefix = "ディレクトリの読み込みに失敗しました: ";
inline constexpr const char* exportFailedPrefix = "以下のファイルのエクスポートに失敗しました: ";
inline constexpr const char* importFailedPrefix = "以下のファイルのインポートに失敗しました: ";
inline constexpr const char* deleteFailedPrefix = "以下のファイルの削除に失敗しました: ";
inline constexpr const char* createDirectoryFailedPrefix = "ディレクトリの作成に失敗しました: ";
inline constexpr const char* renameFailedPrefix = "名前の変更に失敗しました: ";
inline constexpr const char* pasteFailedPrefix = "以下のファイルのペーストに失敗しました: ";
inline constexpr const char* nameSeparator = ", ";
inline constexpr const char* clashLinePrefix = "• ";
inline constexpr const char* clashRenamedArrow = " → ";
inline constexpr const char* undoFailedPrefix = "元に戻せませんでした: ";
inline constexpr const char* redoFailedPrefix = "やり直せませんでした: ";

// Undo step names.
inline constexpr const char* undoImport = "インポート";
inline constexpr const char* undoDelete = "削除";
inline constexpr const char* undoNewDirectory = "ディレクトリ作成";
inline constexpr const char* undoRename = "名前変更";
inline constexpr const char* undoPaste = "ペースト";
inline constexpr const char* undoRestore = "復元";
inline constexpr const char* undoTextSave = "テキスト保存";
inline constexpr const char* undoSectorSave = "セクタ保存";

// A window that outlived the image it was opened on.
inline constexpr const char* noImageOpen = "ディスクイメージが開かれていません";

// Unsaved edits about to be thrown away.
inline constexpr const char* discardQuestion = "変更を破棄しますか？";
inline constexpr const char* discardButton = "破棄";
inline constexpr const char* cancelButton = "キャンセル";

inline constexpr const char* readOnlyBanner = "読み取り専用";
inline constexpr const char* imageReadOnly = "ディスクイメージは読み取り専用です";

// The viewers and the text editor.
inline constexpr const char* fileReadFailedPrefix = "ファイルの読み込みに失敗しました: ";
inline constexpr const char* textSaveFailedPrefix = "保存に失敗しました（インポート）: ";
inline constexpr const char* textSaved = "ファイルを保存しました。";
inline constexpr const char* textNotShiftJIS =
    "Shift-JISのテキストとして保存し直せないバイトを含むため、読み取り専用で開いています";

// The sector editor.
inline constexpr const char* sectorTitlePrefix = "セクタ ";
inline constexpr const char* invalidNumber = "有効な数値を入力してください";
inline constexpr const char* lbaOutOfRangePrefix = "LBA番号が範囲外です（有効範囲: 0〜";
inline constexpr const char* lbaOutOfRangeSuffix = "）";
inline constexpr const char* sectorSaveFailedPrefix = "セクタの保存に失敗しました: ";
inline constexpr const char* bpbBytesPerSector = "バイト/セクタ";
inline constexpr const char* bpbSectorsPerCluster = "セクタ/クラスタ";
inline constexpr const char* bpbReservedSectors = "予約セクタ数";
inline constexpr const char* bpbNumberOfFATs = "FAT数";
inline constexpr const char* bpbRootEntryCount = "ルートエントリ数";
inline constexpr const char* bpbTotalSectors16 = "総セクタ数(16bit)";
inline constexpr const char* bpbMediaDescriptor = "メディアID";
inline constexpr const char* bpbSectorsPerFAT = "セクタ/FAT";

// Deleted files.
inline constexpr const char* restoreSucceeded = "ファイルを復元しました";
inline constexpr const char* restoreFailedPrefix = "復元に失敗しました: ";

// The name-clash question (import and export).
inline constexpr const char* clashTitle = "同名のファイルが既に存在します";
inline constexpr const char* clashListIntro = "以下のファイルが既に存在します:";
inline constexpr const char* clashQuestion = "上書きしますか？";
inline constexpr const char* clashSkip = "スキップ";
inline constexpr const char* clashOverwrite = "上書き";

// A failed name and the reason it failed, one line each below the first line of a failure.
inline constexpr const char* reasonSeparator = ": ";

// Below the question whether to open an unrecognised file by hand: its name and why.
inline constexpr const char* reasonBelowQuestion = "\n\n";
// In the manual-parameters dialog, when the typed values found no volume; the data offset
// goes between the two parts, the engine's message after them.
inline constexpr const char* manualOpenFailedHead = "データオフセット ";
inline constexpr const char* manualOpenFailedTail = " のブートセクタを読み取れませんでした: ";

// Work that finished: a toast names what it made.
inline constexpr const char* conversionDonePrefix = "変換が完了しました: ";
inline constexpr const char* exportDonePrefix = "エクスポートが完了しました: ";
// A stop that came after the converted file had started to be written.
inline constexpr const char* conversionWrittenDespiteStop =
    "中止が間に合わず、変換したファイルは書き込まれました: ";
// A new image aimed at the file of the image open in this window.
inline constexpr const char* newImageOpenHere =
    "このディスクイメージはこのウィンドウで開いています: ";
} // namespace tamberlane::texts
