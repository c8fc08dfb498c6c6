#include "tests/app/state/StateTestSupport.h"

#include "app/state/StateTexts.h"
#include "engine/base/HexText.h"
#include "engine/fat/DirectoryReader.h"
#include "tests/support/HeapUsage.h"

namespace tamberlane::test {
namespace {

class EditorsTest : public OpenImageTest {
  protected:
    std::shared_ptr<DiskImage> current() { return app.image().diskImageService().currentImage(); }
    Bytes volumeFile(const std::string& name) {
        return DirectoryReader::readFile(*current(), listed(name).directoryEntry);
    }
    void importBytes(const std::string& name, ByteView bytes) {
        const auto path = host / name;
        writeFile(path, bytes);
        browser().importFiles({path});
        ASSERT_FALSE(browser().showError)
            << browser().errorMessage.get() << " / " << app.image().errorMessage.get();
    }
    std::shared_ptr<TextEditorViewModel> openText(const std::string& name) {
        select({name});
        browser().openTextEditor();
        return browser().textEditorVM.get();
    }
    SectorEditorViewModel& openSectors() {
        app.openSectorEditor();
        return *app.sectorEditorVM.get();
    }
};

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

TEST_F(EditorsTest, ShiftJISTextRoundTripsAndEverySaveUpdatesEntryListingAndCapacity) {
    // Kanji, half-width katakana, NEC row-13 specials (circled 1, Roman I, milli) and a
    // line that ends in a lone CR.
    const Bytes original = concat({bytesOf("\x8A\xBF\x8E\x9A\r\n"), bytesOf("\xB1\xB2\xB3\r\n"),
                                   bytesOf("\x87\x40\x87\x54\x87\x5F\r"), bytesOf("end")});
    importBytes("MEMO.TXT", original);
    const auto editor = openText("MEMO.TXT");
    ASSERT_TRUE(browser().showTextEditor);
    EXPECT_FALSE(editor->isReadOnly);
    EXPECT_EQ(editor->text.get(), "漢字\nｱｲｳ\n①Ⅰ㍉\nend");

    // Unchanged text saves to the same bytes, except that the lone CR gains its LF.
    editor->setText(editor->text.get() + "\n");
    editor->setText(editor->originalText());
    EXPECT_FALSE(editor->isModified);
    const std::int64_t freeBefore = app.image().freeSpace;
    editor->setText(editor->text.get() + std::string(3000, 'x'));
    editor->save();
    ASSERT_FALSE(editor->showError) << editor->errorMessage.get();
    EXPECT_TRUE(editor->showSaveSuccess);
    EXPECT_FALSE(editor->isModified);
    const Bytes expected = concat({bytesOf("\x8A\xBF\x8E\x9A\r\n\xB1\xB2\xB3\r\n"),
                                   bytesOf("\x87\x40\x87\x54\x87\x5F\r\nend"), Bytes(3000, 'x')});
    EXPECT_EQ(volumeFile("MEMO.TXT"), expected);
    EXPECT_EQ(listed("MEMO.TXT").directoryEntry.size, expected.size());
    EXPECT_LT(app.image().freeSpace, freeBefore);
    EXPECT_EQ(app.undoRedo().undoStack().back().operationName, texts::undoTextSave.str());

    // The editor follows its entry: a second save in the same session lands, and what
    // is on disk is what a reopen shows.
    editor->setText("short");
    editor->save();
    ASSERT_FALSE(editor->showError) << editor->errorMessage.get();
    app.image().openDiskImage(image);
    EXPECT_EQ(volumeFile("MEMO.TXT"), bytesOf("short"));
    EXPECT_EQ(listedNames(), std::vector<std::string>{"MEMO.TXT"});
}

TEST_F(EditorsTest, TextThatASaveWouldChangeOpensReadOnly) {
    // An invalid lead byte pair, and an NEC duplicate (row 13 "≒") that Shift-JIS
    // writes as another code.
    importBytes("BAD.TXT", bytesOf("abc\x81\x20xyz\r\n"));
    importBytes("DUP.TXT", bytesOf("a\x87\x90z"));
    importBytes("GOOD.TXT", bytesOf("a\x81\xE0z"));
    for (const char* name : {"BAD.TXT", "DUP.TXT"}) {
        const Bytes before = readFile(image);
        const auto editor = openText(name);
        ASSERT_TRUE(editor) << name;
        EXPECT_TRUE(editor->isReadOnly) << name;
        EXPECT_EQ(editor->readOnlyReason.get(), texts::textNotShiftJIS.str());
        editor->setText("replaced");
        editor->save();
        EXPECT_EQ(readFile(image), before) << name;
        editor->setText(editor->originalText());
        browser().requestCloseTextEditor();
    }
    EXPECT_FALSE(openText("GOOD.TXT")->isReadOnly);
}

TEST_F(EditorsTest, AFailedTextSaveKeepsTheOldFileInMemoryAndOnDisk) {
    importBytes("A.TXT", bytesOf("old contents"));
    // Leave less room than the new text needs.
    const std::int64_t room = app.image().freeSpace;
    importBytes("FILL.BIN", Bytes(static_cast<std::size_t>(room - 512), 0x5A));
    const Bytes before = readFile(image);
    const auto editor = openText("A.TXT");
    editor->setText(std::string(4096, 'n'));
    editor->save();
    EXPECT_TRUE(editor->showError);
    EXPECT_EQ(editor->errorMessage.get().rfind(texts::textSaveFailed(""), 0), 0u);
    EXPECT_TRUE(editor->isModified);
    EXPECT_EQ(readFile(image), before);
    EXPECT_EQ(volumeFile("A.TXT"), bytesOf("old contents"));
}

TEST_F(EditorsTest, UnsavedEditsAreOnlyThrownAwayWhenTheUserAgrees) {
    importBytes("A.TXT", bytesOf("one"));
    importBytes("B.TXT", bytesOf("two"));
    auto editor = openText("A.TXT");
    editor->setText("changed");
    browser().requestCloseTextEditor();
    EXPECT_TRUE(editor->discard.showDiscardConfirmation);
    editor->discard.cancel();
    EXPECT_TRUE(browser().showTextEditor);
    EXPECT_EQ(editor->text.get(), "changed");
    // Opening another file asks as well.
    EXPECT_EQ(openText("B.TXT"), editor);
    EXPECT_TRUE(editor->discard.showDiscardConfirmation);
    editor->discard.confirm();
    EXPECT_EQ(browser().textEditorVM.get()->text.get(), "two");

    SectorEditorViewModel& sectors = openSectors();
    ASSERT_TRUE(sectors.typeHexDigit('7'));
    EXPECT_TRUE(app.hasUnsavedEdits());
    sectors.showNext();
    EXPECT_EQ(sectors.currentLBA.get(), 0);
    EXPECT_TRUE(sectors.discard.showDiscardConfirmation);
    sectors.discard.confirm();
    EXPECT_EQ(sectors.currentLBA.get(), 1);
    EXPECT_FALSE(sectors.isModified);
}

TEST_F(EditorsTest, WindowsOpenedOnOneImageNeverWriteIntoAnother) {
    importBytes("A.TXT", bytesOf("text of a"));
    const auto textEditor = openText("A.TXT");
    openSectors();
    const auto sectorEditor = app.sectorEditorVM.get();
    browser().openDeletedFiles();
    const auto other = newImage("other.img");
    const Bytes aBefore = readFile(image);
    const Bytes bBefore = readFile(other);

    app.image().openDiskImage(other);
    EXPECT_FALSE(browser().showTextEditor);
    EXPECT_FALSE(browser().showDeletedFiles);
    EXPECT_FALSE(app.image().showSectorEditor);
    EXPECT_EQ(app.sectorEditorVM.get(), nullptr);

    // Windows still on screen for a moment (or a stale reference) must refuse.
    textEditor->setText("overwritten");
    textEditor->save();
    EXPECT_EQ(textEditor->errorMessage.get(), texts::noImageOpen.str());
    sectorEditor->typeHexDigit('0');
    sectorEditor->saveSector();
    EXPECT_EQ(sectorEditor->errorMessage.get(), texts::noImageOpen.str());
    EXPECT_EQ(readFile(image), aBefore);
    EXPECT_EQ(readFile(other), bBefore);

    app.image().closeImage();
    sectorEditor->saveSector();
    EXPECT_EQ(readFile(other), bBefore);
}

TEST_F(EditorsTest, SectorNavigationRangeAndTheBootParameterTable) {
    SectorEditorViewModel& sectors = openSectors();
    EXPECT_EQ(sectors.totalSectors.get(), 2880);
    const auto fields = sectors.bpbFields.get();
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[6].label, "メディアID");
    EXPECT_EQ(fields[6].value, "0xF0");
    EXPECT_EQ(fields[0].value, "512");

