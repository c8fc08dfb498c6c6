#pragma once

#include "engine/base/Translation.h"

// Every text the windows show that the state layer does not own, byte for byte, as the
// Japanese source of the catalogue. Values go in as Qt's %1, %2 (QString::arg).
// A "&&" in a button or action text is Qt's way of writing one "&".
namespace tamberlane::ui::texts {

// A text that names a count: the pattern for one and for more (the same in Japanese), the
// count being %1.
struct CountText {
    const char* one;
    const char* many;
};

// Marks a text that names a count for the catalogue, as N_ marks a plain one.
constexpr CountText N_plural(const char* one, const char* many) {
    return CountText{one, many};
}

// The same in every language.
inline constexpr const char* titleSeparator = " — ";
inline constexpr const char* noImageStatus = "—";
inline constexpr const char* rootName = "/";
inline constexpr const char* kilobyteSuffix = " KB";
inline constexpr const char* directorySize = "<DIR>";
inline constexpr const char* dateFormat = "yyyy/MM/dd HH:mm";
inline constexpr const char* asciiColumn = "ASCII";
inline constexpr const char* lbaLabel = "LBA:";
inline constexpr const char* newImageBaseName = "NewDisk.";

// Menus.
inline constexpr Text fileMenu = N_("ファイル");
inline constexpr Text editMenu = N_("編集");
inline constexpr Text viewMenu = N_("表示");
inline constexpr Text longNamesMenu = N_("長いファイル名");
inline constexpr Text longNamesAutomatic = N_("ディスクに合わせる（自動）");
inline constexpr Text longNamesAlways = N_("常に書き込む");
inline constexpr Text longNamesNever = N_("書き込まない（8.3 形式の名前のみ）");
inline constexpr Text openImageAction = N_("ディスクイメージを開く...");
inline constexpr Text openManualAction = N_("手動設定で開く...");
inline constexpr Text newImageAction = N_("新規ディスクイメージ...");
inline constexpr Text recentMenu = N_("最近使ったイメージ");
inline constexpr Text clearRecent = N_("履歴を消去");
inline constexpr Text closeAction = N_("閉じる");
inline constexpr Text quitAction = N_("終了");
inline constexpr Text undoAction = N_("元に戻す");
inline constexpr Text redoAction = N_("やり直す");
inline constexpr Text selectAllAction = N_("すべて選択");
inline constexpr Text deleteAction = N_("削除");
inline constexpr Text reloadAction = N_("再読み込み");
inline constexpr Text upAction = N_("上の階層へ");

// Window toolbar.
inline constexpr Text openButton = N_("開く");
inline constexpr Text openHelp = N_("ディスクイメージを開く");
inline constexpr Text newButton = N_("新規");
inline constexpr Text newHelp = N_("新規ディスクイメージを作成");

// Panels.
inline constexpr Text openPanelTitle = N_("ディスクイメージを開く");
inline constexpr Text openManualPanelTitle = N_("ディスクイメージを選択（手動設定）");
inline constexpr Text diskImageFilter = N_("ディスクイメージ");
inline constexpr Text allFilesFilter = N_("すべてのファイル (*)");
inline constexpr Text exportSavePanelTitle = N_("エクスポート先を選択");
inline constexpr Text exportFolderPanelTitle = N_("エクスポート先フォルダを選択");
inline constexpr Text exportConfirmButton = N_("エクスポート");
inline constexpr Text importPanelTitle = N_("インポートするファイルを選択");
inline constexpr Text newImageSavePanelTitle = N_("新規ディスクイメージの保存先");
inline constexpr Text convertSavePanelTitle = N_("変換後のディスクイメージを保存");

// Sidebar and list.
inline constexpr Text treePlaceholder = N_("ディスクイメージを\n開いてください");
inline constexpr Text capacityTitle = N_("容量情報:");
inline constexpr Text freeSpaceFormat = N_("空き容量: %1");
inline constexpr Text totalSpaceFormat = N_("合計: %1");
inline constexpr Text listPlaceholderTitle = N_("ディスクイメージファイルを開いてください");
inline constexpr Text listPlaceholderDrop =
    N_("ディスクイメージをここにドラッグ&ドロップすることもできます");
inline constexpr Text listPlaceholderFormats =
    N_("対応形式: TFD, BIN, XDF, HDM, IMG, D88, FDI, HDI, NFD, NHD, THD, DIM, DCP, DCU");
// The banner's and the reload question's way on when the image's file changed under us.
inline constexpr Text reopenButton = N_("開き直す");
inline constexpr Text emptyDirectory = N_("ディレクトリは空です");
inline constexpr Text nameColumn = N_("ファイル名");
inline constexpr Text sizeColumn = N_("サイズ");
inline constexpr Text dateColumn = N_("更新日時");
inline constexpr Text attributeColumn = N_("属性");
inline constexpr CountText entryCountFormat = N_plural("%1 項目", "%1 項目");
inline constexpr Text pathCrumbsName = N_("パス");
inline constexpr Text treeName = N_("ディレクトリツリー");
inline constexpr Text listName = N_("ファイル一覧");
inline constexpr Text cancelOperationButton = N_("中止");
inline constexpr Text progressName = N_("進行状況");
inline constexpr Text openingFormat = N_("開いています: %1");
inline constexpr Text dragExportFailed = N_("ファイルのエクスポートに失敗しました");

// Tool row: title, help text.
inline constexpr Text exportTool = N_("エクスポート");
inline constexpr Text exportHelp = N_("選択ファイルをエクスポート");
inline constexpr Text importTool = N_("インポート");
inline constexpr Text importHelp = N_("ファイルをインポート");
inline constexpr Text newFolderTool = N_("新規フォルダ");
inline constexpr Text newFolderHelp = N_("新規ディレクトリを作成");
inline constexpr Text renameTool = N_("名前変更");
inline constexpr Text renameHelp = N_("選択項目の名前を変更");
inline constexpr Text deleteTool = N_("削除");
inline constexpr Text deleteHelp = N_("選択ファイルを削除");
inline constexpr Text sectorTool = N_("セクタ");
inline constexpr Text sectorHelp = N_("セクタエディタを開く");
inline constexpr Text infoTool = N_("ディスク情報");
inline constexpr Text infoHelp = N_("ディスクイメージの詳細情報を表示");
inline constexpr Text convertTool = N_("変換");
inline constexpr Text convertHelp = N_("ディスクイメージ形式を変換");
inline constexpr Text restoreTool = N_("ファイル復元");
inline constexpr Text textTool = N_("テキスト");
inline constexpr Text textHelp = N_("選択ファイルをテキストエディタで開く");
inline constexpr Text hexTool = N_("HEX");
inline constexpr Text hexHelp = N_("選択ファイルをHEXビューアで開く");
inline constexpr Text restoreHelp = N_("削除済みファイルの復元");

// Context menu.
inline constexpr Text copyAction = N_("コピー");
inline constexpr Text cutAction = N_("カット");
inline constexpr Text pasteAction = N_("ペースト");
inline constexpr Text renameAction = N_("名前の変更");
inline constexpr Text textEditorAction = N_("テキストエディタで開く");
inline constexpr Text hexViewerAction = N_("HEXビューアで開く");
inline constexpr Text sectorEditorAction = N_("セクタエディタ");

// Status bar.
inline constexpr Text undoHelp = N_("元に戻す (Ctrl+Z)");
inline constexpr Text redoHelp = N_("やり直す (Ctrl+Shift+Z)");
inline constexpr Text undoStepHelp = N_("元に戻す: %1 (Ctrl+Z)");
inline constexpr Text redoStepHelp = N_("やり直す: %1 (Ctrl+Shift+Z)");

// Alerts of the window.
inline constexpr Text specialFormatTitle = N_("特殊フォーマット");
inline constexpr Text closeButton = N_("閉じる");
inline constexpr Text binaryTitle = N_("バイナリファイル");
inline constexpr Text binaryMessage =
    N_("このファイルはバイナリファイルのため、テキストエディタで開けません。");

// File dialogs.
inline constexpr Text deleteQuestion = N_("以下のファイルを削除しますか？");
// A delete is one step of the history, so the question says how to take it back.
inline constexpr Text deleteUndoable = N_("元に戻す (Ctrl+Z) で取り消せます。");
inline constexpr Text deleteButton = N_("削除");
inline constexpr Text clashNoNames =
    N_("インポート先ディレクトリに同じ名前のファイルが存在します。上書きしますか？");
inline constexpr Text newDirectoryTitle = N_("新規ディレクトリ作成");
inline constexpr Text newDirectoryLabel = N_("ディレクトリ名:");
inline constexpr Text createButton = N_("作成");
inline constexpr Text renameTitle = N_("名前の変更");
inline constexpr Text renameNameLabel = N_("ファイル名:");
inline constexpr Text renameExtensionLabel = N_("拡張子:");
inline constexpr Text renameButton = N_("変更");

// Image dialogs.
inline constexpr Text diskSelectionTitle = N_("ディスクを選択してください");
inline constexpr Text diskRowFormat = N_("ディスク %1: %2");
inline constexpr Text partitionSelectionTitle = N_("パーティションを選択してください");
inline constexpr Text partitionRowFormat = N_("パーティション %1: %2 MB");
inline constexpr Text newImageTitle = N_("新規ディスクイメージ作成");
inline constexpr Text formatLabel = N_("形式:");
inline constexpr Text sizeLabel = N_("サイズ:");
inline constexpr Text fileSystemLabel = N_("ファイルシステム:");
inline constexpr Text createEllipsisButton = N_("作成...");
inline constexpr Text infoTitle = N_("ディスク情報");
inline constexpr Text infoFileName = N_("ファイル名:");
inline constexpr Text infoFormat = N_("イメージ形式:");
inline constexpr Text infoFileSystem = N_("ファイルシステム:");
inline constexpr Text infoCylinders = N_("シリンダ数:");
inline constexpr Text infoHeads = N_("ヘッド数:");
inline constexpr Text infoSectorsPerTrack = N_("セクタ/トラック:");
inline constexpr Text infoBytesPerSector = N_("バイト/セクタ:");
inline constexpr Text infoSectorsPerCluster = N_("セクタ/クラスタ:");
inline constexpr Text infoClusterSize = N_("クラスタサイズ:");
inline constexpr Text infoUsed = N_("使用中:");
inline constexpr Text infoFree = N_("空き容量:");
inline constexpr Text infoTotal = N_("全容量:");
inline constexpr Text infoTotalSectors = N_("総セクタ数:");
inline constexpr Text infoFATCount = N_("FAT数:");
inline constexpr Text infoSectorsPerFAT = N_("セクタ/FAT:");
inline constexpr Text infoRootEntries = N_("ルートエントリ数:");
inline constexpr Text infoMedia = N_("メディアID:");
inline constexpr Text infoWriteProtect = N_("ライトプロテクト:");
inline constexpr Text infoPartition = N_("パーティション:");
inline constexpr Text infoParameters = N_("パラメータ:");
inline constexpr Text infoChanges = N_("変更:");
inline constexpr Text infoBootSector = N_("ブートセクタ:");
inline constexpr Text foundBySearchFormat = N_("検索で発見 (オフセット %1 バイト)");
inline constexpr Text searchedVolumeTitle = N_("ボリュームの確認");
inline constexpr Text inferredFromMedia = N_("FATのメディアIDから推定");
inline constexpr Text byteSizeFormat = N_("%1 Byte");
// A size in kilobytes (%2) with the clusters it takes.
inline constexpr CountText clusterCountFormat =
    N_plural("%2 (%1 クラスタ)", "%2 (%1 クラスタ)");
inline constexpr Text enabledValue = N_("有効");
inline constexpr Text disabledValue = N_("無効");
inline constexpr Text convertTitle = N_("ディスクイメージ形式の変換");
inline constexpr Text convertSource = N_("変換元:");
inline constexpr Text convertTarget = N_("変換先形式:");
inline constexpr Text converting = N_("変換中...");
inline constexpr Text convertButton = N_("変換して保存...");
inline constexpr Text manualTitle = N_("手動パラメータ設定");
inline constexpr Text manualFileSystem = N_("ファイルシステム:");
inline constexpr Text manualBytesPerSector = N_("バイト/セクタ:");
inline constexpr Text manualSectorsPerCluster = N_("セクタ/クラスタ:");
inline constexpr Text manualDataOffset = N_("データオフセット:");
inline constexpr Text manualHeads = N_("ヘッド数:");
inline constexpr Text manualCylinders = N_("シリンダ数:");
inline constexpr Text manualSectorsPerTrack = N_("セクタ/トラック:");

// Deleted files.
inline constexpr Text deletedTitle = N_("削除済みファイル");
inline constexpr CountText deletedCountFormat = N_plural("%1 件", "%1 件");
inline constexpr Text noDeletedFiles = N_("削除済みファイルはありません");
// A deleted file's size (%1, in bytes) and date.
inline constexpr CountText deletedDetailFormat =
    N_plural("%1 バイト — %2", "%1 バイト — %2");
inline constexpr Text restoreButton = N_("復元");
// The restore button of one deleted file, for screen readers.
inline constexpr Text restoreEntryName = N_("復元 %1");
inline constexpr Text restoreCharTitle = N_("先頭文字を入力");
inline constexpr Text restoreFileFormat = N_("復元するファイル: %1");
inline constexpr Text restoreCharPrompt =
    N_("削除されたファイル名の先頭1文字を入力してください（ASCII表示可能文字）");
inline constexpr Text restoreCharField = N_("先頭文字");
inline constexpr Text restoreDoneTitle = N_("復元完了");

// Text editor.
inline constexpr Text textEditorTitle = N_("テキストエディタ");
inline constexpr Text modifiedMark = N_("(変更あり)");
inline constexpr CountText lineCountFormat = N_plural("%1 行", "%1 行");
inline constexpr Text saveButton = N_("保存");
inline constexpr Text saveDoneTitle = N_("保存完了");

// Hex viewer and sector editor.
inline constexpr Text hexViewerTitle = N_("HEXビューア");
inline constexpr CountText byteCountFormat = N_plural("%1 バイト", "%1 バイト");
inline constexpr Text addressColumn = N_("アドレス");
inline constexpr Text hexColumn = N_("HEX ダンプ");
inline constexpr Text noData = N_("データなし");
inline constexpr Text sectorEditorTitle = N_("セクタエディタ");
inline constexpr Text loadSectorButton = N_("読み込み");
inline constexpr Text previousSector = N_("前のセクタ");
inline constexpr Text nextSector = N_("次のセクタ");
inline constexpr Text sectorPositionFormat = N_("セクタ %1 / %2");
inline constexpr Text offsetColumn = N_("オフセット");
inline constexpr Text bpbToggle = N_("BPB表示");
inline constexpr Text bpbHeading = N_("BPB 構造");
// The status bar while a change is saved to the image's file.
inline constexpr Text savingFormat = N_("保存しています: %1");
// A size of the new-image dialog: the catalogue's name, then what the volume really holds.
inline constexpr Text sizeWithCapacityFormat = N_("%1 — 実容量 %2");
// Below a name field where names are written as 8.3 only.
inline constexpr Text storedNameFormat = N_("ディスク上の名前 (8.3): %1");
// The status bar while entries are selected: the count listed, then the count selected.
inline constexpr Text selectionCountFormat = N_("%1 個中 %2 個を選択");
// Below the delete question's first line: how many entries go.
inline constexpr CountText deleteCountFormat =
    N_plural("%1 個の項目を削除します。", "%1 個の項目を削除します。");

// Quitting while work runs.
inline constexpr Text quitWhileWorkingTitle = N_("作業中です");
inline constexpr Text quitWhileWorkingQuestion =
    N_("作業を中止して終了しますか？\n中止した作業の変更はディスクイメージに残りません。"
       "保存の途中であれば、保存が終わってから終了します。");
inline constexpr Text stopAndQuitButton = N_("中止して終了");

// The help menu and the about window.
inline constexpr Text helpMenu = N_("ヘルプ");
inline constexpr Text aboutAction = N_("Tamberlane について");
inline constexpr Text aboutVersionFormat = N_("バージョン %1");
inline constexpr Text aboutDescription =
    N_("日本のパソコンのディスクイメージの FAT ボリュームを閲覧・編集します。");
inline constexpr Text aboutLibrariesHeading = N_("使用しているライブラリ:");
inline constexpr const char* aboutQtFormat = "Qt %1";
inline constexpr const char* aboutICUFormat = "ICU %1";
inline constexpr Text aboutLibcFormat = N_("GNU C ライブラリ %1（gettext を含む）");

// The volume check.
inline constexpr Text checkVolumeAction = N_("ボリュームの検査…");
inline constexpr Text checkVolumeHelp = N_("ボリュームの問題を調べて修復します");
inline constexpr Text checkVolumeTitle = N_("ボリュームの検査");
inline constexpr Text checkingVolume = N_("検査しています…");
inline constexpr Text repairingVolume = N_("修復しています…");
inline constexpr Text noProblemsFound = N_("問題は見つかりませんでした");
inline constexpr CountText problemCountFormat = N_plural("%1 件の問題", "%1 件の問題");
inline constexpr Text problemColumn = N_("問題");
inline constexpr Text fixColumn = N_("修復内容");
inline constexpr Text problemsName = N_("見つかった問題");
inline constexpr Text notesHeading = N_("メモ");
inline constexpr Text recheckButton = N_("再検査");
inline constexpr Text repairButton = N_("修復");
// Why the repair button is off: the engine's reason, or nothing chosen.
inline constexpr Text notRepairableFormat = N_("修復できません: %1");
inline constexpr Text nothingChosen = N_("修復する問題が選ばれていません");
// The read-only banner of a volume a repair can make writable again: the volume's reason.
inline constexpr Text repairableBannerFormat = N_("%1 — ボリュームの検査で修復できます");
inline constexpr Text checkAndRepairButton = N_("検査して修復…");
} // namespace tamberlane::ui::texts
