#include "app/ui/DirectoryTreeView.h"
#include "app/ui/FileListModel.h"
#include "app/ui/ImageFiles.h"
#include "app/ui/MainWindowPanels.h"
#include "app/ui/ToastStack.h"
#include "app/ui/UiTexts.h"
#include "tests/app/state/SteppingExecutor.h"
#include "tests/app/ui/MainWindowFixture.h"

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>

#include <cstdlib>
#include <memory>

namespace tamberlane::ui {
namespace {

// One application object for the whole run, gone before the program's static objects
// are: Qt's own clean-up needs them.
class QtEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        // Tests run as processes side by side: each gets a settings file of its own, or a
        // window one test saves lands in the start of another.
        home_ = std::make_unique<TempDir>();
        ::setenv("HOME", home_->path().c_str(), 1);
        QStandardPaths::setTestModeEnabled(true);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        app_.reset();
        home_.reset();
    }

  private:
    int argc_ = 1;
    char name_[13] = "tests_app_ui";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<TempDir> home_;
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

TEST_F(MainWindowTest, TitleNamesTheOpenImageFirstAndOnlyTheProgramWithoutOne) {
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Tamberlane"));
    openNewImage("disk.img");
    EXPECT_EQ(window().windowTitle(), QStringLiteral("disk.img — Tamberlane"));
    window().action(Action::close)->trigger();
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Tamberlane"));
}

TEST_F(MainWindowTest, OnlyTheFirstFileHandedOverIsOpened) {
    const auto first = images.path() / "first.img";
    writeImageFile(first,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    app->openFiles(QStringList{QString::fromStdString(first.string()),
                               QStringLiteral("/nonexistent/second.img")});
    EXPECT_TRUE(state().image().isImageOpen);
    EXPECT_FALSE(state().image().showErrorAlert);
    EXPECT_EQ(state().image().windowTitle.get(), "first.img");
}

TEST_F(MainWindowTest, HostFilesDroppedOnTheListAreImportedButADragFromThisWindowIsNot) {
    openNewImage("disk.img");
    QWidget* viewport = window().fileList()->viewport();
    const auto ownCopy = hostFile("OWN.TXT");
    EXPECT_FALSE(drop(viewport, {ownCopy}, true));
    EXPECT_TRUE(listedNames().empty());

    EXPECT_TRUE(drop(viewport, {hostFile("A.TXT"), hostFile("B.TXT")}, false));
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
}

TEST_F(MainWindowTest, AnImageDroppedOnTheWindowOpensUnlessItCameFromThisWindow) {
    const auto image = images.path() / "DROPPED.IMG";
    writeImageFile(image,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    EXPECT_FALSE(drop(&window(), {image}, true));
    EXPECT_FALSE(state().image().isImageOpen);
    EXPECT_FALSE(drop(&window(), {hostFile("notes.txt")}, false));
    EXPECT_FALSE(state().image().isImageOpen);
    EXPECT_TRUE(drop(&window(), {image}, false));
    EXPECT_EQ(state().image().windowTitle.get(), "DROPPED.IMG");

    // Dragged out of another window of this program, an image file is an entry of a volume:
    // it goes into the open image, wherever it is dropped.
    const auto copied = images.path() / "COPIED.IMG";
    writeFile(copied, bytesOf("a copy of an entry named like an image"));
    QMimeData fromOther;
    fromOther.setUrls({QUrl::fromLocalFile(QString::fromStdString(copied.string()))});
    fromOther.setData(QStringLiteral("application/x-tamberlane-drag-source"), "1");
    EXPECT_EQ(dropMeaning(fromOther, DropTarget::window, true), DropMeaning::importFiles);
    EXPECT_EQ(dropMeaning(fromOther, DropTarget::window, false), DropMeaning::nothing);
    const QPoint centre = window().rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &fromOther, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(centre), Qt::CopyAction, &fromOther, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window(), &dropped);
    EXPECT_EQ(state().image().windowTitle.get(), "DROPPED.IMG");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"COPIED.IMG"});
}

