#include "app/ui/MainWindowActions.h"

#include "app/state/ApplicationState.h"
#include "app/ui/Bindings.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/Translated.h"
#include "app/ui/UiSettings.h"
#include "app/ui/UiTexts.h"
#include "app/ui/WindowParts.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include <functional>
#include <optional>
#include <vector>

namespace tamberlane::ui {

namespace {

enum class Menu { none, file, edit, view, help };

// Where a command sits in the menu bar; a separator parts one group from the next.
struct MenuPlace {
    Menu menu = Menu::none;
    int group = 0;
};

struct CommandRow {
    // None for a command that no enablement rule names.
    std::optional<Action> key;
    Text title;
    QIcon icon;
    // Tooltip and status tip.
    std::optional<Text> help;
    // The shorter title of a tool button.
    std::optional<Text> iconText;
    QList<QKeySequence> keys;
    MenuPlace place;
    std::function<void()> run;
    // A command without a key is enabled as this one is, or always.
    std::optional<Action> enabledAs = std::nullopt;
};

} // namespace

MainWindowActions::MainWindowActions(MainWindowView& window, ApplicationState& state,
                                     UiSettings& settings)
    : QObject(&window), window_(window), state_(state), settings_(settings) {
    createActions();
}

QAction* MainWindowActions::action(Action which) const {
    const auto found = actions_.find(which);
    return found == actions_.end() ? nullptr : found->second;
}

void MainWindowActions::createActions() {
    FileBrowserViewModel& browser = state_.browser();
    DiskImageViewModel& image = state_.image();
    MainWindowView& window = window_;

    // In menu order within each menu.
    // clang-format off
    const std::vector<CommandRow> rows = {
        {Action::open, texts::openImageAction, themedIcon("folder", QStyle::SP_DirIcon),
         texts::openHelp, texts::openButton, {QKeySequence(QKeySequence::Open)}, {Menu::file, 0},
         [&window] { window.openWithPanel(false); }},
        {std::nullopt, texts::openManualAction, {}, std::nullopt, std::nullopt,
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, {Menu::file, 1},
         [&window] { window.openWithPanel(true); }, Action::open},
        {Action::newImage, texts::newImageAction, themedIcon("document-new", QStyle::SP_FileIcon),
         texts::newHelp, texts::newButton, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)},
         {Menu::file, 2}, [&image] { image.showNewImageDialog = true; }},
        {Action::importFiles, texts::importTool,
         themedIcon("document-open", QStyle::SP_DialogOpenButton), texts::importHelp, std::nullopt,
         {QKeySequence(Qt::CTRL | Qt::Key_I)}, {Menu::file, 3},
         [&window] { window.importWithPanel(); }},
        {Action::exportFiles, texts::exportTool,
         themedIcon("document-save-as", QStyle::SP_DialogSaveButton), texts::exportHelp, std::nullopt,
         {QKeySequence(Qt::CTRL | Qt::Key_E)}, {Menu::file, 3},
         [&window] { window.exportSelection(); }},
        {Action::convert, texts::convertTool, themedIcon("view-refresh", QStyle::SP_BrowserReload),
         texts::convertHelp, std::nullopt, {}, {Menu::file, 4},
         [&image] { image.showConvertDialog = true; }},
        {Action::imageInfo, texts::infoTool,
         themedIcon("document-properties", QStyle::SP_MessageBoxInformation), texts::infoHelp,
         std::nullopt, {QKeySequence(Qt::ALT | Qt::Key_Return)}, {Menu::file, 4},
         [&image] { image.showDiskInfoDialog = true; }},
        {Action::checkVolume, texts::checkVolumeAction,
         themedIcon("system-search", QStyle::SP_FileDialogContentsView), texts::checkVolumeHelp,
         std::nullopt, {}, {Menu::file, 4}, [this] { state_.openVolumeCheck(); }},
        {Action::close, texts::closeAction, {}, std::nullopt, std::nullopt, {}, {Menu::file, 5},
         [&window, &image] { window.whenEditsMayGo([&image] { image.closeImage(); }); }},
        {std::nullopt, texts::quitAction, {}, std::nullopt, std::nullopt, {QKeySequence(QKeySequence::Quit)},
         {Menu::file, 6}, [&window] { window.close(); }},

