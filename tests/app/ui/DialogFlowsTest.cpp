#include "app/state/StateTexts.h"
#include "app/ui/Icons.h"
#include "tests/app/ui/MainWindowFixture.h"
#include "tests/support/FatTools.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>

#include <sys/file.h>

#include <algorithm>

namespace tamberlane::ui {
namespace {

class DialogFlowsTest : public MainWindowTest {
  protected:
    QToolButton* crumb(const char* name) {
        for (QToolButton* each : window().findChildren<QToolButton*>()) {
            if (each->isVisible() && each->accessibleName() == QString::fromUtf8(name)) {
                return each;
            }
        }
        return nullptr;
    }
    // Several windows hold buttons of one title; only the shown ones count.
    static QPushButton* shownButton(QWidget* owner, const char* title) {
        for (QPushButton* each : owner->findChildren<QPushButton*>()) {
            if (each->isVisible() && each->text() == QString::fromUtf8(title)) {
                return each;
            }
        }
        return nullptr;
    }
    static QMessageBox* shownBox(QWidget* owner, const char* title) {
        for (QMessageBox* box : owner->findChildren<QMessageBox*>()) {
            if (box->isVisible() && box->windowTitle() == QString::fromUtf8(title)) {
                return box;
            }
        }
        return nullptr;
    }
    static QLineEdit* field(QWidget* form, const char* label) {
        for (QLineEdit* each : form->findChildren<QLineEdit*>()) {
            if (each->accessibleName() == QString::fromUtf8(label)) {
                return each;
            }
        }
        return nullptr;
    }
    static std::vector<QLabel*> shownMessages(QWidget* form) {
        std::vector<QLabel*> shown;
        for (QLabel* each : form->findChildren<QLabel*>()) {
            if (each->isVisible() && each->text().contains(QStringLiteral("範囲"))) {
                shown.push_back(each);
            }
        }
        return shown;
    }
    static void retype(QLineEdit* edit, const char* typed) {
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        settle();
    }
};

TEST_F(DialogFlowsTest, EachCrumbLeadsToItsOwnLevelAndAltUpGoesUpOne) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    const DiskPath games = DiskPath::root().appending("GAMES");
    browser.newDirectoryName = "GAMES";
    browser.createNewDirectory();
    browser.navigateToPath(games);
    browser.newDirectoryName = "SAVE";
    browser.createNewDirectory();
    browser.navigateToPath(games.appending("SAVE"));
    ASSERT_EQ(browser.currentPath.get().displayString(), "/GAMES/SAVE");