TEST_F(MainWindowTest, ActionsFollowTheSelectionAndAreAllOffWhileAnOperationRuns) {
    openNewImage("disk.img");
    state().browser().importFiles({hostFile("A.TXT")});
    EXPECT_FALSE(window().action(Action::deleteEntries)->isEnabled());
    clickRow("A.TXT");
    EXPECT_TRUE(window().action(Action::deleteEntries)->isEnabled());
    EXPECT_TRUE(window().action(Action::rename)->isEnabled());

    ASSERT_TRUE(state().gate().tryBegin());
    for (std::size_t i = 0; i < actionCount; ++i) {
        if (QAction* each = window().action(static_cast<Action>(i))) {
            EXPECT_FALSE(each->isEnabled()) << each->text().toStdString();
        }
    }
    state().gate().end();
    EXPECT_TRUE(window().action(Action::deleteEntries)->isEnabled());
}

// Another program wrote the image while it was open: the banner says why changes stop and
// offers to open it again, and so does a reload, which could only show memory's old bytes.
TEST_F(MainWindowTest, AnImageChangedOutsideIsReopenedFromTheBannerOrTheReloadQuestion) {
    const auto path = openNewImage("disk.img");
    test::writeInPlace(path, 3, bytesOf("EMULATOR"));
    const QString changed = QString::fromUtf8(
        "ディスクイメージが他のプログラムによって変更されました。開き直してください。");

    window().action(Action::reload)->trigger();
    QMessageBox* question = messageBox(&window(), "reopenQuestion");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), changed);
    ASSERT_NE(button(question, "キャンセル"), nullptr);
    QTest::keyClick(question, Qt::Key_Escape);
    settle();
    EXPECT_TRUE(state().image().fileProblem.get().has_value()) << "Escape reopened the image";

    QPushButton* reopen = nullptr;
    for (QPushButton* each : window().findChildren<QPushButton*>()) {
        if (each->isVisible() && each->text() == QString::fromUtf8("開き直す")) {
            reopen = each;
        }
    }
    ASSERT_NE(reopen, nullptr) << "the banner offers no way to open the file again";
    bool bannerSaysWhy = false;
    for (QLabel* label : window().findChildren<QLabel*>()) {
        bannerSaysWhy = bannerSaysWhy || (label->isVisible() && label->text() == changed);
    }
    EXPECT_TRUE(bannerSaysWhy);
    EXPECT_FALSE(window().action(Action::newDirectory)->isEnabled());

    reopen->click();
    settle();
    EXPECT_FALSE(state().image().fileProblem.get().has_value());
    EXPECT_FALSE(reopen->isVisible());
    EXPECT_TRUE(window().action(Action::newDirectory)->isEnabled());
}

