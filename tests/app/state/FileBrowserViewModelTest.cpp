#include "tests/app/state/StateTestSupport.h"

#include "app/state/StateTexts.h"
#include "engine/base/AtomicFile.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

using FileBrowserTest = OpenImageTest;

TEST_F(FileBrowserTest, ClashQuestionNamesTheVolumeEntryAndARepeatWithinOneRequestFails) {
    browser().importFiles({hostFile("REPORT_A.TXT", "old")});
    const auto longName = hostFile("report_august.txt", "new");
    const auto sameShort = hostFile("other/REPORT_A.TXT", "second of the same name");
    makeDirectory("SUB");
    enter("SUB");
    browser().navigateUp();

    browser().importFiles({longName, sameShort});

    EXPECT_TRUE(browser().showImportOverwriteConfirmation);
    EXPECT_EQ(browser().duplicateFileNames.get(),
              std::vector<std::string>{"report_august.txt → REPORT_A.TXT"});
    EXPECT_EQ(
        browser().errorMessage.get(),
        "以下のファイルのインポートに失敗しました: REPORT_A.TXT\n"
        "REPORT_A.TXT: 文字エンコーディングエラー: 同名のファイルが既に存在します: REPORT_A.TXT");

    // The overwrite goes where the request went, wherever the user looks meanwhile.
    enter("SUB");
    browser().confirmImportOverwrite();
    EXPECT_TRUE(listedNames().empty());
    browser().navigateUp();
    EXPECT_EQ(listed("REPORT_A.TXT").directoryEntry.size, 3u);
    EXPECT_TRUE(fsckAccepts(image));
}

std::vector<std::string> selectedNames(FileBrowserViewModel& browser) {
    return displayNames(browser.selectedFileEntries());
}

// Catches an entry the user just made, renamed or pasted that the reload left unselected,
// and a way up that forgot where it came from.
TEST_F(FileBrowserTest, WhatAChangeMadeAndTheFolderLeftAreSelectedAfterTheReload) {
    browser().longNamePolicy = LongNamePolicy::never;
    browser().importFiles({hostFile("A.TXT", "a"), hostFile("B.TXT", "b")});
    makeDirectory("new folder");
    EXPECT_EQ(selectedNames(browser()), std::vector<std::string>{"NEW_FOLD"});

    select({"A.TXT"});
    browser().prepareRename();
    browser().renameName = "zeta";
    browser().renameSelectedEntry();
    EXPECT_EQ(selectedNames(browser()), std::vector<std::string>{"ZETA.TXT"});

    select({"B.TXT", "ZETA.TXT"});
    browser().copySelectedEntries();
    enter("NEW_FOLD");
    browser().pasteEntries();
    EXPECT_EQ(selectedNames(browser()), (std::vector<std::string>{"B.TXT", "ZETA.TXT"}));

    browser().navigateUp();
    EXPECT_EQ(selectedNames(browser()), std::vector<std::string>{"NEW_FOLD"});
}

// Catches a preview that differs from the name the volume then holds, and one shown where
// a long name keeps what was typed.
TEST_F(FileBrowserTest, TheStoredNameShownWhileTypingIsWhatANewFolderIsListedAs) {
    browser().longNamePolicy = LongNamePolicy::never;
    browser().requestNewDirectory();
    EXPECT_EQ(browser().newDirectoryStoredName(), std::nullopt) << "nothing typed yet";
    browser().newDirectoryName = "Saved games.old";
    const std::optional<std::string> shown = browser().newDirectoryStoredName();
    ASSERT_TRUE(shown.has_value());
    browser().createNewDirectory();
    EXPECT_EQ(listedNames(), std::vector<std::string>{*shown});

    select({*shown});
    browser().prepareRename();
    browser().renameName = "read me";
    browser().renameExtension = "text";
    EXPECT_EQ(browser().renameStoredName(), "READ_ME.TEX");

    browser().longNamePolicy = LongNamePolicy::always;
    EXPECT_EQ(browser().renameStoredName(), std::nullopt);
}

