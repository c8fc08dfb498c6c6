#pragma once

// Every text this layer shows, byte for byte, in one place.
namespace tamberlane::texts {

inline constexpr const char* programTitle = "Tamberlane";

inline constexpr const char* errorAlertTitle = "エラー";
inline constexpr const char* okButton = "OK";

// Opening and creating images.
inline constexpr const char* specialFormat =
    "FATファイルシステムとして認識できませんでした。\n独自フォーマットまたは特殊なディスクイメージの"
    "可能性があります。\n\n手動パラメータを指定して開きますか？";
inline constexpr const char* openWithManualParamsButton = "手動パラメータで開く";
inline constexpr const char* lockConflictSuffix = "\n読み取り専用モードで開くことができます。";
inline constexpr const char* openFailedPrefix = "ディスクイメージを開けませんでした: ";
inline constexpr const char* manualOpenFailedPrefix = "手動パラメータでの解析に失敗しました: ";
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

// A window that outlived the image it was opened on.
inline constexpr const char* noImageOpen = "ディスクイメージが開かれていません";

// Deleted files.
inline constexpr const char* restoreSucceeded = "ファイルを復元しました";
inline constexpr const char* restoreFailedPrefix = "復元に失敗しました: ";

// The name-clash question (import and export).
inline constexpr const char* clashTitle = "同名のファイルが既に存在します";
inline constexpr const char* clashListIntro = "以下のファイルが既に存在します:";
inline constexpr const char* clashQuestion = "上書きしますか？";
inline constexpr const char* clashSkip = "スキップ";
inline constexpr const char* clashOverwrite = "上書き";

} // namespace tamberlane::texts
