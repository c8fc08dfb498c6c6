#include "app/ui/BoundDialog.h"
#include "app/ui/QtTranslations.h"
#include "engine/base/Translation.h"
#include "engine/base/Version.h"
#include "tests/app/ui/MainWindowFixture.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTranslator>

namespace tamberlane::ui {
namespace {

// English from before the window is built until after it has gone, so no text is made in
// the other language.
struct EnglishInterface {
    EnglishInterface() { useLanguage(Language::english); }
    ~EnglishInterface() { useLanguage(Language::japanese); }
};

class EnglishWindowTest : private EnglishInterface, public MainWindowTest {
  protected:
    QMenu* menu(const QString& title) {
        for (QAction* item : window().menuBar()->actions()) {
            if (item->text() == title) {
                return item->menu();
            }
        }
        return nullptr;
    }
    bool shows(const QString& shown) {
        for (QLabel* label : window().findChildren<QLabel*>()) {
            if (label->isVisible() && label->text() == shown) {
                return true;
            }
        }
        return false;
    }
};

bool hasKanaOrKanji(const QString& shown) {
    for (const QChar c : shown) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) ||
            (u >= 0xFF00 && u <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

TEST_F(EnglishWindowTest, CommandsMenusAndStatusBarAreNotLeftInJapanese) {
    QStringList titles;
    for (QAction* item : window().menuBar()->actions()) {
        titles << item->text();
    }
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "View", "Help"}));

    const std::pair<Action, const char*> commands[] = {
        {Action::importFiles, "Import"},
        {Action::exportFiles, "Export"},
        {Action::newDirectory, "New Folder"},
        {Action::rename, "Rename"},
        {Action::deleteEntries, "Delete"},
        {Action::undo, "Undo"},
        {Action::redo, "Redo"},
        {Action::restore, "Recover Deleted Files"},
        {Action::imageInfo, "Disk Information"},
        {Action::sectorEditor, "Sector Editor"},
        {Action::convert, "Convert..."},
    };
    for (const auto& [which, english] : commands) {
        EXPECT_EQ(window().action(which)->text(), QString::fromUtf8(english));
    }
    for (QAction* each : window().findChildren<QAction*>()) {
        EXPECT_FALSE(hasKanaOrKanji(each->text() + each->toolTip() + each->iconText()))
            << each->text().toStdString() << " / " << each->toolTip().toStdString();
    }

    openNewImage("disk.img");
    EXPECT_TRUE(shows("0 items"));
    state().browser().importFiles({hostFile("A.TXT")});
    EXPECT_TRUE(shows("1 item")) << "one is not plural";
    clickRow("A.TXT");
    EXPECT_TRUE(shows("1 of 1 selected"));
}

TEST_F(EnglishWindowTest, TheDeleteQuestionCountsInEnglish) {
    openNewImage("disk.img");
    FileBrowserViewModel& browser = state().browser();
    browser.importFiles({hostFile("A.TXT"), hostFile("B.TXT")});
    const auto question = [this, &browser] {
        browser.requestDelete();
        QDialog* dialog = window().raisedDialog("deleteConfirmation");
        if (dialog == nullptr) {
            ADD_FAILURE() << "no delete question";
            return QString();
        }
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Delete the following files?"));
        EXPECT_NE(button(dialog, "Delete"), nullptr);
        const QString shown = dialog->findChild<QLabel*>(QStringLiteral("deleteCount"))->text();
        browser.cancelDelete();
        settle();
        return shown;
    };
    clickRow("A.TXT");
    EXPECT_EQ(question(), QStringLiteral("Delete 1 item."));
    browser.selectAll();
    EXPECT_EQ(question(), QStringLiteral("Delete 2 items."));
}

TEST_F(EnglishWindowTest, AboutNamesTheVersionAndTheLibrariesInUse) {
    QMenu* help = menu(QStringLiteral("Help"));
    ASSERT_NE(help, nullptr);
    QAction* about = nullptr;
    for (QAction* item : help->actions()) {
        if (item->text() == QStringLiteral("About Tamberlane")) {
            about = item;
        }
    }
    ASSERT_NE(about, nullptr);
    about->trigger();
    auto* shown = window().findChild<BoundDialog*>(QStringLiteral("about"));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->findChild<QLabel*>(QStringLiteral("aboutVersion"))->text(),
              QStringLiteral("Version ") + QString::fromUtf8(programVersion()));
    QStringList libraries;
    for (QLabel* row : shown->findChildren<QLabel*>(QStringLiteral("aboutLibrary"))) {
        libraries << row->text().trimmed();
    }
    ASSERT_EQ(libraries.size(), 3);
    EXPECT_EQ(libraries[0], QStringLiteral("Qt ") + QString::fromLatin1(qVersion()));
    EXPECT_TRUE(libraries[1].startsWith(QStringLiteral("ICU "))) << libraries[1].toStdString();
    EXPECT_TRUE(libraries[2].startsWith(QStringLiteral("GNU C Library ")))
        << libraries[2].toStdString();
    EXPECT_NE(button(shown, "Close"), nullptr);
}

TEST_F(EnglishWindowTest, QtsOwnJapaneseButtonsGoWhenTheInterfaceTurnsEnglish) {
    const auto installed = [] {
        return QCoreApplication::instance()->findChild<QTranslator*>(
                   QStringLiteral("qtTranslations")) != nullptr;
    };
    useLanguage(Language::japanese);
    installQtTranslations();
    const bool japaneseInstalled = installed();
    useLanguage(Language::english);
    installQtTranslations();
    EXPECT_FALSE(installed());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    if (!japaneseInstalled) {
        GTEST_SKIP() << "Qt's Japanese translations are not installed here";
    }
}

} // namespace
} // namespace tamberlane::ui