TEST_F(MainWindowTest, NewDirectoryDialogCreatesOnlyWithANameAndTheListNavigatesByKeysAndClicks) {
    openNewImage("disk.img");
    window().action(Action::newDirectory)->trigger();
    QDialog* dialog = window().raisedDialog("newDirectory");
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>();
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(listedNames().empty());
    QTest::keyClicks(name, "GAMES");
    QTest::keyClick(name, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(listedNames(), std::vector<std::string>{"GAMES"});
    EXPECT_EQ(window().raisedDialog("newDirectory"), nullptr);

    doubleClickRow("GAMES");
    EXPECT_EQ(state().browser().currentPath.get().displayString(), "/GAMES");
    QTest::keyClick(window().fileList(), Qt::Key_Backspace);
    EXPECT_TRUE(state().browser().currentPath.get().isRoot());
    clickRow("GAMES");
    QTest::keyClick(window().fileList(), Qt::Key_Return);
    EXPECT_EQ(state().browser().currentPath.get().displayString(), "/GAMES");
}

// Catches history buttons that do not say what they would take back or do again.
TEST_F(MainWindowTest, TheHistoryButtonsNameTheirStep) {
    openNewImage("disk.img");
    EXPECT_EQ(window().action(Action::undo)->toolTip(), QStringLiteral("元に戻す (Ctrl+Z)"));
    state().browser().importFiles({hostFile("A.TXT")});
    EXPECT_EQ(window().action(Action::undo)->toolTip(),
              QStringLiteral("元に戻す: インポート (Ctrl+Z)"));
    clickRow("A.TXT");
    state().browser().requestDelete();
    state().browser().confirmDelete();
    EXPECT_EQ(window().action(Action::undo)->toolTip(), QStringLiteral("元に戻す: 削除 (Ctrl+Z)"));
    state().browser().undo();
    EXPECT_EQ(window().action(Action::redo)->toolTip(),
              QStringLiteral("やり直す: 削除 (Ctrl+Shift+Z)"));
    EXPECT_EQ(window().action(Action::undo)->toolTip(),
              QStringLiteral("元に戻す: インポート (Ctrl+Z)"));
}

TEST_F(MainWindowTest, RenameDialogAppliesTheTypedName) {
    openNewImage("disk.img");
    state().browser().importFiles({hostFile("A.TXT")});
    clickRow("A.TXT");
    QTest::keyClick(window().fileList(), Qt::Key_F2);
    QDialog* dialog = window().raisedDialog("rename");
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChildren<QLineEdit*>().front();
    name->selectAll();
    QTest::keyClicks(name, "RENAMED");
    button(dialog, "変更")->click();
    QApplication::processEvents();
    EXPECT_EQ(listedNames(), std::vector<std::string>{"RENAMED.TXT"});
}

// Catches a placeholder that scrolling a long list carried out of sight for good.
TEST_F(MainWindowTest, TheEmptyDirectoryPlaceholderShowsAfterALongListWasScrolled) {
    openNewImage("disk.img");
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 80; ++i) {
        files.push_back(hostFile("F" + std::to_string(i) + ".TXT"));
    }
    state().browser().importFiles(files);
    state().browser().requestNewDirectory();
    state().browser().newDirectoryName = "EMPTY";
    state().browser().createNewDirectory();
    QApplication::processEvents();
    auto* placeholder = window().findChild<QLabel*>(QStringLiteral("emptyDirectory"));
    ASSERT_NE(placeholder, nullptr);
    QScrollBar* scroll = window().fileList()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    scroll->setValue(scroll->maximum());
    QApplication::processEvents();
    doubleClickRow("EMPTY");
    QApplication::processEvents();
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_EQ(placeholder->geometry(), window().fileList()->viewport()->rect());
}

QLabel* visibleLabel(QWidget* within, const QString& text) {
    for (QLabel* each : within->findChildren<QLabel*>()) {
        if (each->isVisible() && each->text() == text) {
            return each;
        }
    }
    return nullptr;
}

// Catches a status bar that does not say how much is selected, a delete question that does
// not say how much goes, and cut entries that look like any other until they are pasted.
TEST_F(MainWindowTest, TheStatusBarAndTheDeleteQuestionCountAndCutEntriesAreDimmedUntilPasted) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.importFiles({hostFile("A.TXT"), hostFile("B.TXT"), hostFile("C.TXT")});
    QStatusBar* bar = window().statusBar();
    EXPECT_NE(visibleLabel(bar, QStringLiteral("3 項目")), nullptr);
    clickRow("A.TXT");
    QTest::mouseClick(window().fileList()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      window()
                          .fileList()
                          ->visualRect(window().fileList()->model()->index(rowOf("B.TXT"), 0))
                          .center());
    EXPECT_NE(visibleLabel(bar, QStringLiteral("3 個中 2 個を選択")), nullptr);

    browser.requestDelete();
    QDialog* question = window().raisedDialog("deleteConfirmation");
    ASSERT_NE(question, nullptr);
    EXPECT_NE(visibleLabel(question, QStringLiteral("以下のファイルを削除しますか？")), nullptr);
    EXPECT_NE(visibleLabel(question, QStringLiteral("2 個の項目を削除します。")), nullptr);
    QTest::keyClick(question, Qt::Key_Escape);
    settle();

    auto* model = qobject_cast<FileListModel*>(window().fileList()->model());
    ASSERT_NE(model, nullptr);
    const auto dimmed = [this, model] {
        std::vector<std::string> names;
        for (const std::string& name : listedNames()) {
            if (model->isDimmed(rowOf(name))) {
                names.push_back(name);
            }
        }
        return names;
    };
    window().action(Action::cut)->trigger();
    EXPECT_EQ(dimmed(), (std::vector<std::string>{"A.TXT", "B.TXT"}));
    EXPECT_NE(model->data(model->index(rowOf("A.TXT"), 0), Qt::ForegroundRole),
              model->data(model->index(rowOf("C.TXT"), 0), Qt::ForegroundRole));
    browser.requestNewDirectory();
    browser.newDirectoryName = "SUB";
    browser.createNewDirectory();
    EXPECT_EQ(dimmed(), (std::vector<std::string>{"A.TXT", "B.TXT"})) << "a reload forgot the cut";
    clickRow("C.TXT");
    window().action(Action::copy)->trigger();
    EXPECT_TRUE(dimmed().empty()) << "another copy took the cut's place";

    clickRow("A.TXT");
    window().action(Action::cut)->trigger();
    browser.navigateToDirectory(browser.entries.get()[static_cast<std::size_t>(rowOf("SUB"))]);
    window().action(Action::paste)->trigger();
    browser.navigateUp();
    EXPECT_TRUE(dimmed().empty());
}

