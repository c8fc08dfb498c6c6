#include "app/ui/MainWindowView.h"

#include "app/state/ApplicationState.h"
#include "app/state/StateTexts.h"
#include "app/ui/Alerts.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/CapacityBar.h"
#include "app/ui/DeletedFilesWindow.h"
#include "app/ui/DirectoryTreeView.h"
#include "app/ui/FileDialogs.h"
#include "app/ui/FileListModel.h"
#include "app/ui/FileListView.h"
#include "app/ui/Format.h"
#include "app/ui/HexViewerWindow.h"
#include "app/ui/Icons.h"
#include "app/ui/ImageDialogs.h"
#include "app/ui/ImageFiles.h"
#include "app/ui/SectorEditorWindow.h"
#include "app/ui/TextEditorWindow.h"
#include "app/ui/UiSettings.h"
#include "app/ui/UiTexts.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>

namespace tamberlane::ui {

namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QFrame* separator(QFrame::Shape shape) {
    auto* line = new QFrame;
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* iconLabel(const QIcon& icon, int size) {
    auto* label = new QLabel;
    label->setPixmap(icon.pixmap(size, size));
    return label;
}

QFont captionFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

} // namespace

MainWindowView::MainWindowView(ApplicationState& state, UiSettings& settings, QWidget* parent)
    : QMainWindow(parent), state_(state), settings_(settings) {
    setMinimumSize(900, 400);
    resize(1600, 900);
    setAcceptDrops(true);
    createActions();
    createMenus();

    auto* toolbar = addToolBar(QStringLiteral("toolbar"));
    toolbar->setObjectName(QStringLiteral("windowToolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->addAction(action(Action::open));
    toolbar->addAction(action(Action::newImage));

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(createSidebar());
    splitter->addWidget(createDetailArea());
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 1300});
    splitter->setChildrenCollapsible(false);
    setCentralWidget(splitter);
    createStatusBar();

    toasts_ = new QWidget(splitter);
    toasts_->setAttribute(Qt::WA_TransparentForMouseEvents);
    toasts_->setLayout(new QVBoxLayout);
    toasts_->layout()->setSpacing(4);
    toasts_->layout()->setContentsMargins(0, 8, 0, 0);

    bindState();

    // Emulators write in place and take no lock, and no file notification says that a
    // program opened the file for writing: a look every second covers all three ways.
    fileWatch_ = new QTimer(this);
    fileWatch_->setInterval(std::chrono::seconds(1));
    connect(fileWatch_, &QTimer::timeout, this, [this] { state_.image().checkImageFile(); });
    fileWatch_->start();
    bindDialogs();
    bindAlerts();
    bindToasts();
}

MainWindowView::~MainWindowView() {
    // The dialogs and the list stop listening before the widgets they update go away.
    bindings_.clear();
}

QAction* MainWindowView::action(Action which) const {
    const auto found = actions_.find(which);
    return found == actions_.end() ? nullptr : found->second;
}

QAction* MainWindowView::makeAction(Action which, const char* title, const QIcon& icon,
                                    const char* help) {
    auto* made = new QAction(icon, text(title), this);
    if (help != nullptr) {
        made->setToolTip(text(help));
        made->setStatusTip(text(help));
    }
    actions_[which] = made;
    return made;
}

void MainWindowView::createActions() {
    FileBrowserViewModel& browser = state_.browser();
    DiskImageViewModel& image = state_.image();

    QAction* open = makeAction(Action::open, texts::openImageAction,
                               themedIcon("folder", QStyle::SP_DirIcon), texts::openHelp);
    open->setIconText(text(texts::openButton));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] { openWithPanel(false); });

    openManualAction_ = new QAction(text(texts::openManualAction), this);
    openManualAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(openManualAction_, &QAction::triggered, this, [this] { openWithPanel(true); });

    QAction* newImage = makeAction(Action::newImage, texts::newImageAction,
                                   themedIcon("document-new", QStyle::SP_FileIcon), texts::newHelp);
    newImage->setIconText(text(texts::newButton));
    newImage->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    connect(newImage, &QAction::triggered, this, [&image] { image.showNewImageDialog = true; });

    QAction* close = makeAction(Action::close, texts::closeAction, {}, nullptr);
    connect(close, &QAction::triggered, this,
            [this, &image] { whenEditsMayGo([&image] { image.closeImage(); }); });

    quitAction_ = new QAction(text(texts::quitAction), this);
    quitAction_->setShortcut(QKeySequence::Quit);
    connect(quitAction_, &QAction::triggered, this, &QWidget::close);

    QAction* undo = makeAction(Action::undo, texts::undoAction,
                               themedIcon("edit-undo", QStyle::SP_ArrowBack), texts::undoHelp);
    undo->setShortcut(QKeySequence::Undo);
    connect(undo, &QAction::triggered, this, [&browser] { browser.undo(); });
    QAction* redo = makeAction(Action::redo, texts::redoAction,
                               themedIcon("edit-redo", QStyle::SP_ArrowForward), texts::redoHelp);
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    connect(redo, &QAction::triggered, this, [&browser] { browser.redo(); });

    QAction* selectAll = makeAction(Action::selectAll, texts::selectAllAction, {}, nullptr);
    selectAll->setShortcut(QKeySequence::SelectAll);
    connect(selectAll, &QAction::triggered, this, [&browser] { browser.selectAll(); });

    QAction* remove =
        makeAction(Action::deleteEntries, texts::deleteAction,
                   themedIcon("edit-delete", QStyle::SP_TrashIcon), texts::deleteHelp);
    remove->setIconText(text(texts::deleteTool));
    remove->setShortcut(QKeySequence::Delete);
    connect(remove, &QAction::triggered, this, [&browser] { browser.requestDelete(); });

    QAction* reload = makeAction(Action::reload, texts::reloadAction,
                                 themedIcon("view-refresh", QStyle::SP_BrowserReload), nullptr);
    reload->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
    connect(reload, &QAction::triggered, this, [this, &browser] {
        DiskImageViewModel& image = state_.image();
        if (!image.fileNeedsReopen()) {
            browser.loadDirectory();
            return;
        }
        // What memory holds is no longer the file: a reload can only show it by reading it
        // again.
        askToReopen(this, fromUtf8(*image.fileProblem.get()),
                    [this] { state_.image().reopenCurrentImage(); });
    });

    QAction* up = makeAction(Action::navigateUp, texts::upAction, {}, nullptr);
    up->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    addAction(up);
    connect(up, &QAction::triggered, this, [&browser] { browser.navigateUp(); });

    QAction* exportFiles =
        makeAction(Action::exportFiles, texts::exportTool,
                   themedIcon("document-save-as", QStyle::SP_DialogSaveButton), texts::exportHelp);
    connect(exportFiles, &QAction::triggered, this, [this] { exportSelection(); });
    QAction* importFiles =
        makeAction(Action::importFiles, texts::importTool,
                   themedIcon("document-open", QStyle::SP_DialogOpenButton), texts::importHelp);
    connect(importFiles, &QAction::triggered, this, [this] { importWithPanel(); });
    QAction* newFolder =
        makeAction(Action::newDirectory, texts::newFolderTool,
                   themedIcon("folder-new", QStyle::SP_FileDialogNewFolder), texts::newFolderHelp);
    connect(newFolder, &QAction::triggered, this, [&browser] { browser.requestNewDirectory(); });
    QAction* rename = makeAction(Action::rename, texts::renameTool,
                                 themedIcon("edit-rename", "document-edit"), texts::renameHelp);
    rename->setShortcut(QKeySequence(Qt::Key_F2));
    connect(rename, &QAction::triggered, this, [&browser] { browser.prepareRename(); });

    QAction* info = makeAction(Action::imageInfo, texts::infoTool,
                               themedIcon("document-properties", QStyle::SP_MessageBoxInformation),
                               texts::infoHelp);
    connect(info, &QAction::triggered, this, [&image] { image.showDiskInfoDialog = true; });
    QAction* convert =
        makeAction(Action::convert, texts::convertTool,
                   themedIcon("view-refresh", QStyle::SP_BrowserReload), texts::convertHelp);
    connect(convert, &QAction::triggered, this, [&image] { image.showConvertDialog = true; });
    QAction* restore =
        makeAction(Action::restore, texts::restoreTool,
                   themedIcon("edit-undo-history", "document-revert"), texts::restoreHelp);
    connect(restore, &QAction::triggered, this, [&browser] { browser.openDeletedFiles(); });

    QAction* textEditor =
        makeAction(Action::textEditor, texts::textEditorAction,
                   themedIcon("accessories-text-editor", QStyle::SP_FileIcon), texts::textHelp);
    textEditor->setIconText(text(texts::textTool));
    connect(textEditor, &QAction::triggered, this, [&browser] { browser.openTextEditor(); });
    QAction* hexViewer =
        makeAction(Action::hexViewer, texts::hexViewerAction, numberSquareIcon(), texts::hexHelp);
    hexViewer->setIconText(text(texts::hexTool));
    connect(hexViewer, &QAction::triggered, this, [&browser] { browser.openHexViewer(); });
    QAction* sectorEditor =
        makeAction(Action::sectorEditor, texts::sectorEditorAction,
                   themedIcon("media-flash", QStyle::SP_DriveHDIcon), texts::sectorHelp);
    sectorEditor->setIconText(text(texts::sectorTool));
    connect(sectorEditor, &QAction::triggered, this, [this] { state_.openSectorEditor(); });

    QAction* copy =
        makeAction(Action::copy, texts::copyAction, themedIcon("edit-copy", "edit-copy"), nullptr);
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [&browser] { browser.copySelectedEntries(); });
    QAction* cut =
        makeAction(Action::cut, texts::cutAction, themedIcon("edit-cut", "edit-cut"), nullptr);
    cut->setShortcut(QKeySequence::Cut);
    connect(cut, &QAction::triggered, this, [&browser] { browser.cutSelectedEntries(); });
    QAction* paste = makeAction(Action::paste, texts::pasteAction,
                                themedIcon("edit-paste", "edit-paste"), nullptr);
    paste->setShortcut(QKeySequence::Paste);
    connect(paste, &QAction::triggered, this, [&browser] { browser.pasteEntries(); });

    for (const auto& [which, each] : actions_) {
        each->setShortcutContext(Qt::WindowShortcut);
        addAction(each);
    }
}

