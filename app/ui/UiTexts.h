#pragma once

// Every text the windows show that the state layer does not own, byte for byte.
// A "&&" in a button or action text is Qt's way of writing one "&".
namespace tamberlane::ui::texts {

inline constexpr const char* titleSeparator = " — ";
inline constexpr const char* noImageStatus = "—";

// Menus.
inline constexpr const char* fileMenu = "ファイル";
inline constexpr const char* editMenu = "編集";
inline constexpr const char* viewMenu = "表示";
inline constexpr const char* longNamesMenu = "長いファイル名";
inline constexpr const char* longNamesAutomatic = "ディスクに合わせる（自動）";
inline constexpr const char* longNamesAlways = "常に書き込む";
inline constexpr const char* longNamesNever = "書き込まない（8.3 形式の名前のみ）";
inline constexpr const char* openImageAction = "ディスクイメージを開く...";
inline constexpr const char* openManualAction = "手動設定で開く...";
inline constexpr const char* newImageAction = "新規ディスクイメージ...";
inline constexpr const char* recentMenu = "最近使ったイメージ";
inline constexpr const char* clearRecent = "履歴を消去";
inline constexpr const char* closeAction = "閉じる";
inline constexpr const char* quitAction = "終了";
inline constexpr const char* undoAction = "元に戻す";
inline constexpr const char* redoAction = "やり直す";
inline constexpr const char* selectAllAction = "すべて選択";
inline constexpr const char* deleteAction = "削除";
inline constexpr const char* reloadAction = "再読み込み";
inline constexpr const char* upAction = "上の階層へ";

// Window toolbar.
inline constexpr const char* openButton = "開く";
inline constexpr const char* openHelp = "ディスクイメージを開く";
inline constexpr const char* newButton = "新規";
inline constexpr const char* newHelp = "新規ディスクイメージを作成";

// Panels.
inline constexpr const char* openPanelTitle = "ディスクイメージを開く";
inline constexpr const char* openManualPanelTitle = "ディスクイメージを選択（手動設定）";
inline constexpr const char* diskImageFilter = "ディスクイメージ";
inline constexpr const char* allFilesFilter = "すべてのファイル (*)";
inline constexpr const char* exportSavePanelTitle = "エクスポート先を選択";
inline constexpr const char* exportFolderPanelTitle = "エクスポート先フォルダを選択";
inline constexpr const char* exportConfirmButton = "エクスポート";
inline constexpr const char* importPanelTitle = "インポートするファイルを選択";
inline constexpr const char* newImageSavePanelTitle = "新規ディスクイメージの保存先";
inline constexpr const char* convertSavePanelTitle = "変換後のディスクイメージを保存";

// Sidebar and list.
inline constexpr const char* treePlaceholder = "ディスクイメージを\n開いてください";
inline constexpr const char* rootName = "/";
inline constexpr const char* capacityTitle = "容量情報:";
inline constexpr const char* freeSpacePrefix = "空き容量: ";
inline constexpr const char* totalSpacePrefix = "合計: ";
inline constexpr const char* kilobyteSuffix = " KB";
inline constexpr const char* listPlaceholderTitle = "ディスクイメージファイルを開いてください";
inline constexpr const char* listPlaceholderDrop =
    "ディスクイメージをここにドラッグ&ドロップすることもできます";
inline constexpr const char* listPlaceholderFormats =
    "対応形式: TFD, BIN, XDF, HDM, IMG, D88, FDI, HDI, NFD, NHD, THD, DIM, DCP, DCU";
// The banner's and the reload question's way on when the image's file changed under us.
inline constexpr const char* reopenButton = "開き直す";
inline constexpr const char* emptyDirectory = "ディレクトリは空です";
inline constexpr const char* nameColumn = "ファイル名";
inline constexpr const char* sizeColumn = "サイズ";
inline constexpr const char* dateColumn = "更新日時";
inline constexpr const char* attributeColumn = "属性";
inline constexpr const char* directorySize = "<DIR>";
inline constexpr const char* dateFormat = "yyyy/MM/dd HH:mm";
inline constexpr const char* entryCountFormat = "%1 項目";
inline constexpr const char* pathCrumbsName = "パス";
inline constexpr const char* treeName = "ディレクトリツリー";
inline constexpr const char* listName = "ファイル一覧";
inline constexpr const char* cancelOperationButton = "中止";
inline constexpr const char* progressName = "進行状況";
inline constexpr const char* openingPrefix = "開いています: ";
inline constexpr const char* dragExportFailed = "ファイルのエクスポートに失敗しました";

// Tool row: title, help text.
inline constexpr const char* exportTool = "エクスポート";
inline constexpr const char* exportHelp = "選択ファイルをエクスポート";
inline constexpr const char* importTool = "インポート";
inline constexpr const char* importHelp = "ファイルをインポート";
inline constexpr const char* newFolderTool = "新規フォルダ";
inline constexpr const char* newFolderHelp = "新規ディレクトリを作成";
inline constexpr const char* renameTool = "名前変更";
inline constexpr const char* renameHelp = "選択項目の名前を変更";
inline constexpr const char* deleteTool = "削除";
inline constexpr const char* deleteHelp = "選択ファイルを削除";
inline constexpr const char* sectorTool = "セクタ";
inline constexpr const char* sectorHelp = "セクタエディタを開く";
inline constexpr const char* infoTool = "ディスク情報";
inline constexpr const char* infoHelp = "ディスクイメージの詳細情報を表示";
inline constexpr const char* convertTool = "変換";
inline constexpr const char* convertHelp = "ディスクイメージ形式を変換";
inline constexpr const char* restoreTool = "ファイル復元";
inline constexpr const char* textTool = "テキスト";
inline constexpr const char* textHelp = "選択ファイルをテキストエディタで開く";
inline constexpr const char* hexTool = "HEX";
inline constexpr const char* hexHelp = "選択ファイルをHEXビューアで開く";
inline constexpr const char* restoreHelp = "削除済みファイルの復元";

// Context menu.
inline constexpr const char* copyAction = "コピー";
inline constexpr const char* cutAction = "カット";
inline constexpr const char* pasteAction = "ペースト";
inline constexpr const char* renameAction = "名前の変更";
inline constexpr const char* textEditorAction = "テキストエディタで開く";
inline constexpr const char* hexViewerAction = "HEXビューアで開く";
inline constexpr const char* sectorEditorAction = "セクタエディタ";

// Status bar.
inline constexpr const char* undoHelp = "元に戻す (Ctrl+Z)";
inline constexpr const char* redoHelp = "やり直す (Ctrl+Shift+Z)";
inline constexpr const char* undoStepHelp = "元に戻す: %1 (Ctrl+Z)";
inline constexpr const char* redoStepHelp = "やり直す: %1 (Ctrl+Shift+Z)";

// Alerts of the window.
inline constexpr const char* specialFormatTitle = "特殊フォーマット";
inline constexpr const char* closeButton = "閉じる";
inline constexpr const char* binaryTitle = "バイナリファイル";
inline constexpr const char* binaryMessage =
    "このファイルはバイナリファイルのため、テキストエディタで開けません。";

// File dialogs.
inline constexpr const char* deleteQuestion = "以下のファイルを削除しますか？";
// A delete is one step of the history, so the question says how to take it back.
inline constexpr const char* deleteUndoable = "元に戻す (Ctrl+Z) で取り消せます。";
inline constexpr const char* deleteButton = "削除";
inline constexpr const char* clashNoNames =
    "インポート先ディレクトリに同じ名前のファイルが存在します。上書きしますか？";
inline constexpr const char* newDirectoryTitle = "新規ディレクトリ作成";
inline constexpr const char* newDirectoryLabel = "ディレクトリ名:";
inline constexpr const char* createButton = "作成";
inline constexpr const char* renameTitle = "名前の変更";
inline constexpr const char* renameNameLabel = "ファイル名:";
inline constexpr const char* renameExtensionLabel = "拡張子:";
inline constexpr const char* renameButton = "変更";

// Image dialogs.
inline constexpr const char* diskSelectionTitle = "ディスクを選択してください";
inline constexpr const char* diskRowPrefix = "ディスク ";
inline constexpr const char* partitionSelectionTitle = "パーティションを選択してください";
inline constexpr const char* partitionRowPrefix = "パーティション ";
inline constexpr const char* megabyteUnit = " MB";
inline constexpr const char* newImageTitle = "新規ディスクイメージ作成";
inline constexpr const char* formatLabel = "形式:";
inline constexpr const char* sizeLabel = "サイズ:";
inline constexpr const char* fileSystemLabel = "ファイルシステム:";
inline constexpr const char* createEllipsisButton = "作成...";
inline constexpr const char* newImageBaseName = "NewDisk.";
inline constexpr const char* infoTitle = "ディスク情報";
inline constexpr const char* infoFileName = "ファイル名:";
inline constexpr const char* infoFormat = "イメージ形式:";
inline constexpr const char* infoFileSystem = "ファイルシステム:";
inline constexpr const char* infoCylinders = "シリンダ数:";
inline constexpr const char* infoHeads = "ヘッド数:";
inline constexpr const char* infoSectorsPerTrack = "セクタ/トラック:";
inline constexpr const char* infoBytesPerSector = "バイト/セクタ:";
inline constexpr const char* infoSectorsPerCluster = "セクタ/クラスタ:";
inline constexpr const char* infoClusterSize = "クラスタサイズ:";
inline constexpr const char* infoUsed = "使用中:";
inline constexpr const char* infoFree = "空き容量:";
inline constexpr const char* infoTotal = "全容量:";
inline constexpr const char* infoTotalSectors = "総セクタ数:";
inline constexpr const char* infoFATCount = "FAT数:";
inline constexpr const char* infoSectorsPerFAT = "セクタ/FAT:";
inline constexpr const char* infoRootEntries = "ルートエントリ数:";
inline constexpr const char* infoMedia = "メディアID:";
inline constexpr const char* infoWriteProtect = "ライトプロテクト:";
inline constexpr const char* infoPartition = "パーティション:";
inline constexpr const char* infoParameters = "パラメータ:";
inline constexpr const char* infoChanges = "変更:";
inline constexpr const char* infoBootSector = "ブートセクタ:";
inline constexpr const char* foundBySearchFormat = "検索で発見 (オフセット %1 バイト)";
inline constexpr const char* searchedVolumeTitle = "ボリュームの確認";
inline constexpr const char* inferredFromMedia = "FATのメディアIDから推定";
inline constexpr const char* byteUnit = " Byte";
inline constexpr const char* clusterCountFormat = " (%1 クラスタ)";
inline constexpr const char* enabledValue = "有効";
inline constexpr const char* disabledValue = "無効";
inline constexpr const char* convertTitle = "ディスクイメージ形式の変換";
inline constexpr const char* convertSource = "変換元:";
inline constexpr const char* convertTarget = "変換先形式:";
inline constexpr const char* converting = "変換中...";
inline constexpr const char* convertButton = "変換して保存...";
inline constexpr const char* manualTitle = "手動パラメータ設定";
inline constexpr const char* manualFileSystem = "ファイルシステム:";
inline constexpr const char* manualBytesPerSector = "バイト/セクタ:";
inline constexpr const char* manualSectorsPerCluster = "セクタ/クラスタ:";
inline constexpr const char* manualDataOffset = "データオフセット:";
inline constexpr const char* manualHeads = "ヘッド数:";
inline constexpr const char* manualCylinders = "シリンダ数:";
inline constexpr const char* manualSectorsPerTrack = "セクタ/トラック:";

// Deleted files.
inline constexpr const char* deletedTitle = "削除済みファイル";
inline constexpr const char* deletedCountFormat = "%1 件";
inline constexpr const char* noDeletedFiles = "削除済みファイルはありません";
inline constexpr const char* deletedSizeSeparator = " バイト — ";
inline constexpr const char* restoreButton = "復元";
inline constexpr const char* restoreCharTitle = "先頭文字を入力";
inline constexpr const char* restoreFilePrefix = "復元するファイル: ";
inline constexpr const char* restoreCharPrompt =
    "削除されたファイル名の先頭1文字を入力してください（ASCII表示可能文字）";
inline constexpr const char* restoreCharField = "先頭文字";
inline constexpr const char* restoreDoneTitle = "復元完了";

// Text editor.
inline constexpr const char* textEditorTitle = "テキストエディタ";
inline constexpr const char* modifiedMark = "(変更あり)";
inline constexpr const char* lineCountFormat = "%1 行";
inline constexpr const char* saveButton = "保存";
inline constexpr const char* saveDoneTitle = "保存完了";

// Hex viewer and sector editor.
inline constexpr const char* hexViewerTitle = "HEXビューア";
inline constexpr const char* byteCountFormat = "%1 バイト";
inline constexpr const char* addressColumn = "アドレス";
inline constexpr const char* hexColumn = "HEX ダンプ";
inline constexpr const char* asciiColumn = "ASCII";
inline constexpr const char* noData = "データなし";
inline constexpr const char* sectorEditorTitle = "セクタエディタ";
inline constexpr const char* lbaLabel = "LBA:";
inline constexpr const char* loadSectorButton = "読み込み";
inline constexpr const char* previousSector = "前のセクタ";
inline constexpr const char* nextSector = "次のセクタ";
inline constexpr const char* sectorPositionFormat = "セクタ %1 / %2";
inline constexpr const char* offsetColumn = "オフセット";
inline constexpr const char* bpbToggle = "BPB表示";
inline constexpr const char* bpbHeading = "BPB 構造";
// The status bar while a change is saved to the image's file; the file name follows.
inline constexpr const char* savingPrefix = "保存しています: ";
// A size of the new-image dialog: the catalogue's name, then what the volume really holds.
inline constexpr const char* sizeWithCapacityFormat = "%1 — 実容量 %2";
// Below a name field where names are written as 8.3 only; the stored name follows.
inline constexpr const char* storedNamePrefix = "ディスク上の名前 (8.3): ";
// The status bar while entries are selected: the count listed, then the count selected.
inline constexpr const char* selectionCountFormat = "%1 個中 %2 個を選択";
// Below the delete question's first line: how many entries go.
inline constexpr const char* deleteCountFormat = "%1 個の項目を削除します。";

// Quitting while work runs.
inline constexpr const char* quitWhileWorkingTitle = "作業中です";
inline constexpr const char* quitWhileWorkingQuestion =
    "作業を中止して終了しますか？\n中止した作業の変更はディスクイメージに残りません。"
    "保存の途中であれば、保存が終わってから終了します。";
inline constexpr const char* stopAndQuitButton = "中止して終了";
} // namespace tamberlane::ui::texts