    sectors.showPrevious();
    EXPECT_EQ(sectors.currentLBA.get(), 0);
    for (const char* text : {"12a", "", " 5"}) {
        sectors.showError = false;
        EXPECT_FALSE(sectors.validateLBA(text)) << text;
        EXPECT_EQ(sectors.errorMessage.get(), "有効な数値を入力してください");
    }
    for (const char* text : {"2880", "-1"}) {
        EXPECT_FALSE(sectors.validateLBA(text));
        EXPECT_EQ(sectors.errorMessage.get(), "LBA番号が範囲外です（有効範囲: 0〜2879）");
    }
    sectors.lbaInput = "2879";
    sectors.goToInput();
    EXPECT_EQ(sectors.currentLBA.get(), 2879);
    EXPECT_TRUE(sectors.bpbFields.get().empty());
    sectors.showNext();
    EXPECT_EQ(sectors.currentLBA.get(), 2879);
}

TEST_F(EditorsTest, ASavedDirectorySectorIsListedAndUndoneLikeAnyChange) {
    importBytes("GONE.TXT", bytesOf("data"));
    SectorEditorViewModel& sectors = openSectors();
    const std::int64_t rootStart = current()->addressing().rootDirectoryStartSector();
    sectors.lbaInput = std::to_string(rootStart);
    sectors.goToInput();
    ASSERT_EQ(sectors.hexLines.get()[0].ascii.substr(0, 8), "GONE    ");
    // Typing "E5" over the first byte marks the entry deleted.
    ASSERT_TRUE(sectors.typeHexDigit('e'));
    ASSERT_TRUE(sectors.typeHexDigit('5'));
    EXPECT_FALSE(sectors.typeHexDigit('g'));
    EXPECT_EQ(sectors.hexLines.get()[0].hexDump.substr(0, 2), "E5");
    EXPECT_TRUE(sectors.isModified);
    sectors.saveSector();
    ASSERT_FALSE(sectors.showError) << sectors.errorMessage.get();
    EXPECT_FALSE(sectors.isModified);
    EXPECT_TRUE(listedNames().empty());
    EXPECT_EQ(app.undoRedo().undoStack().back().operationName, texts::undoSectorSave.str());

    browser().undo();
    EXPECT_EQ(listedNames(), std::vector<std::string>{"GONE.TXT"});
    EXPECT_EQ(mtoolsRead(image, "::GONE.TXT"), bytesOf("data"));
}

// The boot-parameter edit is one more change: the reopen it needs keeps the history, so it
// can be taken back; a reopen that fails leaves the old layout current but refused.
TEST_F(EditorsTest, ABootParameterEditStaysUndoableAndAFailedReopenLeavesTheImageRefused) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mkfs.fat or mtools missing";
    }
    const Bytes original = readFile(image);
    SectorEditorViewModel& sectors = openSectors();
    sectors.setByte(17, 112);
    sectors.setByte(18, 0);
    sectors.saveSector();
    ASSERT_EQ(current()->layout().bpb.rootEntryCount, 112);
    EXPECT_TRUE(app.image().showSectorEditor);
    EXPECT_EQ(app.sectorEditorVM.get()->bpbFields.get()[4].value, "112");
    // What is written next goes where the new parameters put it.
    importBytes("AFTER.BIN", patternBytes(20000));
    EXPECT_TRUE(fsckAccepts(image));
    EXPECT_EQ(mtoolsRead(image, "::AFTER.BIN"), patternBytes(20000));
    browser().undo();
    ASSERT_TRUE(browser().canUndo());
    browser().undo();
    EXPECT_EQ(current()->layout().bpb.rootEntryCount, 224);
    EXPECT_EQ(readFile(image), original);
    EXPECT_TRUE(browser().canRedo());
    EXPECT_FALSE(app.image().isReadOnly);

    // No sector size: no open reads the volume any more.
    SectorEditorViewModel& again = *app.sectorEditorVM.get();
    again.setByte(11, 0);
    again.setByte(12, 0);
    again.saveSector();
    ASSERT_FALSE(again.showError) << again.errorMessage.get();
    const Bytes edited = readFile(image);
    ASSERT_NE(edited, original);
    EXPECT_TRUE(app.image().isImageOpen);
    EXPECT_TRUE(app.image().isReadOnly);
    EXPECT_EQ(
        app.image().volumeProblem.get(),
        std::optional<std::string>("このボリュームは変更できません: ブートセクタのパラメータが"
                                   "変更されました。開き直すまで変更できません"));
    EXPECT_TRUE(again.isReadOnly);
    makeDirectory("LOST");
    EXPECT_EQ(readFile(image), edited);

    browser().undo();
    EXPECT_EQ(readFile(image), original);
    EXPECT_FALSE(app.image().isReadOnly);
    EXPECT_FALSE(app.image().volumeProblem.get().has_value());
    EXPECT_FALSE(again.isReadOnly);
    makeDirectory("KEPT");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"KEPT"});
    EXPECT_TRUE(fsckAccepts(image));
}