        {Action::undo, texts::undoAction, themedIcon("edit-undo", QStyle::SP_ArrowBack),
         texts::undoHelp, std::nullopt, {QKeySequence(QKeySequence::Undo)}, {Menu::edit, 0},
         [&browser] { browser.undo(); }},
        {Action::redo, texts::redoAction, themedIcon("edit-redo", QStyle::SP_ArrowForward),
         texts::redoHelp, std::nullopt, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
         {Menu::edit, 0}, [&browser] { browser.redo(); }},
        {Action::copy, texts::copyAction, themedIcon("edit-copy", "edit-copy"), std::nullopt, std::nullopt,
         {QKeySequence(QKeySequence::Copy)}, {Menu::edit, 1},
         [&browser] { browser.copySelectedEntries(); }},
        {Action::cut, texts::cutAction, themedIcon("edit-cut", "edit-cut"), std::nullopt, std::nullopt,
         {QKeySequence(QKeySequence::Cut)}, {Menu::edit, 1},
         [&browser] { browser.cutSelectedEntries(); }},
        {Action::paste, texts::pasteAction, themedIcon("edit-paste", "edit-paste"), std::nullopt,
         std::nullopt, {QKeySequence(QKeySequence::Paste)}, {Menu::edit, 1},
         [&browser] { browser.pasteEntries(); }},
        {Action::selectAll, texts::selectAllAction, {}, std::nullopt, std::nullopt,
         {QKeySequence(QKeySequence::SelectAll)}, {Menu::edit, 2},
         [&browser] { browser.selectAll(); }},
        {Action::rename, texts::renameTool, themedIcon("edit-rename", "document-edit"),
         texts::renameHelp, std::nullopt, {QKeySequence(Qt::Key_F2)}, {Menu::edit, 3},
         [&browser] { browser.prepareRename(); }},
        {Action::newDirectory, texts::newFolderTool,
         themedIcon("folder-new", QStyle::SP_FileDialogNewFolder), texts::newFolderHelp, std::nullopt,
         {}, {Menu::edit, 3}, [&browser] { browser.requestNewDirectory(); }},
        {Action::deleteEntries, texts::deleteAction,
         themedIcon("edit-delete", QStyle::SP_TrashIcon), texts::deleteHelp, texts::deleteTool,
         {QKeySequence(QKeySequence::Delete)}, {Menu::edit, 3},
         [&browser] { browser.requestDelete(); }},
        {Action::restore, texts::restoreTool, themedIcon("edit-undo-history", "document-revert"),
         texts::restoreHelp, std::nullopt, {}, {Menu::edit, 4},
         [&browser] { browser.openDeletedFiles(); }},

        {Action::reload, texts::reloadAction, themedIcon("view-refresh", QStyle::SP_BrowserReload),
         std::nullopt, std::nullopt, {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)},
         {Menu::view, 0}, [&window] { window.reloadOrAskToReopen(); }},
        {Action::textEditor, texts::textEditorAction,
         themedIcon("accessories-text-editor", QStyle::SP_FileIcon), texts::textHelp,
         texts::textTool, {}, {Menu::view, 1}, [&browser] { browser.openTextEditor(); }},
        {Action::hexViewer, texts::hexViewerAction, numberSquareIcon(), texts::hexHelp,
         texts::hexTool, {}, {Menu::view, 1}, [&browser] { browser.openHexViewer(); }},
        {Action::sectorEditor, texts::sectorEditorAction,
         themedIcon("media-flash", QStyle::SP_DriveHDIcon), texts::sectorHelp, texts::sectorTool,
         {}, {Menu::view, 1}, [this] { state_.openSectorEditor(); }},

        {std::nullopt, texts::aboutAction, themedIcon("help-about", QStyle::SP_MessageBoxInformation),
         std::nullopt, std::nullopt, {}, {Menu::help, 0}, [&window] { window.showAbout(); }},

        // The list's own.
        {Action::navigateUp, texts::upAction, {}, std::nullopt, std::nullopt,
         {QKeySequence(Qt::ALT | Qt::Key_Up)}, {}, [&browser] { browser.navigateUp(); }},
    };
    // clang-format on

    for (const CommandRow& row : rows) {
        auto* made = new QAction(row.icon, text(row.title), &window_);
        if (row.help) {
            made->setToolTip(text(*row.help));
            made->setStatusTip(text(*row.help));
        }
        if (row.iconText) {
            made->setIconText(text(*row.iconText));
        }
        made->setShortcuts(row.keys);
        connect(made, &QAction::triggered, this, row.run);
        if (row.key) {
            // The window's own keys work wherever the focus is inside it.
            made->setShortcutContext(Qt::WindowShortcut);
            window_.addAction(made);
            actions_[*row.key] = made;
        } else {
            windowCommands_[made] = row.enabledAs;
        }
        if (row.place.menu != Menu::none) {
            menuItems_.push_back({made, static_cast<int>(row.place.menu), row.place.group});
        }
    }
}