// Catches a command only the tool row or the context menu offers, which a keyboard user
// cannot find.
TEST_F(MainWindowTest, EveryCommandIsInItsMenuWithItsShortcut) {
    const std::pair<const char*, std::vector<Action>> menus[] = {
        {"ファイル",
         {Action::importFiles, Action::exportFiles, Action::convert, Action::imageInfo}},
        {"編集", {Action::rename, Action::newDirectory, Action::deleteEntries, Action::restore}},
    };
    for (const auto& [title, members] : menus) {
        QMenu* menu = nullptr;
        for (QAction* each : window().menuBar()->actions()) {
            if (each->text() == QString::fromUtf8(title)) {
                menu = each->menu();
            }
        }
        ASSERT_NE(menu, nullptr) << title;
        for (Action member : members) {
            EXPECT_TRUE(menu->actions().contains(window().action(member)))
                << title << ": " << window().action(member)->text().toStdString();
        }
    }
    EXPECT_EQ(window().action(Action::rename)->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(window().action(Action::importFiles)->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+I")));
}

// Catches a rename or new-folder dialog that hides what an 8.3-only volume will call the
// entry until it is written.
TEST_F(MainWindowTest, NameDialogsShowTheStoredShortNameWhileTypingWhereOnlyShortNamesAreWritten) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.longNamePolicy = LongNamePolicy::never;
    window().action(Action::newDirectory)->trigger();
    QDialog* dialog = window().raisedDialog("newDirectory");
    ASSERT_NE(dialog, nullptr);
    auto* stored = dialog->findChild<QLabel*>(QStringLiteral("storedName"));
    ASSERT_NE(stored, nullptr);
    EXPECT_FALSE(stored->isVisible());
    QTest::keyClicks(dialog->findChild<QLineEdit*>(), "new folder");
    EXPECT_TRUE(stored->isVisible());
    EXPECT_EQ(stored->text(), QStringLiteral("ディスク上の名前 (8.3): NEW_FOLD"));
    QTest::keyClick(dialog->findChild<QLineEdit*>(), Qt::Key_Return);
    settle();
    EXPECT_EQ(listedNames(), std::vector<std::string>{"NEW_FOLD"});

    browser.longNamePolicy = LongNamePolicy::always;
    window().action(Action::rename)->trigger();
    dialog = window().raisedDialog("rename");
    ASSERT_NE(dialog, nullptr);
    QLineEdit* name = dialog->findChildren<QLineEdit*>().front();
    QTest::keyClicks(name, " two");
    EXPECT_FALSE(dialog->findChild<QLabel*>(QStringLiteral("storedName"))->isVisible())
        << "a long name is kept as typed";
    QTest::keyClick(dialog, Qt::Key_Escape);
    settle();
    browser.longNamePolicy = LongNamePolicy::automatic;
}

// Catches a layout the next start forgets: the window's size, a column the user widened,
// the order the user sorted by.
TEST_F(MainWindowTest, TheWindowSizeColumnWidthsAndSortAreThereAtTheNextStart) {
    openNewImage("disk.img");
    state().browser().sort(SortKey::size);
    state().browser().sort(SortKey::size);
    window().fileList()->horizontalHeader()->resizeSection(FileListModel::sizeColumn, 173);
    window().resize(1200, 700);
    settle();

    const auto next = std::make_unique<TamberlaneApp>(executor);
    EXPECT_EQ(next->state().browser().sortKey.get(), SortKey::size);
    EXPECT_EQ(next->state().browser().sortOrder.get(), SortOrder::descending);
    EXPECT_EQ(next->window().fileList()->horizontalHeader()->sectionSize(FileListModel::sizeColumn),
              173);
    EXPECT_EQ(next->window().size(), QSize(1200, 700));
    QSettings().remove(QLatin1String(UiSettings::windowGroup));
}

// Catches panels that open in the home folder while the image the user works on sits
// elsewhere, and a folder remembered for import that the open image overrides.
TEST(UiSettingsTest, PanelsForImagesStartBesideTheOpenImageAndOthersWhereTheyWereLastUsed) {
    TempDir image;
    TempDir imports;
    UiSettings settings;
    settings.rememberFolder(Panel::importFiles, QString::fromStdString(imports.path().string()));
    settings.setImageFolder(QString::fromStdString(image.path().string()));
    for (Panel panel : {Panel::open, Panel::newImage, Panel::conversion}) {
        EXPECT_EQ(settings.folder(panel), QString::fromStdString(image.path().string()));
    }
    EXPECT_EQ(settings.folder(Panel::importFiles), QString::fromStdString(imports.path().string()));
    settings.setImageFolder({});
    EXPECT_NE(settings.folder(Panel::newImage), QString::fromStdString(image.path().string()));
}

// Catches Qt's own buttons and panels in English in a Japanese window.
TEST_F(MainWindowTest, QtsOwnButtonsAreJapanese) {
    if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                           QStringLiteral("/qtbase_ja.qm"))) {
        GTEST_SKIP() << "Qt's translations are not installed";
    }
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text(), QStringLiteral("はい(&Y)"));
}