    QTest::keyClick(window().fileList(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(browser.currentPath.get().displayString(), "/GAMES");

    browser.navigateToPath(games.appending("SAVE"));
    settle();
    ASSERT_NE(crumb("GAMES"), nullptr);
    QTest::mouseClick(crumb("GAMES"), Qt::LeftButton);
    settle();
    EXPECT_EQ(browser.currentPath.get().displayString(), "/GAMES");
    EXPECT_EQ(crumb("SAVE"), nullptr);
    QTest::mouseClick(crumb("/"), Qt::LeftButton);
    settle();
    EXPECT_TRUE(browser.currentPath.get().isRoot());
    EXPECT_EQ(crumb("GAMES"), nullptr);
}

TEST_F(DialogFlowsTest, TheSecondRowOfTheDiskChoiceOpensTheSecondDiskOfTheFile) {
    // Each disk of a D88 file states its own size, so two files end to end are one
    // file of two disks.
    Bytes file = createNewImage(NewImageParameters{NewImageFormat::d88, DiskSize::mb1_44, {}});
    Bytes second = createNewImage(NewImageParameters{NewImageFormat::d88, DiskSize::kb640, {}});
    const std::string name = "SECOND";
    std::fill_n(second.begin(), 16, 0);
    std::copy(name.begin(), name.end(), second.begin());
    file.insert(file.end(), second.begin(), second.end());
    const auto path = images.path() / "two.d88";
    writeImageFile(path, file);

    app->openFiles({QString::fromStdString(path.string())});
    QDialog* choice = window().raisedDialog("diskSelection");
    ASSERT_NE(choice, nullptr);
    EXPECT_FALSE(state().image().isImageOpen);
    auto* list = choice->findChild<QListWidget*>();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("ディスク 2: SECOND"));

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    settle();
    EXPECT_EQ(window().raisedDialog("diskSelection"), nullptr);
    ASSERT_TRUE(state().image().isImageOpen);
    // The first disk holds 1.44 MB; only the second one is this small.
    EXPECT_LT(state().image().totalSpace.get(), 700'000);
    EXPECT_EQ(window().windowTitle(), QStringLiteral("two.d88 — Tamberlane"));
}

TEST_F(DialogFlowsTest,
       AnUnrecognisedImageLeadsToTheManualFormWhichShowsEachFieldsMessageUnderItAndHoldsOK) {
    const auto broken = images.path() / "broken.img";
    writeFile(broken, Bytes(1000, 0));
    app->openFiles({QString::fromStdString(broken.string())});
    QMessageBox* alert = nullptr;
    for (QMessageBox* box : window().findChildren<QMessageBox*>()) {
        alert = box->isVisible() ? box : alert;
    }
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->text().startsWith(QString::fromUtf8(texts::specialFormat.c_str())));
    EXPECT_TRUE(alert->text().contains(QStringLiteral("\n\nbroken.img: ")));
    button(alert, texts::openWithManualParamsButton.c_str())->click();
    settle();
    QDialog* form = window().raisedDialog("manualParameters");
    ASSERT_NE(form, nullptr);

    QLineEdit* heads = field(form, "ヘッド数:");
    QLineEdit* cylinders = field(form, "シリンダ数:");
    QPushButton* ok = button(form, "OK");
    ASSERT_TRUE(heads && cylinders && ok);
    EXPECT_TRUE(shownMessages(form).empty());
    retype(heads, "0");
    const std::vector<QLabel*> shown = shownMessages(form);
    ASSERT_EQ(shown.size(), 1U);
    const int top = shown.front()->mapTo(form, QPoint(0, 0)).y();
    EXPECT_GE(top, heads->mapTo(form, QPoint(0, heads->height())).y())
        << "the message sits under its field";
    EXPECT_LT(top, cylinders->mapTo(form, QPoint(0, 0)).y());
    EXPECT_FALSE(ok->isEnabled());
    QTest::keyClick(heads, Qt::Key_Return);
    EXPECT_EQ(window().raisedDialog("manualParameters"), form)
        << "Return does not pass a disabled OK";

    retype(heads, "4");
    retype(cylinders, "x");
    EXPECT_FALSE(ok->isEnabled());
    retype(cylinders, "77");
    EXPECT_TRUE(shownMessages(form).empty());
    ASSERT_TRUE(ok->isEnabled());
    retype(field(form, "データオフセット:"), "512");
    ok->click();
    settle();
    EXPECT_EQ(state().image().manualParams.get().heads, 4);
    EXPECT_EQ(state().image().manualParams.get().cylinders, 77);
    // The failure shows in the form, which stays up with what was typed.
    ASSERT_EQ(window().raisedDialog("manualParameters"), form);
    EXPECT_EQ(heads->text(), QStringLiteral("4"));
    auto* failure = form->findChild<QLabel*>(QStringLiteral("manualOpenError"));
    ASSERT_NE(failure, nullptr);
    EXPECT_TRUE(failure->isVisible());
    EXPECT_TRUE(failure->text().startsWith(
        QStringLiteral("データオフセット 512 のブートセクタを読み取れませんでした: ")))
        << failure->text().toStdString();
    EXPECT_FALSE(state().image().showErrorAlert) << "not in an alert over the form";
}

TEST_F(DialogFlowsTest, ADeletedFileComesBackThroughItsRestoreButtonAndTheTypedFirstCharacter) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.importFiles({hostFile("A.TXT"), hostFile("B.TXT")});
    clickRow("A.TXT");
    browser.requestDelete();
    browser.confirmDelete();
    ASSERT_EQ(listedNames(), std::vector<std::string>{"B.TXT"});

