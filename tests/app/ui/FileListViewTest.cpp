// Drags out of the file list, on an executor the test steps by hand.
#include "app/ui/DragOutMimeData.h"
#include "app/ui/FileListModel.h"
#include "tests/app/state/SteppingExecutor.h"
#include "tests/app/ui/MainWindowFixture.h"
#include "tests/support/FatTools.h"

#include <QLabel>
#include <QTimer>

#include <optional>

namespace tamberlane::ui {
namespace {

namespace fs = std::filesystem;

// Catches a drop target handed files that are not written yet, our own window waiting on
// its own drag, and drag folders left behind when the application goes.
TEST(FileListDragTest, ATargetGetsTheFilesOnceTheBackgroundCopyWroteThemAndTheFolderGoesLast) {
    test::SteppingExecutor executor;
    TempDir images;
    TempDir host;
    const auto image = images.path() / "disk.img";
    writeImageFile(image,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    writeFile(host.path() / "A.TXT", bytesOf("alpha"));
    std::optional<TamberlaneApp> app(std::in_place, executor);
    app->openFiles(QStringList{QString::fromStdString(image.string())});
    executor.runHeld();
    FileBrowserViewModel& browser = app->state().browser();
    browser.importFiles({host.path() / "A.TXT"});
    executor.runHeld();
    ASSERT_EQ(browser.entries.get().size(), 1u);
    browser.setSelection({browser.entries.get().front().id});

    std::unique_ptr<QMimeData> data(app->window().fileList()->dragData());
    auto* out = qobject_cast<DragOutMimeData*>(data.get());
    ASSERT_NE(out, nullptr);
    const fs::path folder = out->copies().folder;
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_TRUE(browser.isOperationInProgress);
    EXPECT_EQ(dropMeaning(*data, DropTarget::fileList, true), DropMeaning::nothing);
    EXPECT_FALSE(out->copies().finished);

    // The copy ends while the target waits for the list of files.
    QTimer::singleShot(0, [&executor] { executor.runHeld(); });
    const QList<QUrl> urls = data->urls();
    EXPECT_TRUE(out->copies().finished);
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(test::readFile(hostPath(urls.front())), bytesOf("alpha"));
    EXPECT_EQ(hostPath(urls.front()).parent_path(), folder);
    EXPECT_FALSE(browser.isOperationInProgress);

    data.reset();
    app.reset();
    EXPECT_FALSE(fs::exists(folder));
}

// Keys go where a user's keys go: to the widget that has the focus.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr) << "nothing has the focus";
    QTest::keyClick(focused, static_cast<Qt::Key>(key), modifiers);
    QApplication::processEvents();
}

std::vector<std::string> selectedNames(FileBrowserViewModel& browser) {
    return displayNames(browser.selectedFileEntries());
}

// Catches a list that does not take the keys at start, or whose first Down lands on the
// second row because Qt made the first one current on focus.
TEST_F(MainWindowTest, AFreshWindowDeletesTheFirstFileByKeysAndCtrlZBringsItBackOnDisk) {
    if (!test::fatToolsAvailable()) {
        GTEST_SKIP() << "mtools missing";
    }
    // Files on the disk before the window opens it, as a user's disks are.
    const auto image = images.path() / "disk.img";
    writeImageFile(image,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    test::mtoolsPut(image, hostFile("A.TXT"), "::A.TXT");
    test::mtoolsPut(image, hostFile("B.TXT"), "::B.TXT");
    app->openFiles(QStringList{QString::fromStdString(image.string())});
    ASSERT_EQ(listedNames(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
    ASSERT_TRUE(test::mtoolsRead(image, "::A.TXT").has_value());
    EXPECT_EQ(QApplication::focusWidget(), window().fileList());
    // The user looks elsewhere and comes back: the list gets the focus again.
    QApplication::setActiveWindow(nullptr);
    settle();
    QApplication::setActiveWindow(&window());
    settle();
    EXPECT_EQ(QApplication::focusWidget(), window().fileList());
    EXPECT_FALSE(window().fileList()->currentIndex().isValid());

    press(Qt::Key_Down);
    EXPECT_EQ(selectedNames(state().browser()), std::vector<std::string>{"A.TXT"});
    // Escape keeps everything; the question says the delete can be taken back.
    press(Qt::Key_Delete);
    ASSERT_NE(window().raisedDialog("deleteConfirmation"), nullptr);
    press(Qt::Key_Escape);
    EXPECT_EQ(window().raisedDialog("deleteConfirmation"), nullptr);
    EXPECT_EQ(listedNames().size(), 2U);
    press(Qt::Key_Delete);
    QDialog* question = window().raisedDialog("deleteConfirmation");
    ASSERT_NE(question, nullptr);
    QStringList said;
    for (const QLabel* each : question->findChildren<QLabel*>()) {
        said << each->text();
    }
    EXPECT_TRUE(said.contains(QStringLiteral("元に戻す (Ctrl+Z) で取り消せます。")))
        << "it said it cannot be undone";
    press(Qt::Key_Return);
    EXPECT_EQ(listedNames(), std::vector<std::string>{"B.TXT"});
    EXPECT_FALSE(test::mtoolsRead(image, "::A.TXT").has_value());
    EXPECT_FALSE(window().action(Action::redo)->isEnabled());

    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
    EXPECT_EQ(test::mtoolsRead(image, "::A.TXT"), bytesOf("host file\r\n"));
    EXPECT_TRUE(window().action(Action::redo)->isEnabled());
}

// Catches Home and End that stay in the row, type-ahead that searched the column clicked
// last, and going up that left the cursor nowhere.
TEST_F(MainWindowTest, HomeEndTypeAheadAndGoingUpSelectWhatAFileManagerWould) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.importFiles({hostFile("ALPHA.TXT"), hostFile("BETA.TXT"), hostFile("GAMMA.TXT")});
    window().action(Action::newDirectory)->trigger();
    settle();
    QTest::keyClicks(QApplication::focusWidget(), "DELTA");
    press(Qt::Key_Return);
    settle();
    ASSERT_EQ(listedNames(),
              (std::vector<std::string>{"ALPHA.TXT", "BETA.TXT", "DELTA", "GAMMA.TXT"}));

    press(Qt::Key_End);
    EXPECT_EQ(selectedNames(browser), std::vector<std::string>{"GAMMA.TXT"});
    press(Qt::Key_Home);
    EXPECT_EQ(selectedNames(browser), std::vector<std::string>{"ALPHA.TXT"});

    FileListView* list = window().fileList();
    const QRect dateCell =
        list->visualRect(list->model()->index(rowOf("ALPHA.TXT"), FileListModel::dateColumn));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, dateCell.center());
    QTest::keyClicks(list, "be");
    EXPECT_EQ(selectedNames(browser), std::vector<std::string>{"BETA.TXT"});

    press(Qt::Key_Down);
    EXPECT_EQ(selectedNames(browser), std::vector<std::string>{"DELTA"});
    press(Qt::Key_Return);
    ASSERT_EQ(browser.currentPath.get().displayString(), "/DELTA");
    press(Qt::Key_Backspace);
    ASSERT_TRUE(browser.currentPath.get().isRoot());
    EXPECT_EQ(selectedNames(browser), std::vector<std::string>{"DELTA"});
    press(Qt::Key_Down);
    EXPECT_EQ(selectedNames(browser), std::vector<std::string>{"GAMMA.TXT"});
}

} // namespace
} // namespace tamberlane::ui
