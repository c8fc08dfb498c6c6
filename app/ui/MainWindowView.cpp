#include "app/ui/MainWindowView.h"

#include "app/state/ApplicationState.h"
#include "app/ui/AboutWindow.h"
#include "app/ui/Alerts.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/DirectoryTreeView.h"
#include "app/ui/FileListView.h"
#include "app/ui/Format.h"
#include "app/ui/ImageFiles.h"
#include "app/ui/MainWindowActions.h"
#include "app/ui/MainWindowAlerts.h"
#include "app/ui/MainWindowPanels.h"
#include "app/ui/MainWindowStatus.h"
#include "app/ui/ToastStack.h"
#include "app/ui/Translated.h"
#include "app/ui/UiSettings.h"
#include "app/ui/UiTexts.h"
#include "app/ui/WindowParts.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>

#include <chrono>

namespace tamberlane::ui {

MainWindowView::MainWindowView(ApplicationState& state, UiSettings& settings, QWidget* parent)
    : QMainWindow(parent), state_(state), settings_(settings) {
    setMinimumSize(900, 400);
    resize(1600, 900);
    setAcceptDrops(true);
    actions_ = new MainWindowActions(*this, state_, settings_);
    actions_->fillMenus(menuBar());

    auto* toolbar = addToolBar(QStringLiteral("toolbar"));
    toolbar->setObjectName(QStringLiteral("windowToolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->addAction(action(Action::open));
    toolbar->addAction(action(Action::newImage));

    auto* splitter = new QSplitter(Qt::Horizontal);
    sidebar_ = new SidebarPanel(state_, bindings_);
    listPanel_ = new ListPanel(state_, *actions_, bindings_);
    splitter->addWidget(sidebar_);
    splitter->addWidget(listPanel_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 1300});
    splitter->setChildrenCollapsible(false);
    setCentralWidget(splitter);
    status_ = new StatusPanel(statusBar(), state_, *actions_, bindings_);
    toasts_ = new ToastStack(centralWidget(), state_.errors(), bindings_);

    DiskImageViewModel& image = state_.image();
    const auto showTitle = [this, &image] {
        setWindowTitle(mainWindowTitle(image.isImageOpen, image.windowTitle.get()));
    };
    bindings_.watch(image.isImageOpen, showTitle);
    bindings_.watch(state_.gate().isBusy, [this] {
        if (quitWhenIdle_ && !state_.gate().isBusy.get()) {
            // After the ending that opened the gate has run to its end.
            QTimer::singleShot(0, this, [this] {
                if (!close()) {
                    quitWhenIdle_ = false;
                }
            });
        }
    });
    bindings_.watch(image.windowTitle, showTitle);
    actions_->bind(bindings_);

    // Emulators write in place and take no lock, and no file notification says that a
    // program opened the file for writing: a look every second covers all three ways.
    fileWatch_ = new QTimer(this);
    fileWatch_->setInterval(std::chrono::seconds(1));
    connect(fileWatch_, &QTimer::timeout, this, [this] { state_.image().checkImageFile(); });
    fileWatch_->start();
    alerts_ = new WindowAlerts(*this, state_, settings_, bindings_);
    keepLayout();
}

void MainWindowView::keepLayout() {
    if (const QSize size = settings_.windowSize(); size.isValid()) {
        resize(size.expandedTo(minimumSize()));
    }
    QHeaderView* header = fileList()->horizontalHeader();
    if (const QByteArray columns = settings_.listColumns(); !columns.isEmpty()) {
        header->restoreState(columns);
    }
    connect(header, &QHeaderView::sectionResized, this,
            [this, header] { settings_.setListColumns(header->saveState()); });

    FileBrowserViewModel& browser = state_.browser();
    if (const auto sort = settings_.listSort();
        sort && sort->first >= 0 && sort->first <= static_cast<int>(SortKey::date)) {
        browser.sortKey = static_cast<SortKey>(sort->first);
        browser.sortOrder = sort->second ? SortOrder::descending : SortOrder::ascending;
    }
    const auto keepSort = [this, &browser] {
        settings_.setListSort(static_cast<int>(browser.sortKey.get()),
                              browser.sortOrder.get() == SortOrder::descending);
    };
    bindings_.watch(browser.sortKey, keepSort);
    bindings_.watch(browser.sortOrder, keepSort);

    // The panels that open or make images start beside the image open now.
    DiskImageViewModel& image = state_.image();
    bindings_.listen(image.imageReplaced(),
                     std::function<void(const std::shared_ptr<DiskImage>&)>(
                         [this](const std::shared_ptr<DiskImage>& opened) {
                             if (opened) {
                                 const QString path =
                                     QString::fromStdString(opened->layout().url.string());
                                 settings_.setImageFolder(QFileInfo(path).absolutePath());
                             }
                         }));
    bindings_.watch(image.isImageOpen, [this, &image] {
        if (!image.isImageOpen) {
            settings_.setImageFolder({});
        }
    });
}

MainWindowView::~MainWindowView() {
    // The dialogs and the list stop listening before the widgets they update go away.
    bindings_.clear();
}

QAction* MainWindowView::action(Action which) const {
    return actions_->action(which);
}

FileListView* MainWindowView::fileList() const {
    return listPanel_->list();
}

DirectoryTreeView* MainWindowView::directoryTree() const {
    return sidebar_->tree();
}

QDialog* MainWindowView::raisedDialog(const std::string& name) const {
    return alerts_->raisedDialog(name);
}

void MainWindowView::reloadOrAskToReopen() {
    DiskImageViewModel& image = state_.image();
    if (!image.fileNeedsReopen()) {
        state_.browser().loadDirectory();
        return;
    }
    // What memory holds is no longer the file: a reload can only show it by reading it
    // again.
    askToReopen(this, fromUtf8(*image.fileProblem.get()),
                [this] { state_.image().reopenCurrentImage(); });
}

void MainWindowView::showAbout() {
    if (auto* shown = findChild<BoundDialog*>(QStringLiteral("about"))) {
        shown->raise();
        return;
    }
    BoundDialog* about = makeAbout(this);
    about->setObjectName(QStringLiteral("about"));
    about->open();
}

void MainWindowView::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The size the user gave it, not one the window system gives a maximised window.
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        settings_.setWindowSize(size());
    }
    if (toasts_ != nullptr) {
        toasts_->relayout();
    }
    if (listPanel_ != nullptr) {
        listPanel_->fitPlaceholder();
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
    // Closing under running work used to leave it to finish, and save, after the window was
    // gone; now the user is asked, and a stop is waited for.
    if (state_.gate().isBusy.get()) {
        event->ignore();
        if (!quitWhenIdle_) {
            askToStopAndQuit(this, [this](bool stop) {
                if (!stop) {
                    return;
                }
                quitWhenIdle_ = true;
                state_.stopWork();
                if (!state_.gate().isBusy.get()) {
                    close();
                }
            });
        }
        return;
    }
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
        state_.image().openDiskImage(hostPath(path));
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
        paths.push_back(hostPath(file));
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
            browser.exportFileAs(selected.front(), hostPath(path));
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
    browser.exportSelectedFiles(hostPath(folder));
}

DropMeaning MainWindowView::windowDropMeaning(const QMimeData* data) const {
    // What is dropped while work runs could not be opened or imported until the work ends.
    // The list refuses on its own while work runs.
    if (data == nullptr || state_.gate().isBusy.get()) {
        return DropMeaning::nothing;
    }
    return dropMeaning(*data, DropTarget::window, fileList()->importAllowed());
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