// Catches a long-name choice that the operations do not get, that the rename dialog does
// not show, or that the next start forgets.
TEST_F(MainWindowTest, TheLongNameChoiceReachesEveryNewNameAndIsRemembered) {
    const auto choice = [](MainWindowView& w, const char* name) {
        return w.findChild<QAction*>(QStringLiteral("longNames_") + QLatin1String(name));
    };
    ASSERT_NE(choice(window(), "always"), nullptr);
    choice(window(), "always")->trigger();
    openNewImage("disk.img");
    state().browser().importFiles({hostFile("report_august.txt")});
    EXPECT_EQ(listedNames(), std::vector<std::string>{"report_august.txt"});
    clickRow("report_august.txt");
    QTest::keyClick(window().fileList(), Qt::Key_F2);
    QDialog* dialog = window().raisedDialog("rename");
    ASSERT_NE(dialog, nullptr);
    const QList<QLineEdit*> fields = dialog->findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0]->text(), QStringLiteral("report_august"));
    EXPECT_EQ(fields[1]->text(), QStringLiteral("txt"));
    fields[0]->selectAll();
    QTest::keyClicks(fields[0], "Report for August");
    button(dialog, "変更")->click();
    QApplication::processEvents();
    EXPECT_EQ(listedNames(), std::vector<std::string>{"Report for August.txt"});

    const auto next = std::make_unique<TamberlaneApp>(executor);
    EXPECT_TRUE(choice(next->window(), "always")->isChecked());
    EXPECT_EQ(next->state().browser().longNamePolicy.get(), LongNamePolicy::always);
    choice(next->window(), "never")->trigger();
    EXPECT_FALSE(choice(next->window(), "always")->isChecked());
    choice(next->window(), "auto")->trigger();
}