    window().action(Action::restore)->trigger();
    QDialog* deleted = window().raisedDialog("deletedFiles");
    ASSERT_NE(deleted, nullptr);
    QPushButton* restoreRow = shownButton(deleted, "復元");
    ASSERT_NE(restoreRow, nullptr);
    restoreRow->click();
    QDialog* firstChar = window().raisedDialog("restoreFirstChar");
    ASSERT_NE(firstChar, nullptr);
    QTest::keyClicks(firstChar->findChild<QLineEdit*>(), "A");
    shownButton(firstChar, "復元")->click();
    settle();

    QMessageBox* done = shownBox(deleted, "復元完了");
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->text(), QStringLiteral("ファイルを復元しました"));
    button(done, "OK")->click();
    settle();
    EXPECT_EQ(window().raisedDialog("restoreFirstChar"), nullptr);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
    EXPECT_EQ(window().fileList()->model()->rowCount(), 2);
    EXPECT_EQ(shownButton(deleted, "復元"), nullptr)
        << "the window lists the file as deleted no more";
}

// The size names promise more than a hard disk's volume holds; each item says what it holds.
TEST_F(DialogFlowsTest, EachSizeOfTheNewImageDialogShowsItsRealCapacityBesideItsName) {
    state().image().showNewImageDialog = true;
    settle();
    QDialog* dialog = window().raisedDialog("newImage");
    ASSERT_NE(dialog, nullptr);
    QComboBox* sizes = nullptr;
    for (QComboBox* each : dialog->findChildren<QComboBox*>()) {
        sizes = each->accessibleName() == QStringLiteral("サイズ:") ? each : sizes;
    }
    ASSERT_NE(sizes, nullptr);
    ASSERT_EQ(sizes->count(), 6) << "a headerless image is offered in every size";
    EXPECT_EQ(sizes->itemText(0), QStringLiteral("640KB (2DD) — 実容量 640 KB"));
    EXPECT_EQ(sizes->itemText(5), QStringLiteral("40MB (HD) — 実容量 20.3 MB"));
    EXPECT_EQ(sizes->itemData(5).toInt(), static_cast<int>(DiskSize::mb40));
}

