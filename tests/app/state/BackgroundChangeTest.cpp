#include "tests/app/state/SteppingExecutor.h"

#include "app/state/ApplicationState.h"
#include "app/state/StateTexts.h"
#include "engine/base/AtomicFile.h"
#include "engine/fat/NewImageFile.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

namespace tamberlane::test {
namespace {

// The application on an executor that holds its background work, with A.TXT ("first")
// imported into a new 1.44 MB image.
class HeldSaveTest : public ::testing::Test {
  public:
    HeldSaveTest() : app(executor) {}

    void SetUp() override {
        image = dir / "disk.img";
        writeImageFile(
            image, createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
        app.image().openDiskImage(image);
        executor.runHeld();
        ASSERT_TRUE(app.image().isImageOpen);
        browser().importFiles({hostFile("A.TXT", "first")});
        executor.runHeld();
        ASSERT_EQ(shown(), "A.TXT:5");
    }

    FileBrowserViewModel& browser() { return app.browser(); }
    std::filesystem::path hostFile(const std::string& name, const std::string& text) {
        writeFile(host / name, bytesOf(text));
        return host / name;
    }
    // The listing as "NAME:size,...".
    std::string shown() {
        std::string out;
        for (const FileEntry& e : browser().entries.get()) {
            out += (out.empty() ? "" : ",") + e.directoryEntry.displayName() + ":" +
                   std::to_string(e.directoryEntry.size);
        }
        return out;
    }
    void select(const std::string& name) {
        for (const FileEntry& e : browser().entries.get()) {
            if (e.directoryEntry.displayName() == name) {
                browser().setSelection({e.id});
            }
        }
    }
    void makeDirectory(const std::string& name) {
        browser().requestNewDirectory();
        browser().newDirectoryName = name;
        browser().createNewDirectory();
    }
    // The first sector of the root directory of the new image: its first slot is A.TXT.
    SectorEditorViewModel& rootDirectorySector() {
        app.openSectorEditor();
        SectorEditorViewModel& sectors = *app.sectorEditorVM.get();
        sectors.loadSector(19);
        return sectors;
    }
    std::string topUndoStep() {
        const auto& stack = app.undoRedo().undoStack();
        return stack.empty() ? "" : stack.back().operationName;
    }

    TempDir dir;
    TempDir host;
    std::filesystem::path image;
    SteppingExecutor executor;
    ApplicationState app;
};

struct SavedChange {
    const char* name;
    // Runs to its end before the change starts.
    std::function<void(HeldSaveTest&)> prepare;
    std::function<void(HeldSaveTest&)> start;
    const char* shownAfter;
    Text undoStepAfter;
};

class EveryChangeTest : public HeldSaveTest, public ::testing::WithParamInterface<SavedChange> {};

const SavedChange savedChanges[] = {
    {"rename",
     {},
     [](HeldSaveTest& t) {
         t.select("A.TXT");
         t.browser().prepareRename();
         t.browser().renameName = "B";
         t.browser().renameSelectedEntry();
     },
     "B.TXT:5",
     texts::undoRename},
    {"newDirectory",
     {},
     [](HeldSaveTest& t) { t.makeDirectory("NEW"); },
     "A.TXT:5,NEW:0",
     texts::undoNewDirectory},
    {"delete",
     {},
     [](HeldSaveTest& t) {
         t.select("A.TXT");
         t.browser().requestDelete();
         t.browser().confirmDelete();
     },
     "",
     texts::undoDelete},
    {"undo", {}, [](HeldSaveTest& t) { t.browser().undo(); }, "", Text{""}},
    {"redo", [](HeldSaveTest& t) { t.browser().undo(); },
     [](HeldSaveTest& t) { t.browser().redo(); }, "A.TXT:5", texts::undoImport},
    {"restore",
     [](HeldSaveTest& t) {
         t.select("A.TXT");
         t.browser().requestDelete();
         t.browser().confirmDelete();
         t.executor.runHeld();
         t.browser().openDeletedFiles();
         DeletedFilesViewModel& deleted = *t.browser().deletedFilesVM();
         deleted.requestRestore(deleted.deletedEntries.get().at(0));
         deleted.restoreFirstChar = "A";
     },
     [](HeldSaveTest& t) { t.browser().restoreDeletedEntry(); }, "A.TXT:5", texts::undoRestore},
    {"textSave",
     [](HeldSaveTest& t) {
         t.select("A.TXT");
         t.browser().openTextEditor();
         t.browser().textEditorVM.get()->setText("changed");
     },
     [](HeldSaveTest& t) { t.browser().textEditorVM.get()->save(); }, "A.TXT:7",
     texts::undoTextSave},
    {"sectorSave", [](HeldSaveTest& t) { t.rootDirectorySector().setByte(0, 'B'); },
     [](HeldSaveTest& t) { t.app.sectorEditorVM.get()->saveSector(); }, "B.TXT:5",
     texts::undoSectorSave},
};

// Catches a change saved on the main thread (the window frozen for the whole save), a
// second change let in while one is saved, and a save the window is not told of.
TEST_P(EveryChangeTest, SavesInTheBackgroundWhileTheWindowSaysSoAndRefusesAnotherChange) {
    const SavedChange& change = GetParam();
    if (change.prepare) {
        change.prepare(*this);
        executor.runHeld();
    }
    const Bytes before = readFile(image);
    change.start(*this);

    ASSERT_EQ(executor.heldCount(), 1u);
    EXPECT_EQ(readFile(image), before) << "saved before the background work ran";
    EXPECT_TRUE(app.gate().isBusy);
    EXPECT_EQ(app.gate().savingFileName.get(), "disk.img");
    EXPECT_FALSE(app.enablement().isEnabled(Action::newDirectory));
    EXPECT_FALSE(app.enablement().isEnabled(Action::undo));
    makeDirectory("SECOND");
    browser().undo();
    browser().importFiles({hostFile("C.TXT", "c")});
    EXPECT_EQ(executor.heldCount(), 1u) << "a second change started";

    executor.runHeld();
    EXPECT_FALSE(app.gate().isBusy);
    EXPECT_EQ(app.gate().savingFileName.get(), "");
    EXPECT_FALSE(browser().showError) << browser().errorMessage.get();
    EXPECT_EQ(shown(), change.shownAfter);
    EXPECT_EQ(topUndoStep(), change.undoStepAfter.str());
    EXPECT_NE(readFile(image), before);
    EXPECT_TRUE(app.enablement().isEnabled(Action::newDirectory));
}

INSTANTIATE_TEST_SUITE_P(Changes, EveryChangeTest, ::testing::ValuesIn(savedChanges),
                         [](const auto& info) { return std::string(info.param.name); });

// Catches an editor that takes the text typed during its save for saved, that shuts its
// window before its save ended (the list then never shows the change, nor the user a
// failure), and a failed save that leaves the gate shut.
TEST_F(HeldSaveTest, TheTextEditorKeepsWhatWasTypedDuringItsSaveAndStaysOpenUntilItEnds) {
    select("A.TXT");
    browser().openTextEditor();
    const auto editor = browser().textEditorVM.get();
    editor->setText("changed");
    editor->save();
    EXPECT_TRUE(editor->isSaving);
    editor->setText("changed again");
    browser().requestCloseTextEditor();
    EXPECT_TRUE(browser().showTextEditor);

    executor.runHeld();
    EXPECT_FALSE(editor->isSaving);
    EXPECT_TRUE(editor->showSaveSuccess);
    EXPECT_TRUE(editor->isModified);
    EXPECT_EQ(editor->originalText(), "changed");
    EXPECT_EQ(shown(), "A.TXT:7");

    setAtomicWriteFaultHook([](AtomicWriteStep) { return EIO; });
    editor->save();
    executor.runHeld();
    setAtomicWriteFaultHook({});
    EXPECT_TRUE(editor->errorMessage.get().starts_with(texts::textSaveFailed("")))
        << editor->errorMessage.get();
    EXPECT_TRUE(editor->isModified);
    EXPECT_FALSE(app.gate().isBusy);
    EXPECT_EQ(shown(), "A.TXT:7");
    browser().requestCloseTextEditor();
    editor->discard.confirm();
    EXPECT_FALSE(browser().showTextEditor);
}

// Catches the sector editor reading another sector while its save writes the volume, and
// shutting (so no reopen follows a change of the boot parameters) before the save ended.
TEST_F(HeldSaveTest, TheSectorEditorStaysOnItsSectorUntilItsSaveEnds) {
    SectorEditorViewModel& sectors = rootDirectorySector();
    const Bytes original = sectors.loadedBytes();
    sectors.setByte(0, 'B');
    sectors.saveSector();
    sectors.setByte(1, 'X');
    sectors.showNext();
    app.requestCloseSectorEditor();
    EXPECT_EQ(sectors.currentLBA.get(), 19);
    EXPECT_TRUE(app.image().showSectorEditor);

    executor.runHeld();
    EXPECT_FALSE(sectors.isSaving);
    EXPECT_EQ(sectors.loadedBytes()[0], 'B');
    EXPECT_EQ(sectors.loadedBytes()[1], original[1]);
    EXPECT_TRUE(sectors.isModified);
    EXPECT_EQ(shown(), "B.TXT:5");
}

// The reopen that follows a change of the boot parameters runs in the background like any
// open; bytes typed into the sector editor meanwhile were thrown away without a question.
// Now the editor takes none until the new layout is read, and stays on its sector.
TEST_F(HeldSaveTest, TheSectorEditorTakesNoBytesWhileTheImageIsOpenedAgain) {
    app.openSectorEditor();
    SectorEditorViewModel& sectors = *app.sectorEditorVM.get();
    sectors.setByte(17, 112);
    sectors.setByte(18, 0);
    sectors.saveSector();
    // The save, its ending, and the reopen it starts, but not the reopen's ending.
    while (!app.image().isOpening) {
        ASSERT_TRUE(executor.step());
    }
    ASSERT_TRUE(executor.step());
    ASSERT_TRUE(app.image().isOpening);
    EXPECT_TRUE(sectors.isReadOnly);
    EXPECT_FALSE(sectors.typeHexDigit('5'));
    EXPECT_FALSE(sectors.isModified);
    executor.runHeld();
    EXPECT_FALSE(app.image().isOpening);
    EXPECT_EQ(app.sectorEditorVM.get().get(), &sectors);
    EXPECT_EQ(sectors.bpbFields.get()[4].value, "112");
    EXPECT_FALSE(sectors.isReadOnly);
    EXPECT_TRUE(sectors.typeHexDigit('5'));
    EXPECT_EQ(topUndoStep(), texts::undoSectorSave.str());
}

// The dialog of a conversion may be closed while it runs: its failure, and a stop that came
// too late to keep the file from being written, were shown in the closed dialog or nowhere.
TEST_F(HeldSaveTest, AConversionEndingAfterItsDialogClosedIsStillReported) {
    const auto target = dir / "copy.img";
    writeFile(target, bytesOf("my only copy"));
    const auto convertWithTheDialogClosed = [&](ExistingTarget existing) {
        app.image().showConvertDialog = true;
        app.image().convertImage(ConvertFormat::bin, target, existing);
        app.image().showConvertDialog = false;
    };
    convertWithTheDialogClosed(ExistingTarget::keep);
    executor.runHeld();
    EXPECT_TRUE(app.image().showErrorAlert);
    EXPECT_TRUE(app.image().errorMessage.get().starts_with(texts::convertFailed("")))
        << app.image().errorMessage.get();
    EXPECT_EQ(readFile(target), bytesOf("my only copy"));
    app.image().dismissErrorAlert();

    convertWithTheDialogClosed(ExistingTarget::replace);
    executor.runHeld();
    EXPECT_FALSE(app.image().showErrorAlert);
    ASSERT_FALSE(app.errors().toastMessages.get().empty());
    EXPECT_EQ(app.errors().toastMessages.get().back().message, "変換が完了しました: copy.img");

    // The stop arrives after the file was written, before the ending is heard.
    convertWithTheDialogClosed(ExistingTarget::replace);
    ASSERT_TRUE(executor.step());
    app.image().cancelConversion();
    executor.runHeld();
    EXPECT_EQ(app.image().errorMessage.get(),
              "中止が間に合わず、変換したファイルは書き込まれました: copy.img");
    EXPECT_EQ(readFile(target), readFile(image));
}

// A manual-parameter open asked for while an ordinary open still ran was ignored.
TEST_F(HeldSaveTest, ALaterOpenRequestWinsOverTheOneStillRunning) {
    const auto other = dir / "other.img";
    writeImageFile(other,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::kb640, {}}));
    app.image().openDiskImage(other);
    ASSERT_TRUE(app.image().isOpening);
    app.image().openWithManualParams(image);
    executor.runHeld();
    EXPECT_FALSE(app.image().isOpening);
    EXPECT_FALSE(app.gate().isBusy);
    EXPECT_EQ(app.image().diskImageService().currentImage()->layout().url, image);
    EXPECT_EQ(shown(), "A.TXT:5");
}

// A file exported through the save dialog was read out on the main thread, the window
// frozen meanwhile and nothing said when it was done.
TEST_F(HeldSaveTest, ASingleFileExportRunsInTheBackgroundAndSaysWhenItIsDone) {
    const auto out = host / "out.txt";
    browser().exportFileAs(browser().entries.get().front(), out);
    EXPECT_TRUE(browser().isOperationInProgress);
    EXPECT_EQ(browser().operationFileName.get(), "A.TXT");
    EXPECT_FALSE(std::filesystem::exists(out));
    executor.runHeld();
    EXPECT_FALSE(browser().isOperationInProgress);
    EXPECT_FALSE(app.gate().isBusy);
    EXPECT_EQ(readFile(out), bytesOf("first"));
    ASSERT_FALSE(app.errors().toastMessages.get().empty());
    EXPECT_EQ(app.errors().toastMessages.get().back().message,
              "エクスポートが完了しました: out.txt");
}

// A paste shows its progress from its start, and a folder pasted as one item names the
// files inside it as the copy reaches them (it named only the folder, once it was done).
TEST_F(HeldSaveTest, APasteShowsProgressFromItsStartAndNamesTheFilesInsideAFolder) {
    const auto enter = [this](const std::string& name) {
        for (const FileEntry& e : browser().entries.get()) {
            if (e.directoryEntry.displayName() == name) {
                browser().navigateToDirectory(e);
                return;
            }
        }
        FAIL() << name;
    };
    makeDirectory("TREE");
    executor.runHeld();
    makeDirectory("DEST");
    executor.runHeld();
    enter("TREE");
    browser().importFiles({hostFile("IN1.TXT", "1"), hostFile("IN2.TXT", "2")});
    executor.runHeld();
    browser().navigateUp();
    select("TREE");
    browser().copySelectedEntries();
    enter("DEST");
    browser().pasteEntries();
    EXPECT_TRUE(browser().isOperationInProgress);
    std::vector<std::string> names;
    while (executor.step()) {
        if (browser().isOperationInProgress &&
            (names.empty() || names.back() != browser().operationFileName.get())) {
            names.push_back(browser().operationFileName.get());
        }
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "IN1.TXT"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "IN2.TXT"), names.end());
    EXPECT_EQ(shown(), "TREE:0");
    EXPECT_FALSE(browser().isOperationInProgress);
}

} // namespace
} // namespace tamberlane::test