// Catches a tree row that opens without its directory listed, that stays open while work
// runs on the image, or that a change closes or rebuilds under the user.
TEST_F(MainWindowTest, TreeRowsListTheirDirectoryWhenOpenedAndStayOpenAcrossAChange) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    const auto makeDirectory = [&browser](const char* name) {
        browser.requestNewDirectory();
        browser.newDirectoryName = name;
        browser.createNewDirectory();
    };
    makeDirectory("A");
    makeDirectory("B");
    browser.navigateToPath(DiskPath::fromString("A"));
    makeDirectory("A1");
    browser.navigateToPath(DiskPath::root());
    DirectoryTreeView* tree = window().directoryTree();
    QTreeWidgetItem* a = tree->itemOf(DiskPath::fromString("A"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->childCount(), 0);
    EXPECT_EQ(a->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    ASSERT_TRUE(state().gate().tryBegin());
    a->setExpanded(true);
    EXPECT_FALSE(a->isExpanded());
    state().gate().end();
    a->setExpanded(true);
    ASSERT_EQ(a->childCount(), 1);
    EXPECT_EQ(a->child(0)->text(0).toStdString(), "A1");
    QTreeWidgetItem* b = tree->itemOf(DiskPath::fromString("B"));
    b->setExpanded(true);
    EXPECT_EQ(b->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);

    makeDirectory("C");
    EXPECT_EQ(tree->itemOf(DiskPath::fromString("A")), a) << "the row was rebuilt";
    EXPECT_TRUE(a->isExpanded());
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 3);

    tree->setCurrentItem(a->child(0));
    EXPECT_EQ(browser.currentPath.get().displayString(), "/A/A1");
    a->setExpanded(false);
    EXPECT_FALSE(browser.directoryTree.get().front().children.front().isExpanded);
    EXPECT_EQ(a->childCount(), 0);
}

// Catches a list menu that greys the viewers out for one directory, and a viewer, an error
// or the binary question that a directory chosen there brings up.
TEST_F(MainWindowTest, TheListMenuOffersTheViewersForOneDirectoryAndChoosingThemDoesNothing) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.importFiles({hostFile("A.TXT")});
    browser.newDirectoryName = "GAMES";
    browser.createNewDirectory();
    const auto menuItems = [this] {
        auto menu = std::make_unique<QMenu>();
        window().listPanel()->fillContextMenu(*menu);
        return menu;
    };
    const auto item = [](QMenu& menu, const char* title) -> QAction* {
        for (QAction* each : menu.actions()) {
            if (each->text() == QString::fromUtf8(title)) {
                return each;
            }
        }
        return nullptr;
    };

    clickRow("GAMES");
    EXPECT_FALSE(window().action(Action::hexViewer)->isEnabled()) << "the tool row's rule";
    const auto menu = menuItems();
    for (const char* title : {texts::textEditorAction.c_str(), texts::hexViewerAction.c_str()}) {
        QAction* viewer = item(*menu, title);
        ASSERT_NE(viewer, nullptr) << title;
        EXPECT_TRUE(viewer->isEnabled()) << title;
        viewer->trigger();
        settle();
    }
    EXPECT_EQ(window().raisedDialog("textEditor"), nullptr);
    EXPECT_EQ(window().raisedDialog("hexViewer"), nullptr);
    EXPECT_FALSE(browser.showError);
    EXPECT_FALSE(browser.showBinaryAlert);
    EXPECT_EQ(browser.currentPath.get().displayString(), "/");

    browser.selectAll();
    const auto both = menuItems();
    EXPECT_FALSE(item(*both, texts::hexViewerAction.c_str())->isEnabled())
        << "two entries selected";
    clickRow("A.TXT");
    const auto file = menuItems();
    item(*file, texts::hexViewerAction.c_str())->trigger();
    settle();
    EXPECT_NE(window().raisedDialog("hexViewer"), nullptr);
}