TEST_F(DialogFlowsTest, TheAlertForAFileHeldElsewhereOffersTheReadOnlyOpenAndItsButtonGivesIt) {
    const auto path = images.path() / "held.img";
    writeImageFile(path,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    test::OtherProcessLock other(path, LOCK_EX);
    ASSERT_TRUE(other.acquired());
    app->openFiles({QString::fromStdString(path.string())});

    QMessageBox* alert = messageBox(&window(), "lockAlert");
    ASSERT_NE(alert, nullptr) << "the plain alert, with OK only, came up instead";
    EXPECT_TRUE(alert->text().endsWith(QString::fromStdString(texts::lockConflict(""))));
    QPushButton* readOnly = button(alert, texts::openReadOnlyButton.c_str());
    ASSERT_NE(readOnly, nullptr);
    ASSERT_NE(button(alert, tamberlane::texts::okButton), nullptr);
    readOnly->click();
    settle();
    EXPECT_EQ(messageBox(&window(), "lockAlert"), nullptr);
    ASSERT_TRUE(state().image().isImageOpen) << state().image().errorMessage.get();
    EXPECT_TRUE(state().image().isReadOnly);
}

// Catches pickers that name the containers otherwise than the dialogs list them: the new
// image by the short names, the conversion by the names of the programs that read them.
TEST_F(DialogFlowsTest, TheFormatPickersNameEachContainerAsTheirDialogDoes) {
    const auto items = [](QDialog* dialog, const char* picker) {
        QStringList shown;
        for (QComboBox* each : dialog->findChildren<QComboBox*>()) {
            for (int i = 0;
                 each->accessibleName() == QString::fromUtf8(picker) && i < each->count(); ++i) {
                shown << each->itemText(i);
            }
        }
        return shown;
    };
    state().image().showNewImageDialog = true;
    settle();
    ASSERT_NE(window().raisedDialog("newImage"), nullptr);
    EXPECT_EQ(items(window().raisedDialog("newImage"), "形式:"),
              QStringList({"BIN", "D88", "FDI", "HDI", "NFD", "NHD", "DIM", "DCP"}));
    state().image().showNewImageDialog = false;

    const std::pair<DiskSize, QStringList> cases[] = {
        {DiskSize::mb1_44,
         {"BIN (Raw Image)", "D88 (Neko Project 2)", "FDI (Anex86)", "NFD (T98-Next Floppy)", "DIM",
          "DCP (Disk Copy Pro)"}},
        {DiskSize::mb10, {"BIN (Raw Image)", "HDI (Anex86/T98-Next)", "NHD (T98-Next HD)"}},
    };
    for (const auto& [size, expected] : cases) {
        const auto path =
            images.path() / ("disk" + std::to_string(static_cast<int>(size)) + ".img");
        writeImageFile(path, createNewImage(NewImageParameters{NewImageFormat::bin, size, {}}));
        app->openFiles({QString::fromStdString(path.string())});
        ASSERT_TRUE(state().image().isImageOpen);
        state().image().showConvertDialog = true;
        settle();
        QDialog* conversion = window().raisedDialog("conversion");
        ASSERT_NE(conversion, nullptr);
        EXPECT_EQ(items(conversion, "変換先形式:"), expected);
        state().image().showConvertDialog = false;
        settle();
    }
}

// Catches a delete question that shows a folder, and all it holds, as one document.
TEST_F(DialogFlowsTest, TheDeleteQuestionShowsAFolderWithTheFolderSymbol) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.importFiles({hostFile("A.TXT")});
    browser.newDirectoryName = "GAMES";
    browser.createNewDirectory();
    browser.selectAll();
    browser.requestDelete();
    QDialog* question = window().raisedDialog("deleteConfirmation");
    ASSERT_NE(question, nullptr);
    auto* list = question->findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    const auto picture = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };
    const QImage folder = picture(themedIcon("folder", QStyle::SP_DirIcon));
    for (int row = 0; row < list->count(); ++row) {
        const bool isFolder = list->item(row)->text() == QStringLiteral("GAMES");
        EXPECT_EQ(picture(list->item(row)->icon()) == folder, isFolder)
            << list->item(row)->text().toStdString();
    }
}

// Catches a deleted-files window that says it cannot write in plain text, without the lock
// and the strip that say so in the main window, or that still offers a restore.
TEST_F(DialogFlowsTest, TheDeletedFilesOfAReadOnlyImageShowTheLockBannerAndNoRestore) {
    const auto path = openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.importFiles({hostFile("A.TXT")});
    browser.selectAll();
    browser.requestDelete();
    browser.confirmDelete();
    state().image().closeImage();
    test::OtherProcessLock other(path, LOCK_EX);
    ASSERT_TRUE(other.acquired());
    app->openFiles({QString::fromStdString(path.string())});
    QMessageBox* alert = messageBox(&window(), "lockAlert");
    ASSERT_NE(alert, nullptr);
    button(alert, texts::openReadOnlyButton.c_str())->click();
    settle();
    ASSERT_TRUE(state().image().isReadOnly);

    window().action(Action::restore)->trigger();
    QDialog* deleted = window().raisedDialog("deletedFiles");
    ASSERT_NE(deleted, nullptr);
    auto* banner = deleted->findChild<QWidget*>(QStringLiteral("readOnlyBanner"));
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->isVisible());
    bool lock = false;
    bool said = false;
    for (QLabel* label : banner->findChildren<QLabel*>()) {
        lock = lock || !label->pixmap().isNull();
        said = said || label->text() == QStringLiteral("読み取り専用");
    }
    EXPECT_TRUE(lock) << "no lock symbol";
    EXPECT_TRUE(said);
    EXPECT_FALSE(banner->styleSheet().isEmpty()) << "not the banner's strip";
    QPushButton* restore = button(deleted, "復元");
    ASSERT_NE(restore, nullptr);
    EXPECT_FALSE(restore->isEnabled());
}

} // namespace
} // namespace tamberlane::ui