// Only the first FAT copy is read, and the next change writes it into every copy: an edit of
// the second copy was overwritten by it, and one of the first copy overwrote the second. An
// edited copy makes the volume refuse changes, and the editors say so, until undone.
TEST_F(EditorsTest, AnEditedFATCopyRefusesChangesUntilTheEditIsUndone) {
    importBytes("KEEP.TXT", bytesOf("keep"));
    const BIOSParameterBlock bpb = current()->layout().bpb;
    for (const int copy : {0, 1}) {
        SCOPED_TRACE(copy);
        SectorEditorViewModel& sectors = openSectors();
        sectors.lbaInput = std::to_string(bpb.reservedSectors + copy * bpb.sectorsPerFAT);
        sectors.goToInput();
        // KEEP.TXT's cluster 2 now links to 0xF00, past the last cluster.
        sectors.setByte(3, 0x00);
        sectors.setByte(4, static_cast<std::uint8_t>(sectors.sectorData.get()[4] | 0x0F));
        sectors.saveSector();
        ASSERT_FALSE(sectors.showError) << sectors.errorMessage.get();
        const Bytes edited = readFile(image);
        EXPECT_TRUE(app.image().isReadOnly);
        EXPECT_EQ(app.image().volumeProblem.get(),
                  std::optional<std::string>(
                      "このボリュームは変更できません: FATのコピーが一致しません"));
        EXPECT_TRUE(sectors.isReadOnly);
        EXPECT_FALSE(sectors.typeHexDigit('1'));
        writeFile(host / "MORE.TXT", bytesOf("more"));
        browser().importFiles({host / "MORE.TXT"});
        EXPECT_EQ(readFile(image), edited);

        // What the first copy says is what is read.
        select({"KEEP.TXT"});
        browser().openTextEditor();
        if (copy == 0) {
            EXPECT_FALSE(browser().showTextEditor);
            EXPECT_EQ(browser().errorMessage.get().rfind(texts::fileReadFailed(""), 0), 0u);
            // The hex viewer says so in its own window.
            browser().showError = false;
            browser().openHexViewer();
            EXPECT_FALSE(browser().showError);
            ASSERT_TRUE(browser().showHexViewer);
            EXPECT_TRUE(browser().hexViewerVM.get()->showError);
            EXPECT_FALSE(browser().hexViewerVM.get()->errorMessage.get().empty());
            browser().closeHexViewer();
        } else {
            ASSERT_TRUE(browser().showTextEditor);
            EXPECT_TRUE(browser().textEditorVM.get()->isReadOnly);
        }

        browser().undo();
        EXPECT_FALSE(app.image().isReadOnly);
        EXPECT_FALSE(app.image().volumeProblem.get().has_value());
        EXPECT_FALSE(sectors.isReadOnly);
        if (copy == 1) {
            EXPECT_FALSE(browser().textEditorVM.get()->isReadOnly);
            browser().requestCloseTextEditor();
        }
        app.requestCloseSectorEditor();
    }
    EXPECT_EQ(mtoolsRead(image, "::KEEP.TXT"), bytesOf("keep"));
}