// Catches toasts that pop up and vanish without their slide and fade or squeeze the list,
// rows that keep the place of one that left, and a leaving row that never goes.
TEST_F(MainWindowTest, ToastsSlideAndFadeInFromTheTopAndLeaveTheSameWay) {
    ErrorCoordinator& errors = state().errors();
    ToastStack* stack = window().toasts();
    const auto shownRows = [stack] {
        return stack->findChildren<QFrame*>(QStringLiteral("toast"));
    };
    const auto fadeOf = [](QWidget* row) {
        auto* fade = qobject_cast<QGraphicsOpacityEffect*>(row->graphicsEffect());
        return fade != nullptr ? fade->opacity() : 1.0;
    };
    openNewImage("disk.img");
    const int listWidth = window().fileList()->width();
    errors.addToast(AppError::make(AppErrorType::io, "first", "最初の知らせ"));
    ASSERT_EQ(shownRows().size(), 1);
    QFrame* first = shownRows().front();
    EXPECT_TRUE(stack->isVisible());
    EXPECT_LT(first->y(), 0) << "it does not come in from the top edge";
    EXPECT_LT(fadeOf(first), 0.5) << "it does not fade in";
    stack->finishMotion();
    EXPECT_EQ(first->y(), ToastStack::topMargin);
    EXPECT_EQ(fadeOf(first), 1.0);
    settle();
    EXPECT_EQ(window().fileList()->width(), listWidth) << "the stack took room from the list";

    errors.addToast(AppError::make(AppErrorType::io, "second", "次の知らせ"));
    stack->finishMotion();
    const QList<QFrame*> rows = shownRows();
    ASSERT_EQ(rows.size(), 2);
    QFrame* second = rows[0] == first ? rows[1] : rows[0];
    EXPECT_EQ(second->y(), first->y() + first->height() + ToastStack::spacing);

    errors.dismissToast(errors.toastMessages.get().front().id);
    EXPECT_EQ(shownRows().size(), 2) << "the first left without its slide";
    stack->finishMotion();
    settle();
    ASSERT_EQ(shownRows().size(), 1);
    EXPECT_EQ(shownRows().front(), second);
    EXPECT_EQ(second->y(), ToastStack::topMargin) << "the second kept the first's gap";

    errors.dismissToast(errors.toastMessages.get().front().id);
    stack->finishMotion();
    settle();
    EXPECT_TRUE(shownRows().empty());
    EXPECT_FALSE(stack->isVisible());
}

// The status bar's place for long work, found as a user of a screen reader finds it.
QWidget* progressArea(MainWindowView& window) {
    for (QProgressBar* bar : window.findChildren<QProgressBar*>()) {
        if (bar->accessibleName() == QString::fromUtf8(texts::progressName.c_str())) {
            return bar->parentWidget();
        }
    }
    return nullptr;
}

// The fixture's drag and drop and alert helpers, for a window on another executor.
struct Drops : MainWindowTest {
    using MainWindowTest::button;
    using MainWindowTest::drop;
    using MainWindowTest::messageBox;
    using MainWindowTest::settle;
};

// A window on an executor that holds its background work until the test lets it run, with
// a new 1.44 MB image that it opens when asked.
struct SteppedWindow {
    SteppedWindow() : path(images.path() / "disk.img"), app(executor) {
        writeImageFile(
            path, createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
        app.window().show();
    }
    void openImage() { app.openFiles(QStringList{QString::fromStdString(path.string())}); }
    // Opens the image and lets the open run to its end.
    void openImageNow() {
        openImage();
        executor.runHeld();
        ASSERT_TRUE(app.state().image().isImageOpen);
    }

    test::SteppingExecutor executor;
    TempDir images;
    TempDir host;
    std::filesystem::path path;
    TamberlaneApp app;
};

// Catches an open or a save that leaves the window without a sign of work, or names no
// file (it looks hung for the seconds a large image takes), and a quick save that flashes
// the bar.
TEST(MainWindowSaveTest, OpeningAndASaveThatTakesAMomentShowABusyBarNamingTheImage) {
    SteppedWindow stepped;
    test::SteppingExecutor& executor = stepped.executor;
    TamberlaneApp& app = stepped.app;
    QWidget* area = progressArea(app.window());
    ASSERT_NE(area, nullptr);
    const auto shownTexts = [area] {
        QStringList labels;
        for (QLabel* label : area->findChildren<QLabel*>()) {
            labels << label->text();
        }
        return labels;
    };
    stepped.openImage();
    ASSERT_TRUE(area->isVisible());
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("開いています: disk.img")))
        << shownTexts().join('|').toStdString();
    executor.runHeld();
    ASSERT_TRUE(app.state().image().isImageOpen);
    EXPECT_FALSE(area->isVisible());
    FileBrowserViewModel& browser = app.state().browser();
    const auto makeDirectory = [&browser](const char* name) {
        browser.requestNewDirectory();
        browser.newDirectoryName = name;
        browser.createNewDirectory();
    };

    makeDirectory("SLOW");
    ASSERT_EQ(executor.heldCount(), 1u);
    EXPECT_FALSE(area->isVisible());
    // The bar waits 300 ms; a loaded machine may deliver that timer late.
    for (int waited = 0; !area->isVisible() && waited < 10000; waited += 50) {
        QTest::qWait(50);
    }
    ASSERT_TRUE(area->isVisible());
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("保存しています: disk.img")))
        << shownTexts().join('|').toStdString();
    EXPECT_EQ(area->findChild<QProgressBar*>()->maximum(), 0) << "not a busy bar";
    for (QToolButton* button : area->findChildren<QToolButton*>()) {
        EXPECT_FALSE(button->isVisible()) << "a save cannot be stopped halfway";
    }
    executor.runHeld();
    EXPECT_FALSE(area->isVisible());

    makeDirectory("QUICK");
    executor.runHeld();
    QTest::qWait(400);
    EXPECT_FALSE(area->isVisible());
}