TEST_F(FileBrowserTest, DeleteRemovesWhatTheDialogShowedNotTheLaterSelection) {
    browser().importFiles({hostFile("A.TXT", "a"), hostFile("B.TXT", "b")});
    select({"A.TXT"});
    browser().requestDelete();
    select({"B.TXT"});
    browser().confirmDelete();
    EXPECT_EQ(listedNames(), std::vector<std::string>{"B.TXT"});
}

TEST_F(FileBrowserTest, PasteCopiesTreesMovesDirectoriesAndRefusesAPasteIntoItself) {
    makeDirectory("SRC");
    enter("SRC");
    makeDirectory("INNER");
    browser().importFiles(
        {hostFile("ONE.TXT", "one"), hostFile("TWO.TXT", std::string(5000, 't'))});
    enter("INNER");
    browser().importFiles({hostFile("DEEP.TXT", "deep")});
    browser().navigateToPath(DiskPath::root());
    makeDirectory("DST");

    select({"SRC"});
    browser().copySelectedEntries();
    enter("DST");
    browser().pasteEntries();
    EXPECT_FALSE(browser().showError) << browser().errorMessage.get();
    EXPECT_EQ(browser().clipboard.get().size(), 1u) << "a copy stays for another paste";

    // Into itself: refused, and the source is intact.
    browser().navigateToPath(DiskPath::fromString("/SRC"));
    browser().pasteEntries();
    EXPECT_EQ(browser().errorMessage.get(),
              "以下のファイルのペーストに失敗しました: SRC\n"
              "SRC: ヘッダの解析に失敗しました: ディレクトリをそれ自身の中へは置けません: SRC");

    // A cut directory moves; its ".." follows it. Below itself it cannot go.
    browser().navigateToPath(DiskPath::root());
    select({"SRC"});
    browser().cutSelectedEntries();
    browser().navigateToPath(DiskPath::fromString("/SRC/INNER"));
    browser().pasteEntries();
    EXPECT_EQ(browser().clipboard.get().size(), 1u) << "a refused cut keeps its entry";
    browser().navigateToPath(DiskPath::fromString("/DST"));
    browser().showError = false;
    // DST already holds a copy named SRC: the clash is reported and nothing moves.
    browser().pasteEntries();
    EXPECT_TRUE(browser().showError);
    makeDirectory("MOVED");
    enter("MOVED");
    browser().pasteEntries();
    EXPECT_TRUE(browser().clipboard.get().empty());

    browser().navigateToPath(DiskPath::root());
    EXPECT_EQ(listedNames(), std::vector<std::string>{"DST"});
    const std::shared_ptr<DiskImage> disk = app.image().diskImageService().currentImage();
    const Tree tree = engineTree(*disk);
    EXPECT_EQ(tree.at("DST/SRC/TWO.TXT"), tree.at("DST/MOVED/SRC/TWO.TXT"));
    EXPECT_EQ(tree.at("DST/MOVED/SRC/INNER/DEEP.TXT"), bytesOf("deep"));
    EXPECT_TRUE(fsckAccepts(image));
    if (fatToolsAvailable()) {
        EXPECT_EQ(mtoolsTree(image), tree);
    }
}

TEST_F(FileBrowserTest, APasteNeverReplacesAnotherFileAndACutThatClashedKeepsItsSource) {
    makeDirectory("OTHER");
    browser().importFiles({hostFile("SAME.TXT", "in root")});
    enter("OTHER");
    browser().importFiles({hostFile("x/SAME.TXT", "in other")});
    select({"SAME.TXT"});
    browser().cutSelectedEntries();
    browser().navigateUp();
    browser().pasteEntries();
    EXPECT_EQ(browser().errorMessage.get(),
              "以下のファイルのペーストに失敗しました: SAME.TXT\n"
              "SAME.TXT: 文字エンコーディングエラー: 同名のファイルが既に存在します: SAME.TXT");
    const auto disk = app.image().diskImageService().currentImage();
    EXPECT_EQ(engineTree(*disk).at("SAME.TXT"), bytesOf("in root"));
    EXPECT_EQ(engineTree(*disk).at("OTHER/SAME.TXT"), bytesOf("in other"));

    // Copy and paste into the same directory leaves exactly one file.
    select({"SAME.TXT"});
    browser().copySelectedEntries();
    browser().showError = false;
    browser().pasteEntries();
    EXPECT_FALSE(browser().showError);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"OTHER", "SAME.TXT"}));
}