void MainWindowView::createMenus() {
    QMenu* file = menuBar()->addMenu(text(texts::fileMenu));
    file->addAction(action(Action::open));
    recentMenu_ = file->addMenu(text(texts::recentMenu));
    file->addSeparator();
    file->addAction(openManualAction_);
    file->addSeparator();
    file->addAction(action(Action::newImage));
    file->addSeparator();
    file->addAction(action(Action::close));
    file->addSeparator();
    file->addAction(quitAction_);
    rebuildRecentMenu();

    QMenu* edit = menuBar()->addMenu(text(texts::editMenu));
    edit->addAction(action(Action::undo));
    edit->addAction(action(Action::redo));
    edit->addSeparator();
    edit->addAction(action(Action::copy));
    edit->addAction(action(Action::cut));
    edit->addAction(action(Action::paste));
    edit->addSeparator();
    edit->addAction(action(Action::selectAll));
    edit->addSeparator();
    edit->addAction(action(Action::deleteEntries));
    edit->addSeparator();
    createLongNamesMenu(edit->addMenu(text(texts::longNamesMenu)));

    QMenu* view = menuBar()->addMenu(text(texts::viewMenu));
    view->addAction(action(Action::reload));
    view->addSeparator();
    view->addAction(action(Action::textEditor));
    view->addAction(action(Action::hexViewer));
    view->addAction(action(Action::sectorEditor));
}