// Catches drops taken while work runs and then silently lost.
TEST(MainWindowBusyTest, DropsAreRefusedWhileWorkRunsAndTakenAfterwards) {
    SteppedWindow stepped;
    test::SteppingExecutor& executor = stepped.executor;
    TamberlaneApp& app = stepped.app;
    const auto other = stepped.images.path() / "other.img";
    writeImageFile(other,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    stepped.openImageNow();
    const auto file = stepped.host.path() / "A.TXT";
    writeFile(file, bytesOf("a"));
    FileBrowserViewModel& browser = app.state().browser();
    browser.requestNewDirectory();
    browser.newDirectoryName = "SLOW";
    browser.createNewDirectory();
    ASSERT_EQ(executor.heldCount(), 1u);
    QWidget* list = app.window().fileList()->viewport();
    EXPECT_FALSE(Drops::drop(list, {file}, false));
    EXPECT_FALSE(Drops::drop(&app.window(), {other}, false));
    executor.runHeld();
    EXPECT_TRUE(Drops::drop(list, {file}, false));
    executor.runHeld();
    std::vector<std::string> names;
    for (const FileEntry& entry : browser.entries.get()) {
        names.push_back(entry.directoryEntry.displayName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"A.TXT", "SLOW"}));
}

// Closing the window while work ran neither asked nor waited: the work went on, and saved,
// after the window was gone.
TEST(MainWindowBusyTest, QuittingWhileWorkRunsAsksThenStopsItAndClosesOnceItHasEnded) {
    SteppedWindow stepped;
    test::SteppingExecutor& executor = stepped.executor;
    TamberlaneApp& app = stepped.app;
    const TempDir& host = stepped.host;
    const std::filesystem::path& path = stepped.path;
    stepped.openImageNow();
    const Bytes before = test::readFile(path);
    writeFile(host.path() / "A.TXT", bytesOf("a"));
    writeFile(host.path() / "B.TXT", bytesOf("b"));
    app.state().browser().importFiles({host.path() / "A.TXT", host.path() / "B.TXT"});
    ASSERT_TRUE(app.state().gate().isBusy);

    const auto answer = [&app](const char* button) {
        QMessageBox* question = Drops::messageBox(&app.window(), "quitQuestion");
        ASSERT_NE(question, nullptr) << "closing under running work asked nothing";
        QPushButton* chosen = Drops::button(question, button);
        ASSERT_NE(chosen, nullptr);
        chosen->click();
        Drops::settle();
    };
    EXPECT_FALSE(app.window().close());
    answer(tamberlane::texts::cancelButton.c_str());
    EXPECT_TRUE(app.window().isVisible());
    EXPECT_TRUE(app.state().gate().isBusy);

    EXPECT_FALSE(app.window().close());
    answer(texts::stopAndQuitButton.c_str());
    // The work still has to see the stop and undo itself: the window waits for it.
    EXPECT_TRUE(app.window().isVisible());
    executor.runHeld();
    Drops::settle();
    EXPECT_FALSE(app.window().isVisible());
    EXPECT_FALSE(app.state().gate().isBusy);
    EXPECT_EQ(test::readFile(path), before);
}

} // namespace
} // namespace tamberlane::ui