TEST_F(FileBrowserTest, AStaleClipboardEntryIsReportedAndNothingOfItIsWritten) {
    browser().importFiles({hostFile("GONE.TXT", "soon deleted")});
    makeDirectory("TARGET");
    select({"GONE.TXT"});
    browser().cutSelectedEntries();
    select({"GONE.TXT"});
    browser().requestDelete();
    browser().confirmDelete();
    // A new file takes the freed cluster: a blind paste would carry its bytes.
    browser().importFiles({hostFile("NEWER.TXT", "took the cluster")});
    enter("TARGET");
    const Bytes before = readFile(image);
    browser().pasteEntries();
    EXPECT_EQ(browser().errorMessage.get(),
              "以下のファイルのペーストに失敗しました: GONE.TXT\n"
              "GONE.TXT: ヘッダの解析に失敗しました: エントリが見つかりません: GONE.TXT");
    EXPECT_TRUE(listedNames().empty());
    EXPECT_EQ(readFile(image), before);
    EXPECT_EQ(browser().undoStepName(), texts::undoImport.str());
}

TEST_F(FileBrowserTest, CancelledImportAndPasteLeaveTheImageAsItWas) {
    makeDirectory("DIR");
    browser().importFiles({hostFile("KEEP.TXT", "k")});
    const Bytes before = readFile(image);
    Subscription cancelOnFirstProgress = browser().operationProgress.subscribe([this] {
        if (browser().operationProgress.get() > 0) {
            browser().cancelOperation();
        }
    });
    browser().importFiles({hostFile("BIG1.BIN", std::string(40000, 'a')),
                           hostFile("BIG2.BIN", std::string(40000, 'b'))});
    EXPECT_EQ(readFile(image), before);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"DIR", "KEEP.TXT"}));

    select({"KEEP.TXT"});
    browser().copySelectedEntries();
    enter("DIR");
    browser().pasteEntries();
    EXPECT_EQ(readFile(image), before);
    EXPECT_FALSE(browser().isOperationInProgress);
    EXPECT_FALSE(app.gate().isBusy);
}

TEST_F(FileBrowserTest, ExportAsksOnceBeforeReplacingHostFilesAndSkipKeepsThem) {
    browser().importFiles({hostFile("A.TXT", "volume a"), hostFile("B.TXT", "volume b")});
    const TempDir out;
    writeFile(out / "A.TXT", bytesOf("host copy"));
    select({"A.TXT", "B.TXT"});
    browser().exportSelectedFiles(out.path());
    EXPECT_TRUE(browser().showExportOverwriteConfirmation);
    EXPECT_EQ(browser().exportDuplicateNames.get(), std::vector<std::string>{"A.TXT"});
    EXPECT_FALSE(std::filesystem::exists(out / "B.TXT")) << "nothing is written before the answer";

    browser().skipExistingOnExport();
    EXPECT_EQ(readFile(out / "A.TXT"), bytesOf("host copy"));
    EXPECT_EQ(readFile(out / "B.TXT"), bytesOf("volume b"));

    browser().exportSelectedFiles(out.path());
    browser().confirmExportOverwrite();
    EXPECT_EQ(readFile(out / "A.TXT"), bytesOf("volume a"));

    // A single file goes to exactly the name typed in the save dialog.
    browser().exportFileAs(listed("B.TXT"), out / "renamed.txt");
    EXPECT_EQ(readFile(out / "renamed.txt"), bytesOf("volume b"));
}