void MainWindowView::createLongNamesMenu(QMenu* menu) {
    auto* group = new QActionGroup(menu);
    const LongNamePolicy remembered = settings_.longNamePolicy();
    state_.browser().longNamePolicy = remembered;
    const std::pair<LongNamePolicy, const char*> choices[] = {
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

void MainWindowView::rebuildRecentMenu() {
    recentMenu_->clear();
    const QStringList recent = settings_.recentImages();
    for (const QString& path : recent) {
        QAction* entry = recentMenu_->addAction(path);
        connect(entry, &QAction::triggered, this, [this, path] { openImage(path); });
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

QWidget* MainWindowView::createSidebar() {
    sidebarPages_ = new QStackedWidget;
    sidebarPages_->setMinimumWidth(150);
    sidebarPages_->setMaximumWidth(500);

    auto* placeholder = new QLabel(text(texts::treePlaceholder));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setForegroundRole(QPalette::PlaceholderText);
    sidebarPages_->addWidget(placeholder);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tree_ = new DirectoryTreeView(state_.browser());
    layout->addWidget(tree_, 1);
    layout->addWidget(separator(QFrame::HLine));

    auto* capacity = new QWidget;
    capacity->setAutoFillBackground(true);
    capacity->setBackgroundRole(QPalette::Button);
    auto* rows = new QVBoxLayout(capacity);
    rows->setContentsMargins(12, 10, 12, 10);
    rows->setSpacing(6);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(4);
    auto* heading = new QLabel(text(texts::capacityTitle));
    QFont bold = captionFont(heading->font());
    bold.setBold(true);
    heading->setFont(bold);
    capacityTitle_ = new QLabel;
    capacityTitle_->setFont(captionFont(capacityTitle_->font()));
    capacityTitle_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    titleRow->addWidget(heading);
    titleRow->addWidget(capacityTitle_, 1);
    rows->addLayout(titleRow);
    capacityBar_ = new CapacityBar;
    capacityBar_->setAccessibleName(text(texts::capacityTitle));
    rows->addWidget(capacityBar_);
    auto* sizes = new QHBoxLayout;
    capacityFree_ = new QLabel;
    capacityTotal_ = new QLabel;
    for (QLabel* label : {capacityFree_, capacityTotal_}) {
        label->setFont(captionFont(label->font()));
        label->setForegroundRole(QPalette::PlaceholderText);
    }
    sizes->addWidget(capacityFree_);
    sizes->addStretch(1);
    sizes->addWidget(capacityTotal_);
    rows->addLayout(sizes);
    layout->addWidget(capacity);
    sidebarPages_->addWidget(page);

    return sidebarPages_;
}

QWidget* MainWindowView::createToolRow() {
    // A tool bar, so that buttons the width cannot hold move into its overflow menu
    // instead of squeezing the sidebar.
    auto* row = new QToolBar;
    row->setMovable(false);
    row->setFloatable(false);
    row->setContentsMargins(8, 2, 8, 2);
    row->setIconSize(QSize(16, 16));
    const auto group = [this, row](std::initializer_list<Action> members) {
        if (!row->actions().isEmpty()) {
            row->addSeparator();
        }
        for (Action member : members) {
            auto* button = new QToolButton;
            button->setDefaultAction(action(member));
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            button->setAutoRaise(false);
            button->setAccessibleName(action(member)->text());
            row->addWidget(button);
        }
    };
    group({Action::exportFiles, Action::importFiles});
    group({Action::newDirectory, Action::rename, Action::deleteEntries});
    group({Action::textEditor, Action::hexViewer});
    group({Action::sectorEditor, Action::imageInfo, Action::convert, Action::restore});
    return row;
}

QWidget* MainWindowView::createDetailArea() {
    detailPages_ = new QStackedWidget;

    auto* placeholder = new QWidget;
    auto* placeholderLayout = new QVBoxLayout(placeholder);
    placeholderLayout->addStretch(1);
    QLabel* disc = iconLabel(themedIcon("media-floppy", QStyle::SP_DriveFDIcon), 64);
    disc->setAlignment(Qt::AlignCenter);
    placeholderLayout->addWidget(disc);
    for (const char* line :
         {texts::listPlaceholderTitle, texts::listPlaceholderDrop, texts::listPlaceholderFormats}) {
        auto* label = new QLabel(text(line));
        label->setAlignment(Qt::AlignCenter);
        if (line != texts::listPlaceholderTitle) {
            label->setForegroundRole(QPalette::PlaceholderText);
        }
        placeholderLayout->addWidget(label);
    }
    placeholderLayout->addStretch(1);
    detailPages_->addWidget(placeholder);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    toolRow_ = createToolRow();
    layout->addWidget(toolRow_);
    layout->addWidget(separator(QFrame::HLine));
    crumbs_ = new QWidget;
    crumbs_->setAccessibleName(text(texts::pathCrumbsName));
    new QHBoxLayout(crumbs_);
    crumbs_->layout()->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(crumbs_);
    layout->addWidget(separator(QFrame::HLine));

    readOnlyBanner_ = new QWidget;
    readOnlyBanner_->setAutoFillBackground(true);
    readOnlyBanner_->setStyleSheet(QStringLiteral("background: rgba(230, 97, 0, 40);"));
    auto* bannerLayout = new QHBoxLayout(readOnlyBanner_);
    bannerLayout->setContentsMargins(8, 4, 8, 4);
    bannerLayout->addWidget(iconLabel(themedIcon("changes-prevent", "emblem-readonly"), 16));
    readOnlyText_ = new QLabel(text(texts::readOnlyBanner));
    readOnlyText_->setWordWrap(true);
    bannerLayout->addWidget(readOnlyText_, 1);
    reopenButton_ = new QPushButton(text(texts::reopenButton));
    reopenButton_->setVisible(false);
    connect(reopenButton_, &QPushButton::clicked, this,
            [this] { state_.image().reopenCurrentImage(); });
    bannerLayout->addWidget(reopenButton_);
    readOnlyBanner_->setAccessibleName(text(texts::readOnlyBanner));
    layout->addWidget(readOnlyBanner_);

    model_ = new FileListModel(this);
    list_ = new FileListView;
    list_->setModel(model_);
    list_->setAccessibleName(text(texts::listName));
    list_->setFrameShape(QFrame::NoFrame);
    QHeaderView* header = list_->horizontalHeader();
    header->setSectionResizeMode(FileListModel::nameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(FileListModel::sizeColumn, QHeaderView::Interactive);
    header->resizeSection(FileListModel::sizeColumn, 100);
    header->resizeSection(FileListModel::dateColumn, 150);
    header->resizeSection(FileListModel::attributeColumn, 60);
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    layout->addWidget(list_, 1);
    emptyDirectory_ = new QLabel(list_->viewport());
    emptyDirectory_->setObjectName(QStringLiteral("emptyDirectory"));
    emptyDirectory_->setText(text(texts::emptyDirectory));
    emptyDirectory_->setAlignment(Qt::AlignCenter);
    emptyDirectory_->setForegroundRole(QPalette::PlaceholderText);
    emptyDirectory_->setAttribute(Qt::WA_TransparentForMouseEvents);
    detailPages_->addWidget(page);

    FileBrowserViewModel& browser = state_.browser();
    connect(header, &QHeaderView::sectionClicked, this, [this, &browser](int section) {
        static constexpr SortKey keys[] = {SortKey::name, SortKey::size, SortKey::date};
        if (section >= 0 && section < FileListModel::attributeColumn) {
            browser.sort(keys[section]);
        }
        applySortIndicator();
    });
    connect(list_, &QAbstractItemView::doubleClicked, this,
            [this, &browser](const QModelIndex& index) {
                if (index.isValid() && state_.enablement().isEnabled(Action::navigate)) {
                    browser.navigateToDirectory(model_->entryAt(index.row()));
                }
            });
    connect(list_, &FileListView::enterPressed, this, [this, &browser] {
        if (state_.enablement().isEnabled(Action::navigate)) {
            browser.handleEnterKey();
        }
    });
    connect(list_, &FileListView::upPressed, this,
            [this] { action(Action::navigateUp)->trigger(); });
    connect(list_, &FileListView::filesDropped, this,
            [&browser](const std::vector<std::filesystem::path>& files) {
                browser.importFiles(files);
            });
    connect(list_, &FileListView::dragExportFailed, this, [this] {
        state_.errors().addToast(
            AppError::make(AppErrorType::io, texts::exportTool, texts::dragExportFailed));
    });
    connect(list_, &QWidget::customContextMenuRequested, this, &MainWindowView::showContextMenu);
    list_->setDragCopier(
        [&browser](std::vector<FileEntry> files) { return browser.copyForDrag(std::move(files)); });
    list_->setDragSource([&browser] { return browser.selectedFileEntries(); });
    return detailPages_;
}

void MainWindowView::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    auto* info = new QWidget;
    auto* layout = new QHBoxLayout(info);
    layout->setContentsMargins(8, 0, 8, 0);
    statusIcon_ = iconLabel(themedIcon("media-floppy", QStyle::SP_DriveFDIcon), 16);
    statusTitle_ = new QLabel;
    statusCount_ = new QLabel;
    layout->addWidget(statusIcon_);
    layout->addWidget(statusTitle_);
    layout->addSpacing(12);
    layout->addWidget(statusCount_);

    progressGroup_ = new QWidget;
    auto* progress = new QHBoxLayout(progressGroup_);
    progress->setContentsMargins(12, 0, 0, 0);
    progressName_ = new QLabel;
    progressBar_ = new QProgressBar;
    progressBar_->setRange(0, 1000);
    progressBar_->setFixedWidth(100);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(text(texts::progressName));
    progressPercent_ = new QLabel;
    auto* cancel = new QToolButton;
    progressCancel_ = cancel;
    cancel->setIcon(themedIcon("process-stop", QStyle::SP_DialogCancelButton));
    cancel->setText(text(texts::cancelOperationButton));
    cancel->setToolTip(text(texts::cancelOperationButton));
    cancel->setAccessibleName(text(texts::cancelOperationButton));
    cancel->setAutoRaise(true);
    connect(cancel, &QToolButton::clicked, this, [this] {
        DiskImageViewModel& image = state_.image();
        if (image.isOpening) {
            image.cancelOpen();
        } else if (image.isConverting) {
            image.cancelConversion();
        } else {
            state_.browser().cancelOperation();
        }
    });
    progress->addWidget(progressName_);
    progress->addWidget(progressBar_);
    progress->addWidget(progressPercent_);
    progress->addWidget(cancel);
    layout->addWidget(progressGroup_);

    statusReadOnly_ = new QWidget;
    auto* readOnly = new QHBoxLayout(statusReadOnly_);
    readOnly->setContentsMargins(12, 0, 0, 0);
    readOnly->addWidget(iconLabel(themedIcon("changes-prevent", "emblem-readonly"), 16));
    readOnly->addWidget(new QLabel(text(texts::readOnlyBanner)));
    layout->addWidget(statusReadOnly_);
    layout->addStretch(1);
    bar->addWidget(info, 1);

    historyButtons_ = new QWidget;
    auto* history = new QHBoxLayout(historyButtons_);
    history->setContentsMargins(0, 0, 8, 0);
    history->addWidget(separator(QFrame::VLine));
    for (Action step : {Action::undo, Action::redo}) {
        auto* button = new QToolButton;
        button->setDefaultAction(action(step));
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAccessibleName(action(step)->text());
        history->addWidget(button);
    }
    bar->addPermanentWidget(historyButtons_);
    for (QLabel* label : info->findChildren<QLabel*>()) {
        label->setFont(captionFont(label->font()));
    }
}

void MainWindowView::bindState() {
    DiskImageViewModel& image = state_.image();
    FileBrowserViewModel& browser = state_.browser();

    const auto showImage = [this, &image] {
        const bool open = image.isImageOpen;
        setWindowTitle(mainWindowTitle(open, image.windowTitle.get()));
        sidebarPages_->setCurrentIndex(open ? 1 : 0);
        detailPages_->setCurrentIndex(open ? 1 : 0);
        const QString name = fromUtf8(image.windowTitle.get());
        capacityTitle_->setText(capacityTitle_->fontMetrics().elidedText(
            name, Qt::ElideMiddle, std::max(40, capacityTitle_->width())));
        capacityTitle_->setToolTip(name);
        statusIcon_->setVisible(open);
        statusTitle_->setText(open ? name : text(texts::noImageStatus));
        historyButtons_->setVisible(open);
    };
    bindings_.watch(image.isImageOpen, showImage);
    bindings_.watch(image.windowTitle, showImage);

    const auto showProtection = [this, &image] {
        const bool protectedImage =
            image.isImageOpen && (image.isWriteProtected || image.isReadOnly);
        readOnlyBanner_->setVisible(protectedImage);
        const std::optional<std::string>& problem = image.fileProblem.get();
        const QString bannerText = problem ? fromUtf8(*problem) : text(texts::readOnlyBanner);
        readOnlyText_->setText(bannerText);
        readOnlyBanner_->setAccessibleName(bannerText);
        reopenButton_->setVisible(problem.has_value());
        statusReadOnly_->setVisible(protectedImage);
        // While work runs, a drop would be taken and then dropped: the drag is refused.
        list_->setImportAllowed(image.isImageOpen && !image.isWriteProtected && !image.isReadOnly &&
                                !state_.gate().isBusy.get());
    };
    bindings_.watch(state_.gate().isBusy, showProtection);
    bindings_.watch(image.isWriteProtected, showProtection);
    bindings_.watch(image.isReadOnly, showProtection);
    bindings_.watch(image.isImageOpen, showProtection);
    bindings_.watch(image.fileProblem, showProtection);

    const auto showCapacity = [this, &image] {
        const std::int64_t total = image.totalSpace;
        capacityBar_->setRatio(total < 1 ? 0.0
                                         : static_cast<double>(image.usedSpace.get()) /
                                               static_cast<double>(total));
        capacityFree_->setText(text(texts::freeSpacePrefix) + capacityKilobytes(image.freeSpace));
        capacityTotal_->setText(text(texts::totalSpacePrefix) + capacityKilobytes(total));
    };
    bindings_.watch(image.usedSpace, showCapacity);
    bindings_.watch(image.freeSpace, showCapacity);
    bindings_.watch(image.totalSpace, showCapacity);

    bindings_.watch(browser.entries, [this] { showEntries(); });
    bindings_.watch(browser.selectedEntries, [this] { applySelectionFromState(); });
    bindings_.watch(browser.sortKey, [this] { applySortIndicator(); });
    bindings_.watch(browser.sortOrder, [this] { applySortIndicator(); });
    bindings_.watch(browser.currentPath, [this] { rebuildCrumbs(); });

    // One place in the status bar for every long piece of work: an open, a conversion and
    // a save have no measurable progress, only a name; a save cannot be stopped halfway.
    OperationGate& gate = state_.gate();
    saveDelay_ = new QTimer(this);
    saveDelay_->setSingleShot(true);
    saveDelay_->setInterval(std::chrono::milliseconds(300));
    const auto showProgress = [this, &browser, &image, &gate] {
        const bool opening = image.isOpening;
        const bool converting = image.isConverting;
        const bool saving = !gate.savingFileName.get().empty() && !saveDelay_->isActive();
        const bool measured = browser.isOperationInProgress && !opening && !converting;
        progressGroup_->setVisible(opening || converting || saving ||
                                   browser.isOperationInProgress);
        progressCancel_->setVisible(!saving);
        if (measured) {
            progressName_->setText(fromUtf8(browser.operationFileName.get()));
            progressBar_->setRange(0, 1000);
            progressBar_->setValue(static_cast<int>(browser.operationProgress.get() * 1000.0));
            progressPercent_->setText(
                QString::number(static_cast<int>(browser.operationProgress.get() * 100.0)) +
                QLatin1Char('%'));
        } else {
            progressName_->setText(
                opening  ? text(texts::openingPrefix) + fromUtf8(image.openingFileName.get())
                : saving ? text(texts::savingPrefix) + fromUtf8(gate.savingFileName.get())
                         : text(texts::converting));
            progressBar_->setRange(0, 0);
            progressPercent_->clear();
        }
    };
    connect(saveDelay_, &QTimer::timeout, this, showProgress);
    bindings_.watch(gate.savingFileName, [this, &gate, showProgress] {
        if (gate.savingFileName.get().empty()) {
            saveDelay_->stop();
        } else {
            saveDelay_->start();
        }
        showProgress();
    });
    bindings_.watch(image.isOpening, showProgress);
    bindings_.watch(image.openingFileName, showProgress);
    bindings_.watch(image.isConverting, showProgress);
    bindings_.watch(browser.isOperationInProgress, showProgress);
    bindings_.watch(browser.operationProgress, showProgress);

    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, &browser] {
                if (applyingState_) {
                    return;
                }
                std::set<EntryId> ids;
                for (const QModelIndex& row : list_->selectionModel()->selectedRows()) {
                    ids.insert(model_->entryAt(row.row()).id);
                }
                browser.setSelection(std::move(ids));
            });

    bindings_.listen(image.imageReplaced(),
                     std::function<void(const std::shared_ptr<DiskImage>&)>(
                         [this](const std::shared_ptr<DiskImage>& opened) {
                             if (opened) {
                                 settings_.addRecentImage(
                                     QString::fromStdString(opened->layout().url.string()));
                                 rebuildRecentMenu();
                             }
                         }));
    bindings_.listen(state_.enablementChanged(),
                     std::function<void()>([this] { applyEnablement(); }));
    applyEnablement();
}

void MainWindowView::applyEnablement() {
    // The history buttons name the step they take back or do again.
    const auto stepHelp = [](const std::string& step, const char* help, const char* named) {
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
    openManualAction_->setEnabled(enablement.isEnabled(Action::open));
}

void MainWindowView::showEntries() {
    const std::vector<FileEntry>& entries = state_.browser().entries.get();
    applyingState_ = true;
    model_->setEntries(entries);
    applyingState_ = false;
    emptyDirectory_->setVisible(entries.empty());
    // Scrolling the list moves the viewport's children with its rows: a list scrolled down
    // would leave the placeholder above the visible area.
    emptyDirectory_->setGeometry(list_->viewport()->rect());
    statusCount_->setText(text(texts::entryCountFormat).arg(entries.size()));
    applySelectionFromState();
}

void MainWindowView::applySelectionFromState() {
    const std::set<EntryId>& ids = state_.browser().selectedEntries.get();
    QItemSelection selection;
    for (EntryId id : ids) {
        const int row = model_->rowOf(id);
        if (row >= 0) {
            selection.select(model_->index(row, 0),
                             model_->index(row, FileListModel::columnCount_ - 1));
        }
    }
    applyingState_ = true;
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    applyingState_ = false;
}

void MainWindowView::applySortIndicator() {
    const FileBrowserViewModel& browser = state_.browser();
    const int column = static_cast<int>(browser.sortKey.get());
    const Qt::SortOrder order =
        browser.sortOrder.get() == SortOrder::ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    list_->horizontalHeader()->setSortIndicator(column, order);
}

void MainWindowView::rebuildCrumbs() {
    QLayout* layout = crumbs_->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const DiskPath current = state_.browser().currentPath.get();
    const auto crumb = [this, layout](const QIcon& icon, const QString& title, DiskPath target) {
        auto* button = new QToolButton;
        button->setAutoRaise(true);
        button->setIcon(icon);
        button->setText(title);
        button->setAccessibleName(title.isEmpty() ? text(texts::rootName) : title);
        button->setToolButtonStyle(title.isEmpty() ? Qt::ToolButtonIconOnly
                                                   : Qt::ToolButtonTextOnly);
        connect(button, &QToolButton::clicked, this,
                [this, target = std::move(target)] { state_.browser().navigateToPath(target); });
        layout->addWidget(button);
    };
    crumb(themedIcon("drive-harddisk", QStyle::SP_DriveHDIcon), {}, DiskPath::root());
    DiskPath prefix;
    for (const std::string& component : current.components) {
        layout->addWidget(iconLabel(themedIcon("go-next", QStyle::SP_ArrowRight), 12));
        prefix = prefix.appending(component);
        crumb({}, fromUtf8(component), prefix);
    }
    static_cast<QHBoxLayout*>(layout)->addStretch(1);
}

void MainWindowView::showContextMenu(const QPoint& position) {
    QMenu menu(this);
    if (state_.browser().entries.get().empty()) {
        menu.addAction(action(Action::paste));
        menu.addAction(action(Action::importFiles));
        menu.addAction(action(Action::newDirectory));
    } else {
        menu.addAction(action(Action::selectAll));
        menu.addSeparator();
        menu.addActions({action(Action::copy), action(Action::cut), action(Action::paste)});
        menu.addSeparator();
        menu.addActions({action(Action::importFiles), action(Action::exportFiles),
                         action(Action::newDirectory)});
        menu.addSeparator();
        menu.addAction(action(Action::deleteEntries));
        QAction* rename = menu.addAction(action(Action::rename)->icon(), text(texts::renameAction));
        rename->setEnabled(action(Action::rename)->isEnabled());
        connect(rename, &QAction::triggered, action(Action::rename), &QAction::trigger);
        menu.addSeparator();
        menu.addActions({action(Action::textEditor), action(Action::hexViewer)});
    }
    menu.exec(list_->viewport()->mapToGlobal(position));
}

void MainWindowView::raiseOn(const std::string& name, Observable<bool, true>& flag,
                             DialogFactory make, std::function<void()> dismiss) {
    bindings_.watch(flag,
                    [this, name, &flag, make = std::move(make), dismiss = std::move(dismiss)] {
                        QPointer<BoundDialog>& shown = dialogs_[name];
                        if (flag && shown.isNull()) {
                            BoundDialog* dialog = make();
                            dialog->setObjectName(QString::fromStdString(name));
                            shown = dialog;
                            connect(dialog, &QDialog::finished, this, [&flag, dismiss] {
                                if (flag) {
                                    dismiss();
                                }
                            });
                            dialog->open();
                        } else if (!flag && !shown.isNull()) {
                            shown->release();
                        }
                    });
}

QDialog* MainWindowView::raisedDialog(const std::string& name) const {
    const auto found = dialogs_.find(name);
    return found == dialogs_.end() ? nullptr : found->second.data();
}

void MainWindowView::bindDialogs() {
    DiskImageViewModel& image = state_.image();
    FileBrowserViewModel& browser = state_.browser();
    raiseOn(
        "manualParameters", image.showManualParamsDialog,
        [this, &image] { return makeManualParameters(this, image); },
        [&image] { image.showManualParamsDialog = false; });
    raiseOn(
        "newImage", image.showNewImageDialog,
        [this, &image] { return makeNewImage(this, image, settings_); },
        [&image] { image.showNewImageDialog = false; });
    raiseOn(
        "diskSelection", image.showDiskSelectionDialog,
        [this, &image] { return makeDiskSelection(this, image); },
        [&image] { image.showDiskSelectionDialog = false; });
    raiseOn(
        "partitionSelection", image.showPartitionSelectionDialog,
        [this, &image] { return makePartitionSelection(this, image); },
        [&image] { image.showPartitionSelectionDialog = false; });
    raiseOn(
        "diskInfo", image.showDiskInfoDialog, [this, &image] { return makeDiskInfo(this, image); },
        [&image] { image.showDiskInfoDialog = false; });
    raiseOn(
        "conversion", image.showConvertDialog,
        [this, &image] { return makeConversion(this, image, settings_); },
        [&image] {
            image.cancelConversion();
            image.showConvertDialog = false;
        });
    raiseOn(
        "deleteConfirmation", browser.showDeleteConfirmation,
        [this, &browser] { return makeDeleteConfirmation(this, browser); },
        [&browser] { browser.cancelDelete(); });
    raiseOn(
        "importClash", browser.showImportOverwriteConfirmation,
        [this, &browser] { return makeImportClash(this, browser); },
        [&browser] { browser.cancelImportOverwrite(); });
    raiseOn(
        "exportClash", browser.showExportOverwriteConfirmation,
        [this, &browser] { return makeExportClash(this, browser); },
        [&browser] { browser.cancelExportOverwrite(); });
    raiseOn(
        "newDirectory", browser.showNewDirectoryDialog,
        [this, &browser] { return makeNewDirectory(this, browser); },
        [&browser] {
            browser.showNewDirectoryDialog = false;
            browser.newDirectoryName = "";
        });
    raiseOn(
        "rename", browser.showRenameDialog, [this, &browser] { return makeRename(this, browser); },
        [&browser] { browser.showRenameDialog = false; });
    raiseOn(
        "deletedFiles", browser.showDeletedFiles, [this] { return makeDeletedFiles(this, state_); },
        [&browser] { browser.showDeletedFiles = false; });
    raiseOn(
        "textEditor", browser.showTextEditor,
        [this, &browser] {
            return new TextEditorWindow(this, browser.textEditorVM.get(), browser);
        },
        [&browser] { browser.requestCloseTextEditor(); });
    raiseOn(
        "hexViewer", browser.showHexViewer,
        [this, &browser] { return new HexViewerWindow(this, browser.hexViewerVM.get()); },
        [&browser] { browser.closeHexViewer(); });
    raiseOn(
        "sectorEditor", image.showSectorEditor,
        [this] { return new SectorEditorWindow(this, state_.sectorEditorVM.get(), state_); },
        [this] { state_.requestCloseSectorEditor(); });
    DeletedFilesViewModel& deleted = *browser.deletedFilesVM();
    raiseOn(
        "restoreFirstChar", deleted.showRestoreDialog,
        [this, &browser] {
            QWidget* parent = raisedDialog("deletedFiles");
            return makeRestoreFirstChar(parent != nullptr ? parent : this, browser);
        },
        [&deleted] { deleted.cancelRestore(); });
}

void MainWindowView::alertOn(Observable<bool, true>& flag,
                             std::function<void(QWidget* parent)> show) {
    bindings_.watch(flag, [this, &flag, show = std::move(show)] {
        if (flag) {
            QWidget* parent = QApplication::activeModalWidget();
            show(parent != nullptr ? parent : this);
        }
    });
}

void MainWindowView::bindAlerts() {
    DiskImageViewModel& image = state_.image();
    FileBrowserViewModel& browser = state_.browser();
    ErrorCoordinator& errors = state_.errors();
    const QString errorTitle = text(tamberlane::texts::errorAlertTitle);
    alertOn(image.showErrorAlert, [&image, errorTitle](QWidget* parent) {
        if (!image.canOpenReadOnly) {
            showAlertBox(parent, errorTitle, fromUtf8(image.errorMessage.get()),
                         [&image] { image.dismissErrorAlert(); });
            return;
        }
        // Another program holds the file: the message says it can be opened for reading,
        // and this is the way to.
        auto* box =
            new QMessageBox(QMessageBox::Warning, errorTitle, fromUtf8(image.errorMessage.get()),
                            QMessageBox::NoButton, parent);
        QPushButton* readOnly =
            box->addButton(text(tamberlane::texts::openReadOnlyButton), QMessageBox::AcceptRole);
        box->addButton(text(tamberlane::texts::okButton), QMessageBox::RejectRole);
        box->setObjectName(QStringLiteral("lockAlert"));
        widenMessage(box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, parent, [&image, box, readOnly] {
            if (box->clickedButton() == readOnly) {
                image.openReadOnly();
            } else {
                image.dismissErrorAlert();
            }
        });
        box->open();
    });
    alertOn(browser.showError, [&browser, errorTitle](QWidget* parent) {
        showAlertBox(parent, errorTitle, fromUtf8(browser.errorMessage.get()),
                     [&browser] { browser.showError = false; });
    });
    alertOn(errors.showAlert, [&errors, errorTitle](QWidget* parent) {
        const auto& alert = errors.currentAlert.get();
        showAlertBox(parent, errorTitle, alert ? fromUtf8(alert->message) : QString(),
                     [&errors] { errors.showAlert = false; });
    });
    alertOn(browser.showBinaryAlert, [&browser](QWidget* parent) {
        auto* box = new QMessageBox(QMessageBox::Information, text(texts::binaryTitle),
                                    text(texts::binaryMessage), QMessageBox::NoButton, parent);
        QPushButton* hex = box->addButton(text(texts::hexViewerAction), QMessageBox::AcceptRole);
        box->addButton(text(tamberlane::texts::okButton), QMessageBox::RejectRole);
        box->setObjectName(QStringLiteral("binaryAlert"));
        widenMessage(box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, parent, [&browser, box, hex] {
            if (box->clickedButton() == hex) {
                browser.openHexViewer();
            } else {
                browser.showBinaryAlert = false;
            }
        });
        box->open();
    });
    alertOn(image.showSearchedVolumeQuestion, [&image](QWidget* parent) {
        auto* box =
            new QMessageBox(QMessageBox::Question, text(texts::searchedVolumeTitle),
                            fromUtf8(image.searchedVolumeQuestion), QMessageBox::NoButton, parent);
        QPushButton* allow =
            box->addButton(text(tamberlane::texts::allowChangesButton), QMessageBox::AcceptRole);
        QPushButton* readOnly =
            box->addButton(text(tamberlane::texts::readOnlyButton), QMessageBox::RejectRole);
        box->setDefaultButton(readOnly);
        box->setObjectName(QStringLiteral("searchedVolumeQuestion"));
        widenMessage(box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, parent, [&image, box, allow] {
            image.answerSearchedVolumeQuestion(box->clickedButton() == allow);
        });
        box->open();
    });
    alertOn(image.showSpecialFormatAlert, [&image](QWidget* parent) {
        auto* box =
            new QMessageBox(QMessageBox::Question, text(texts::specialFormatTitle),
                            fromUtf8(image.errorMessage.get()), QMessageBox::NoButton, parent);
        QPushButton* manual = box->addButton(text(tamberlane::texts::openWithManualParamsButton),
                                             QMessageBox::AcceptRole);
        box->addButton(text(texts::closeButton), QMessageBox::RejectRole);
        box->setDefaultButton(manual);
        widenMessage(box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, parent, [&image, box, manual] {
            const bool chosen = box->clickedButton() == manual;
            image.showSpecialFormatAlert = false;
            if (chosen) {
                image.showManualParamsDialog = true;
            }
        });
        box->open();
    });
}

void MainWindowView::bindToasts() {
    ErrorCoordinator& errors = state_.errors();
    bindings_.watch(errors.toastMessages, [this, &errors] {
        QLayout* layout = toasts_->layout();
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const AppError& toast : errors.toastMessages.get()) {
            auto* row = new QFrame;
            row->setObjectName(QStringLiteral("toast"));
            row->setStyleSheet(
                QStringLiteral("#toast { background: rgba(250, 250, 250, 230); "
                               "border: 1px solid rgba(0, 0, 0, 40); border-radius: 8px; }"));
            auto* rowLayout = new QHBoxLayout(row);
            rowLayout->setContentsMargins(12, 6, 12, 6);
            rowLayout->addWidget(
                iconLabel(themedIcon("dialog-warning", QStyle::SP_MessageBoxWarning), 16));
            auto* message = new QLabel(fromUtf8(toast.message));
            message->setFont(captionFont(message->font()));
            rowLayout->addWidget(message);
            row->setAccessibleName(fromUtf8(toast.message));
            static_cast<QVBoxLayout*>(layout)->addWidget(row, 0, Qt::AlignHCenter);
            if (scheduledToasts_.insert(toast.id).second) {
                const std::string id = toast.id;
                QTimer::singleShot(std::chrono::milliseconds(ErrorCoordinator::toastLifetime), this,
                                   [this, &errors, id] {
                                       scheduledToasts_.erase(id);
                                       errors.dismissToast(id);
                                   });
            }
        }
        layoutToasts();
    });
}

void MainWindowView::layoutToasts() {
    if (toasts_ == nullptr) {
        return;
    }
    toasts_->adjustSize();
    const int width = centralWidget()->width();
    toasts_->setGeometry(0, 0, width, toasts_->sizeHint().height());
    toasts_->setVisible(!state_.errors().toastMessages.get().empty());
    toasts_->raise();
}

void MainWindowView::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutToasts();
    if (emptyDirectory_ != nullptr) {
        emptyDirectory_->setGeometry(list_->viewport()->rect());
    }
}

void MainWindowView::whenEditsMayGo(std::function<void()> proceed) {
    if (!state_.hasUnsavedEdits()) {
        proceed();
        return;
    }
    askToDiscard(this, [proceed = std::move(proceed)](bool discard) {
        if (discard) {
            proceed();
        }
    });
}

void MainWindowView::closeEvent(QCloseEvent* event) {
    if (closingAgreed_ || !state_.hasUnsavedEdits()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    askToDiscard(this, [this](bool discard) {
        if (discard) {
            closeEditorsWithoutAsking();
            closingAgreed_ = true;
            close();
            closingAgreed_ = false;
        }
    });
}

void MainWindowView::closeEditorsWithoutAsking() {
    // The user has already agreed; an editor left up would also hold the window open,
    // since it blocks the window it belongs to.
    FileBrowserViewModel& browser = state_.browser();
    if (const std::shared_ptr<TextEditorViewModel> editor = browser.textEditorVM.get()) {
        browser.requestCloseTextEditor();
        editor->discard.confirm();
    }
    if (const std::shared_ptr<SectorEditorViewModel> editor = state_.sectorEditorVM.get()) {
        state_.requestCloseSectorEditor();
        editor->discard.confirm();
    }
}

void MainWindowView::openImage(const QString& path) {
    whenEditsMayGo([this, path] { openImageNow(path); });
}

void MainWindowView::openImageNow(const QString& path) {
    if (state_.enablement().isEnabled(Action::open)) {
        state_.image().openDiskImage(path.toStdString());
    }
}

void MainWindowView::openWithPanel(bool manual) {
    QFileDialog panel(this, text(manual ? texts::openManualPanelTitle : texts::openPanelTitle),
                      settings_.folder(Panel::open));
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setNameFilters(imageFileFilters());
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
        return;
    }
    const QString chosen = panel.selectedFiles().constFirst();
    settings_.rememberFolder(Panel::open, chosen);
    whenEditsMayGo([this, chosen, manual] {
        if (manual) {
            state_.image().showManualParamsDialog = true;
        }
        openImageNow(chosen);
    });
}

void MainWindowView::importWithPanel() {
    const QStringList files = QFileDialog::getOpenFileNames(this, text(texts::importPanelTitle),
                                                            settings_.folder(Panel::importFiles));
    if (files.isEmpty()) {
        return;
    }
    settings_.rememberFolder(Panel::importFiles, files.constFirst());
    std::vector<std::filesystem::path> paths;
    for (const QString& file : files) {
        paths.emplace_back(file.toStdString());
    }
    state_.browser().importFiles(paths);
}

void MainWindowView::exportSelection() {
    FileBrowserViewModel& browser = state_.browser();
    const std::vector<FileEntry> selected = browser.selectedFileEntries();
    if (selected.empty()) {
        return;
    }
    if (selected.size() == 1 && !selected.front().directoryEntry.isDirectory()) {
        const QString suggested = settings_.folder(Panel::exportFiles) + QLatin1Char('/') +
                                  fromUtf8(selected.front().directoryEntry.displayName());
        const QString path =
            QFileDialog::getSaveFileName(this, text(texts::exportSavePanelTitle), suggested);
        if (!path.isEmpty()) {
            settings_.rememberFolder(Panel::exportFiles, path);
            browser.exportFileAs(selected.front(), path.toStdString());
        }
        return;
    }
    QFileDialog panel(this, text(texts::exportFolderPanelTitle),
                      settings_.folder(Panel::exportFiles));
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly);
    panel.setLabelText(QFileDialog::Accept, text(texts::exportConfirmButton));
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
        return;
    }
    const QString folder = panel.selectedFiles().constFirst();
    settings_.rememberFolder(Panel::exportFiles, folder);
    browser.exportSelectedFiles(folder.toStdString());
}

DropMeaning MainWindowView::windowDropMeaning(const QMimeData* data) const {
    // What is dropped while work runs could not be opened or imported until the work ends.
    // The list refuses on its own while work runs.
    if (data == nullptr || state_.gate().isBusy.get()) {
        return DropMeaning::nothing;
    }
    return dropMeaning(*data, DropTarget::window, list_->importAllowed());
}

void MainWindowView::answerDrag(QDropEvent* event) const {
    if (windowDropMeaning(event->mimeData()) != DropMeaning::nothing) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void MainWindowView::dragEnterEvent(QDragEnterEvent* event) {
    answerDrag(event);
}

void MainWindowView::dragMoveEvent(QDragMoveEvent* event) {
    answerDrag(event);
}

void MainWindowView::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    const DropMeaning meaning = windowDropMeaning(data);
    if (meaning == DropMeaning::nothing) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (meaning == DropMeaning::importFiles) {
        state_.browser().importFiles(localFiles(*data));
        return;
    }
    openImage(QString::fromStdString(localFiles(*data).front().string()));
}

} // namespace tamberlane::ui