void MainWindowActions::fillMenus(QMenuBar* bar) {
    const Text titles[] = {{}, texts::fileMenu, texts::editMenu, texts::viewMenu, texts::helpMenu};
    std::map<int, QMenu*> menus;
    std::map<QMenu*, int> lastGroup;
    for (int menu = 1; menu <= 4; ++menu) {
        menus[menu] = bar->addMenu(text(titles[menu]));
    }
    for (const MenuItem& item : menuItems_) {
        QMenu* menu = menus[item.menu];
        const auto last = lastGroup.find(menu);
        if (last != lastGroup.end() && last->second != item.group) {
            menu->addSeparator();
        }
        lastGroup[menu] = item.group;
        menu->addAction(item.action);
    }

    // The recent images follow the command that opens one.
    QMenu* file = menus[static_cast<int>(Menu::file)];
    recentMenu_ = new QMenu(text(texts::recentMenu), file);
    const QList<QAction*> fileItems = file->actions();
    const qsizetype afterOpen = fileItems.indexOf(action(Action::open)) + 1;
    file->insertMenu(afterOpen < fileItems.size() ? fileItems[afterOpen] : nullptr, recentMenu_);
    rebuildRecentMenu();

    QMenu* edit = menus[static_cast<int>(Menu::edit)];
    edit->addSeparator();
    fillLongNamesMenu(edit->addMenu(text(texts::longNamesMenu)));
}

void MainWindowActions::fillLongNamesMenu(QMenu* menu) {
    auto* group = new QActionGroup(menu);
    const LongNamePolicy remembered = settings_.longNamePolicy();
    state_.browser().longNamePolicy = remembered;
    const std::pair<LongNamePolicy, Text> choices[] = {
        {LongNamePolicy::automatic, texts::longNamesAutomatic},
        {LongNamePolicy::always, texts::longNamesAlways},
        {LongNamePolicy::never, texts::longNamesNever},
    };
    for (const auto& [policy, label] : choices) {
        QAction* choice = menu->addAction(text(label));
        choice->setCheckable(true);
        choice->setChecked(policy == remembered);
        choice->setObjectName(QStringLiteral("longNames_") +
                              QString::fromUtf8(std::string(LongNamePolicies::nameOf(policy))));
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, policy = policy] {
            state_.browser().longNamePolicy = policy;
            settings_.setLongNamePolicy(policy);
        });
    }
}

void MainWindowActions::rebuildRecentMenu() {
    recentMenu_->clear();
    const QStringList recent = settings_.recentImages();
    for (const QString& path : recent) {
        QAction* entry = recentMenu_->addAction(path);
        connect(entry, &QAction::triggered, this, [this, path] { window_.openImage(path); });
    }
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(text(texts::clearRecent));
    clear->setEnabled(!recent.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        settings_.clearRecentImages();
        rebuildRecentMenu();
    });
    recentMenu_->setEnabled(!recent.isEmpty());
}

void MainWindowActions::bind(Bindings& bindings) {
    bindings.listen(state_.image().imageReplaced(),
                    std::function<void(const std::shared_ptr<DiskImage>&)>(
                        [this](const std::shared_ptr<DiskImage>& opened) {
                            if (opened) {
                                settings_.addRecentImage(
                                    QString::fromStdString(opened->layout().url.string()));
                                rebuildRecentMenu();
                            }
                        }));
    bindings.listen(state_.enablementChanged(),
                    std::function<void()>([this] { applyEnablement(); }));
    applyEnablement();
}

void MainWindowActions::applyEnablement() {
    // The history buttons name the step they take back or do again.
    const auto stepHelp = [](const std::string& step, Text help, Text named) {
        return step.empty() ? text(help) : text(named).arg(fromUtf8(step));
    };
    action(Action::undo)
        ->setToolTip(
            stepHelp(state_.browser().undoStepName(), texts::undoHelp, texts::undoStepHelp));
    action(Action::redo)
        ->setToolTip(
            stepHelp(state_.browser().redoStepName(), texts::redoHelp, texts::redoStepHelp));
    const ActionEnablement enablement = state_.enablement();
    for (const auto& [which, each] : actions_) {
        each->setEnabled(enablement.isEnabled(which));
    }
    for (const auto& [each, like] : windowCommands_) {
        each->setEnabled(!like || enablement.isEnabled(*like));
    }
}

} // namespace tamberlane::ui