// Catches the application's export replacing a file another instance holds locked, once
// the user agreed to overwrite or chose the name in the save dialog.
TEST_F(FileBrowserTest, ExportLeavesAFileAnotherInstanceHoldsLocked) {
    browser().importFiles({hostFile("A.TXT", "volume a"), hostFile("B.TXT", "volume b")});
    const TempDir out;
    writeFile(out / "A.TXT", bytesOf("held"));
    const int holder = ::open((out / "A.TXT").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    select({"A.TXT", "B.TXT"});
    browser().exportSelectedFiles(out.path());
    ASSERT_TRUE(browser().showExportOverwriteConfirmation);
    browser().confirmExportOverwrite();
    EXPECT_EQ(readFile(out / "A.TXT"), bytesOf("held"));
    EXPECT_EQ(readFile(out / "B.TXT"), bytesOf("volume b"));
    const std::string held = "ファイルのロック競合が発生しました: "
                             "ファイルのロックを取得できませんでした。他のプロセスが使用中です。";
    EXPECT_EQ(browser().errorMessage.get(),
              "以下のファイルのエクスポートに失敗しました: /A.TXT\n/A.TXT: " + held);

    browser().showError = false;
    browser().exportFileAs(listed("A.TXT"), out / "A.TXT");
    EXPECT_EQ(browser().errorMessage.get(),
              "以下のファイルのエクスポートに失敗しました: A.TXT\nA.TXT: " + held);
    EXPECT_EQ(readFile(out / "A.TXT"), bytesOf("held"));
    ::close(holder);
}

// Catches a failure that names the files but not why: the user had to try the same
// import on the command line to learn the disk was full.
TEST_F(FileBrowserTest, EachFailedNameGetsTheEngineReasonOnItsOwnLineBelowTheNames) {
    const std::string free = std::to_string(app.image().freeSpace.get());
    browser().importFiles(
        {hostFile("BIG.BIN", std::string(1'500'000, 'b')), hostFile("SMALL.TXT", "fits")});
    EXPECT_EQ(browser().errorMessage.get(),
              "以下のファイルのインポートに失敗しました: BIG.BIN\n"
              "BIG.BIN: ディスク容量が不足しています。必要: 1500000 バイト、空き: " +
                  free + " バイト");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"SMALL.TXT"});

    // A save that fails fails every item of the batch, each with the reason.
    browser().importFiles({hostFile("OTHER.TXT", "o")});
    select({"OTHER.TXT", "SMALL.TXT"});
    browser().requestDelete();
    setAtomicWriteFaultHook([](AtomicWriteStep) { return EIO; });
    browser().confirmDelete();
    setAtomicWriteFaultHook({});
    const std::string io = "I/Oエラーが発生しました: ";
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> out;
        std::istringstream in(browser().errorMessage.get());
        for (std::string line; std::getline(in, line);) {
            out.push_back(line);
        }
        return out;
    }();
    ASSERT_EQ(lines.size(), 3u) << browser().errorMessage.get();
    EXPECT_EQ(lines[0], "以下のファイルの削除に失敗しました: OTHER.TXT, SMALL.TXT");
    EXPECT_TRUE(lines[1].starts_with("OTHER.TXT: " + io)) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("SMALL.TXT: " + io)) << lines[2];

    // A folder that cannot be made was not reported at all.
    browser().showError = false;
    const TempDir out;
    writeFile(out / "plain", bytesOf("a file, not a folder"));
    select({"SMALL.TXT"});
    browser().exportSelectedFiles(out / "plain" / "sub");
    EXPECT_TRUE(browser().showError);
    EXPECT_TRUE(browser().errorMessage.get().starts_with(
        "以下のファイルのエクスポートに失敗しました: SMALL.TXT\nSMALL.TXT: " + io))
        << browser().errorMessage.get();
}

TEST_F(FileBrowserTest, UndoAndRedoFailuresAreReported) {
    browser().importFiles({hostFile("A.TXT", "a")});
    setAtomicWriteFaultHook([](AtomicWriteStep) { return EIO; });
    browser().undo();
    setAtomicWriteFaultHook({});
    EXPECT_TRUE(browser().showError);
    EXPECT_TRUE(browser().errorMessage.get().starts_with(texts::undoFailed("")));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"A.TXT"});
}