TEST_F(EditorsTest, ASectorTheImageDoesNotStoreIsNotReportedSaved) {
    // A D88 whose last track has no data: its sectors read as zeros, and a save has
    // nowhere to put them.
    const auto d88 = dir / "missing.d88";
    Bytes file = createNewImage(NewImageParameters{NewImageFormat::d88, DiskSize::mb1_44, {}});
    writeU32LE(file, 0x20 + 4 * 159, 0);
    writeImageFile(d88, file);
    app.image().openDiskImage(d88);
    ASSERT_TRUE(app.image().isImageOpen) << app.image().errorMessage.get();
    SectorEditorViewModel& sectors = openSectors();
    sectors.lbaInput = "2879";
    sectors.goToInput();
    ASSERT_EQ(sectors.currentLBA.get(), 2879);
    EXPECT_EQ(sectors.sectorData.get(), Bytes(512, 0));
    sectors.typeHexDigit('1');
    sectors.saveSector();
    EXPECT_EQ(sectors.errorMessage.get().rfind(texts::sectorSaveFailed(""), 0), 0u);
    EXPECT_TRUE(sectors.isModified);
    EXPECT_EQ(readFile(d88), file);
}

TEST_F(EditorsTest, HexViewerPagesASixteenMebibyteFileAndBinaryFilesOfferIt) {
    const auto big = dir / "big.bin";
    writeImageFile(big,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb40, {}}));
    app.image().openDiskImage(big);
    ASSERT_EQ(current()->layout().url, big);
    Bytes data = patternBytes(16 << 20);
    data[100] = 0x00;
    importBytes("BIG.BIN", data);
    select({"BIG.BIN"});
    browser().openTextEditor();
    EXPECT_TRUE(browser().showBinaryAlert);
    EXPECT_FALSE(browser().showTextEditor);

    browser().openHexViewer();
    const auto viewer = browser().hexViewerVM.get();
    ASSERT_TRUE(browser().showHexViewer);
    EXPECT_EQ(viewer->totalBytes.get(), 16 << 20);
    EXPECT_EQ(viewer->rowCount.get(), 65536);
    EXPECT_EQ(viewer->rowAt(65536), HexLine{});
    for (int step = 1; step < 16; ++step) {
        viewer->loadMore();
    }
    ASSERT_EQ(viewer->rowCount.get(), 1048576);
    EXPECT_EQ(viewer->rowAt(1048575).address, "00FFFFF0");
    EXPECT_EQ(viewer->rowAt(1048575).id, 1048575);
    viewer->loadMore();
    EXPECT_EQ(viewer->rowCount.get(), 1048576);
}

