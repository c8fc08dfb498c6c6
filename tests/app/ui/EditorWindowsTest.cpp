#include "app/state/SectorEditorViewModel.h"
#include "app/state/TextEditorViewModel.h"
#include "app/ui/HexViewerWindow.h"
#include "app/ui/SectorEditorWindow.h"
#include "app/ui/TextEditorWindow.h"
#include "tests/app/ui/MainWindowFixture.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>

namespace tamberlane::ui {
namespace {

class EditorWindowsTest : public MainWindowTest {
  protected:
    void importAndSelect(const std::string& name, ByteView bytes) {
        const auto path = host.path() / name;
        writeFile(path, bytes);
        state().browser().importFiles({path});
        clickRow(name);
    }
    TextEditorWindow* openTextEditor() {
        window().action(Action::textEditor)->trigger();
        return qobject_cast<TextEditorWindow*>(window().raisedDialog("textEditor"));
    }
};

TEST_F(EditorWindowsTest,
       EscapeOverUnsavedTextAsksAndCancelKeepsTheEditsWhileAnUneditedEditorJustCloses) {
    openNewImage("disk.img");
    importAndSelect("NOTE.TXT", bytesOf("line one\r\n"));
    TextEditorWindow* editor = openTextEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor->textArea(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(state().browser().showTextEditor);
    EXPECT_EQ(window().raisedDialog("textEditor"), nullptr);

    editor = openTextEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(editor->saveButton()->isEnabled());
    QTest::keyClicks(editor->textArea(), "new ");
    EXPECT_TRUE(editor->saveButton()->isEnabled());
    QTest::keyClick(editor->textArea(), Qt::Key_Escape);
    QMessageBox* question = messageBox(editor, "discardQuestion");
    ASSERT_NE(question, nullptr);
    QTest::keyClick(question, Qt::Key_Escape);
    settle();
    ASSERT_EQ(window().raisedDialog("textEditor"), editor);
    EXPECT_EQ(editor->textArea()->toPlainText(), QStringLiteral("new line one\n"));
    EXPECT_TRUE(state().browser().textEditorVM.get()->isModified.get());

    QTest::keyClick(editor, Qt::Key_Escape);
    button(messageBox(editor, "discardQuestion"), "破棄")->click();
    settle();
    EXPECT_FALSE(state().browser().showTextEditor);
    EXPECT_EQ(window().raisedDialog("textEditor"), nullptr);
}

// Catches a save that writes something else than the window shows, and an edit after a
// save that the editor no longer counts (the window would then close without asking).
TEST_F(EditorWindowsTest, SaveWritesWhatTheWindowShowsAndTheNextKeystrokeIsAnEditAgain) {
    const auto image = openNewImage("disk.img");
    importAndSelect("NOTE.TXT", bytesOf("line one\r\n"));
    TextEditorWindow* editor = openTextEditor();
    ASSERT_NE(editor, nullptr);
    TextEditorViewModel& model = *state().browser().textEditorVM.get();
    QTest::keyClicks(editor->textArea(), "new ");
    EXPECT_TRUE(model.isModified.get());
    editor->saveButton()->click();
    settle();
    EXPECT_FALSE(model.isModified.get());
    EXPECT_FALSE(editor->saveButton()->isEnabled());
    const std::string file = [&] {
        const Bytes bytes = test::readFile(image);
        return std::string(bytes.begin(), bytes.end());
    }();
    EXPECT_NE(file.find("new line one\r\n"), std::string::npos);

    QTest::keyClicks(editor->textArea(), "x");
    EXPECT_TRUE(model.isModified.get());
    EXPECT_TRUE(editor->saveButton()->isEnabled());
    // Taking the keystroke back returns to the text as saved.
    QTest::keyClick(editor->textArea(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(model.isModified.get());
}

TEST_F(EditorWindowsTest, ABinaryFileOffersTheHexViewerWhichReadsOnWhenScrolledToItsEnd) {
    openNewImage("disk.img");
    const std::size_t size = 1'200'000;
    importAndSelect("BIG.BIN", test::patternBytes(size));
    openTextEditor();
    QMessageBox* alert = messageBox(&window(), "binaryAlert");
    ASSERT_NE(alert, nullptr);
    button(alert, "HEXビューアで開く")->click();
    settle();
    auto* viewer = qobject_cast<HexViewerWindow*>(window().raisedDialog("hexViewer"));
    ASSERT_NE(viewer, nullptr);
    EXPECT_FALSE(state().browser().showBinaryAlert);

    QTableView* lines = viewer->lineView();
    EXPECT_EQ(lines->model()->rowCount(), 65'536);
    lines->scrollToBottom();
    settle();
    EXPECT_EQ(lines->model()->rowCount(), 75'000);
    EXPECT_EQ(lines->model()->index(74'999, 0).data().toString(), "00124F70");
    EXPECT_EQ(state().browser().hexViewerVM.get()->loadedOffset(), static_cast<std::int64_t>(size));
    // The rows already read stay where they were: the view appends, it does not start over.
    EXPECT_GT(lines->verticalScrollBar()->value(), 0);
}

TEST_F(EditorWindowsTest, HexDigitsTypedOverTheSectorDumpChangeItsBytesAndSaveWritesThemToTheFile) {
    const auto image = openNewImage("disk.img");
    window().action(Action::sectorEditor)->trigger();
    auto* editor = qobject_cast<SectorEditorWindow*>(window().raisedDialog("sectorEditor"));
    ASSERT_NE(editor, nullptr);
    SectorEditorViewModel& sector = *state().sectorEditorVM.get();

    editor->lbaField()->selectAll();
    QTest::keyClicks(editor->lbaField(), "2879");
    QTest::keyClick(editor->lbaField(), Qt::Key_Return);
    ASSERT_EQ(sector.currentLBA.get(), 2879);
    EXPECT_FALSE(editor->saveButton()->isEnabled());

    QTest::keyClick(editor->dump(), Qt::Key_Right);
    QTest::keyClick(editor->dump(), Qt::Key_Right);
    QTest::keyClicks(editor->dump(), "4a2G");
    EXPECT_EQ(sector.sectorData.get()[1], 0x4A);
    EXPECT_EQ(sector.sectorData.get()[2] >> 4, 0x2) << "G is no hex digit and changes nothing";
    EXPECT_TRUE(editor->saveButton()->isEnabled());

    editor->saveButton()->click();
    settle();
    const Bytes file = test::readFile(image);
    ASSERT_GE(file.size(), 2880U * 512U);
    EXPECT_EQ(file[2879 * 512 + 1], 0x4A);
    EXPECT_FALSE(editor->saveButton()->isEnabled());
}

TEST_F(EditorWindowsTest, QuittingOrOpeningAnotherImageOverUnsavedEditsAsksFirst) {
    openNewImage("disk.img");
    importAndSelect("NOTE.TXT", bytesOf("text\r\n"));
    TextEditorWindow* editor = openTextEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor->textArea(), "more ");

    const auto other = images.path() / "other.img";
    writeImageFile(other,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    app->openFiles({QString::fromStdString(other.string())});
    button(messageBox(&window(), "discardQuestion"), "キャンセル")->click();
    settle();
    EXPECT_EQ(state().image().windowTitle.get(), "disk.img");
    EXPECT_EQ(window().raisedDialog("textEditor"), editor);

    // As the end of the session closes it: the window's own close button is held back by
    // the editor in front of it.
    const auto closeWindow = [this] {
        QCloseEvent event;
        QApplication::sendEvent(&window(), &event);
    };
    closeWindow();
    button(messageBox(&window(), "discardQuestion"), "キャンセル")->click();
    settle();
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(window().raisedDialog("textEditor"), editor);

    closeWindow();
    button(messageBox(&window(), "discardQuestion"), "破棄")->click();
    settle();
    EXPECT_FALSE(window().isVisible());
}

} // namespace
} // namespace tamberlane::ui