// A change that failed, or a batch that kept nothing, took an undo step that did nothing
// and threw the redo steps away.
TEST_F(FileBrowserTest, AChangeThatChangedNothingTakesNoUndoStepAndKeepsRedo) {
    browser().importFiles({hostFile("A.TXT", "a")});
    makeDirectory("DIR");
    browser().undo();
    ASSERT_TRUE(browser().canRedo());
    const std::size_t steps = app.undoRedo().undoStack().size();

    makeDirectory("A.TXT");
    EXPECT_TRUE(browser().showError);
    browser().showError = false;
    browser().importFiles({host / "missing.txt"});
    EXPECT_TRUE(browser().showError);
    EXPECT_EQ(app.undoRedo().undoStack().size(), steps);
    EXPECT_EQ(browser().undoStepName(), texts::undoImport.str());
    browser().redo();
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"A.TXT", "DIR"}));
}

TEST_F(FileBrowserTest, NothingStartsWhileAnOperationRuns) {
    browser().importFiles({hostFile("A.TXT", "a")});
    makeDirectory("SUB");
    ASSERT_TRUE(app.gate().tryBegin());
    const Bytes before = readFile(image);
    browser().importFiles({hostFile("B.TXT", "b")});
    select({"A.TXT"});
    browser().requestDelete();
    browser().confirmDelete();
    browser().undo();
    enter("SUB");
    // The tree would read the volume while the work writes it on another thread.
    browser().expandTreeNode(DiskPath::fromString("SUB"));
    EXPECT_EQ(treeShape(browser().directoryTree.get()), "/{SUB}");
    app.image().closeImage();
    app.image().openDiskImage(newImage("other.img"));
    app.gate().end();
    EXPECT_EQ(readFile(image), before);
    EXPECT_TRUE(browser().currentPath.get().isRoot());
    EXPECT_EQ(app.image().windowTitle.get(), "disk.img");
}

TEST(FileBrowserSortTest, FourThousandEntriesSortStablyByEachKey) {
    SynchronousExecutor executor;
    auto browser =
        std::make_shared<FileBrowserViewModel>(executor, std::make_shared<OperationGate>());
    std::vector<FileEntry> list;
    for (int i = 0; i < 4000; ++i) {
        FileEntry e;
        e.id = static_cast<EntryId>(i + 1);
        e.directoryEntry.name = (i % 2 == 0 ? "file" : "FILE") + std::to_string(3999 - i);
        e.directoryEntry.size = static_cast<std::uint32_t>(i % 7);
        e.directoryEntry.modifiedDate = Timestamp(std::chrono::seconds(1'000'000 + (i % 13) * 60));
        list.push_back(e);
    }
    browser->entries = list;
    browser->sort(SortKey::name); // same key again: descending
    EXPECT_EQ(browser->sortOrder.get(), SortOrder::descending);
    std::map<EntryId, std::size_t> before;
    for (std::size_t i = 0; i < browser->entries.get().size(); ++i) {
        before[browser->entries.get()[i].id] = i;
    }
    browser->sort(SortKey::size);
    EXPECT_EQ(browser->sortOrder.get(), SortOrder::ascending);
    for (std::size_t i = 1; i < browser->entries.get().size(); ++i) {
        const FileEntry& a = browser->entries.get()[i - 1];
        const FileEntry& b = browser->entries.get()[i];
        ASSERT_LE(a.directoryEntry.size, b.directoryEntry.size);
        if (a.directoryEntry.size == b.directoryEntry.size) {
            ASSERT_LT(before[a.id], before[b.id]) << "equal sizes keep the order they had";
        }
    }
    browser->sort(SortKey::name);
    const auto& sorted = browser->entries.get();
    // Case is ignored, whatever the locale: upper- and lower-case names interleave.
    EXPECT_EQ(sorted[0].directoryEntry.displayName(), "FILE0");
    EXPECT_EQ(sorted[1].directoryEntry.displayName(), "file1");
    EXPECT_EQ(sorted[2].directoryEntry.displayName(), "FILE10");
    browser->sort(SortKey::date);
    for (std::size_t i = 1; i < browser->entries.get().size(); ++i) {
        ASSERT_LE(browser->entries.get()[i - 1].directoryEntry.modifiedDate,
                  browser->entries.get()[i].directoryEntry.modifiedDate);
    }
}