TEST_F(EditorsTest, HexViewerHoldsAboutTheFilesSizeAndFormatsTheRowAskedFor) {
    // Eleven bytes short of a mebibyte: the last row holds five.
    const std::size_t size = (std::size_t{1} << 20) - 11;
    const Bytes data = patternBytes(size);
    importBytes("ONE.BIN", data);
    select({"ONE.BIN"});
    // The first open reads the image's pages in; the second shows what a viewer keeps.
    browser().openHexViewer();
    browser().closeHexViewer();
    const std::int64_t before = heapBytesInUse();
    browser().openHexViewer();
    const std::int64_t held = heapBytesInUse() - before;
    const auto viewer = browser().hexViewerVM.get();
    ASSERT_TRUE(browser().showHexViewer);
    EXPECT_LT(held, static_cast<std::int64_t>(size) * 5 / 4);
    ASSERT_EQ(viewer->rowCount.get(), 65536);

    struct Row {
        std::int64_t row;
        const char* address;
    };
    for (const Row& row : {Row{0, "00000000"}, Row{32769, "00080010"}, Row{65535, "000FFFF0"}}) {
        const HexLine line = viewer->rowAt(row.row);
        const auto start = static_cast<std::size_t>(row.row) * 16;
        const std::size_t count = std::min<std::size_t>(16, size - start);
        EXPECT_EQ(line.id, row.row);
        EXPECT_EQ(line.address, row.address);
        std::string hex;
        for (std::size_t i = 0; i < 16; ++i) {
            hex += (i > 0 ? " " : "") + (i < count ? hexDigits(data[start + i]) : "  ");
        }
        EXPECT_EQ(line.hexDump, hex) << row.row;
        EXPECT_EQ(line.ascii.size(), count) << row.row;
    }
}

} // namespace
} // namespace tamberlane::test