// Catches a change that closes the rows the user had open, keeps rows of directories that
// are gone, or loses the highlighted row.
TEST_F(FileBrowserTest, AChangeKeepsTheOpenRowsAndTheHighlightAndDropsGoneDirectories) {
    const auto shown = [this] { return treeShape(browser().directoryTree.get()); };
    makeDirectory("A");
    makeDirectory("B");
    enter("A");
    makeDirectory("A1");
    makeDirectory("A2");
    browser().navigateUp();
    browser().expandTreeNode(DiskPath::fromString("A"));
    browser().expandTreeNode(DiskPath::fromString("B"));
    EXPECT_EQ(shown(), "/{A{A1,A2},B{}}");

    enter("A");
    select({"A2"});
    browser().prepareRename();
    browser().renameName = "A3";
    browser().renameSelectedEntry();
    EXPECT_EQ(shown(), "/{A{A1,A3},B{}}");
    EXPECT_EQ(browser().selectedTreePath.get(), DiskPath::fromString("A"));

    browser().navigateUp();
    select({"B"});
    browser().requestDelete();
    browser().confirmDelete();
    EXPECT_EQ(shown(), "/{A{A1,A3}}");
    browser().undo();
    EXPECT_EQ(shown(), "/{A{A1,A3},B}");
    browser().undo();
    EXPECT_EQ(shown(), "/{A{A1,A2},B}");
    EXPECT_EQ(browser().selectedTreePath.get(), DiskPath::root());
}

// Catches an undo that leaves the browser in a directory it took away, with an alert.
TEST_F(FileBrowserTest, AnUndoThatRemovesTheShownDirectoryGoesToItsNearestParent) {
    makeDirectory("A");
    enter("A");
    makeDirectory("B");
    enter("B");
    browser().undo();
    EXPECT_EQ(browser().currentPath.get(), DiskPath::fromString("A"));
    EXPECT_EQ(browser().selectedTreePath.get(), DiskPath::fromString("A"));
    EXPECT_TRUE(browser().entries.get().empty());
    browser().undo();
    EXPECT_TRUE(browser().currentPath.get().isRoot());
    EXPECT_TRUE(browser().entries.get().empty());
    EXPECT_FALSE(browser().showError.get()) << browser().errorMessage.get();
    browser().redo();
    browser().redo();
    EXPECT_TRUE(browser().currentPath.get().isRoot());
    EXPECT_EQ(listedNames(), std::vector<std::string>{"A"});
}

// Catches a navigation the tree does not follow: the row of the current directory shows
// and is highlighted, however the user got there and however the path was typed.
TEST_F(FileBrowserTest, NavigationOpensTheTreeDownToTheCurrentDirectory) {
    makeDirectory("A");
    enter("A");
    makeDirectory("B");
    enter("B");
    makeDirectory("C");
    EXPECT_EQ(treeShape(browser().directoryTree.get()), "/{A{B}}");
    EXPECT_EQ(browser().selectedTreePath.get(), DiskPath::fromString("A/B"));

    browser().navigateToPath(DiskPath::root());
    browser().collapseTreeNode(DiskPath::fromString("A"));
    EXPECT_EQ(treeShape(browser().directoryTree.get()), "/{A}");
    browser().navigateToPath(DiskPath::fromString("a/b/c"));
    EXPECT_EQ(treeShape(browser().directoryTree.get()), "/{A{B{C}}}");
    EXPECT_EQ(browser().selectedTreePath.get(), DiskPath::fromString("A/B/C"));
    EXPECT_EQ(browser().currentPath.get(), DiskPath::fromString("A/B/C"));
}

} // namespace
} // namespace tamberlane::test
