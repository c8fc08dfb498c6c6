#include "app/ui/MainWindowPanels.h"

#include "app/state/ApplicationState.h"
#include "app/ui/Bindings.h"
#include "app/ui/CapacityBar.h"
#include "app/ui/DirectoryTreeView.h"
#include "app/ui/FileListModel.h"
#include "app/ui/FileListView.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/MainWindowActions.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "app/ui/WindowParts.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tamberlane::ui {

SymbolPlaceholder::SymbolPlaceholder(const QIcon& symbol, const QString& message, QWidget* parent)
    : QLabel(message, parent), symbol_(symbol) {
    setAlignment(Qt::AlignCenter);
    setForegroundRole(QPalette::PlaceholderText);
    // The text keeps the centre of what is left below the symbol, so the two stand
    // centred together.
    setContentsMargins(0, symbolSize + symbolGap, 0, 0);
}

void SymbolPlaceholder::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    const QRect area = contentsRect();
    const int top = area.center().y() - fontMetrics().height() / 2 - symbolGap - symbolSize;
    QPainter painter(this);
    symbol_.paint(&painter, QRect(area.center().x() - symbolSize / 2, top, symbolSize, symbolSize));
}

// The sidebar ---------------------------------------------------------------------------

SidebarPanel::SidebarPanel(ApplicationState& state, Bindings& bindings) {
    setMinimumWidth(150);
    setMaximumWidth(500);

    auto* placeholder = new QLabel(text(texts::treePlaceholder));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setForegroundRole(QPalette::PlaceholderText);
    addWidget(placeholder);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tree_ = new DirectoryTreeView(state.browser());
    layout->addWidget(tree_, 1);
    layout->addWidget(separatorLine(QFrame::HLine));
    layout->addWidget(createCapacityPanel());
    addWidget(page);
    bind(state, bindings);
}

QWidget* SidebarPanel::createCapacityPanel() {
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
    return capacity;
}

void SidebarPanel::bind(ApplicationState& state, Bindings& bindings) {
    DiskImageViewModel& image = state.image();
    const auto showImage = [this, &image] {
        setCurrentIndex(image.isImageOpen ? 1 : 0);
        const QString name = fromUtf8(image.windowTitle.get());
        capacityTitle_->setText(capacityTitle_->fontMetrics().elidedText(
            name, Qt::ElideMiddle, std::max(40, capacityTitle_->width())));
        capacityTitle_->setToolTip(name);
    };
    bindings.watch(image.isImageOpen, showImage);
    bindings.watch(image.windowTitle, showImage);

    const auto showCapacity = [this, &image] {
        const std::int64_t total = image.totalSpace;
        capacityBar_->setRatio(total < 1 ? 0.0
                                         : static_cast<double>(image.usedSpace.get()) /
                                               static_cast<double>(total));
        capacityFree_->setText(
            text(texts::freeSpaceFormat).arg(capacityKilobytes(image.freeSpace)));
        capacityTotal_->setText(text(texts::totalSpaceFormat).arg(capacityKilobytes(total)));
    };
    bindings.watch(image.usedSpace, showCapacity);
    bindings.watch(image.freeSpace, showCapacity);
    bindings.watch(image.totalSpace, showCapacity);
}

// The detail area -----------------------------------------------------------------------

ListPanel::ListPanel(ApplicationState& state, const MainWindowActions& actions, Bindings& bindings)
    : state_(state), actions_(actions) {
    addWidget(createPlaceholder());

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createToolRow());
    layout->addWidget(separatorLine(QFrame::HLine));
    crumbs_ = new QWidget;
    crumbs_->setAccessibleName(text(texts::pathCrumbsName));
    new QHBoxLayout(crumbs_);
    crumbs_->layout()->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(crumbs_);
    layout->addWidget(separatorLine(QFrame::HLine));
    layout->addWidget(createReadOnlyBanner());
    createList();
    layout->addWidget(list_, 1);
    addWidget(page);
    bind(bindings);
}

QWidget* ListPanel::createPlaceholder() {
    auto* placeholder = new QWidget;
    auto* layout = new QVBoxLayout(placeholder);
    layout->addStretch(1);
    QLabel* disc = symbolLabel(themedIcon("media-floppy", QStyle::SP_DriveFDIcon), 64);
    disc->setAlignment(Qt::AlignCenter);
    layout->addWidget(disc);
    for (const Text line :
         {texts::listPlaceholderTitle, texts::listPlaceholderDrop, texts::listPlaceholderFormats}) {
        auto* label = new QLabel(text(line));
        label->setAlignment(Qt::AlignCenter);
        if (line.id != texts::listPlaceholderTitle.id) {
            label->setForegroundRole(QPalette::PlaceholderText);
        }
        layout->addWidget(label);
    }
    layout->addStretch(1);
    return placeholder;
}

QWidget* ListPanel::createToolRow() {
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
            button->setDefaultAction(actions_.action(member));
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            button->setAutoRaise(false);
            button->setAccessibleName(actions_.action(member)->text());
            row->addWidget(button);
        }
    };
    group({Action::exportFiles, Action::importFiles});
    group({Action::newDirectory, Action::rename, Action::deleteEntries});
    group({Action::textEditor, Action::hexViewer});
    group({Action::sectorEditor, Action::imageInfo, Action::convert, Action::restore});
    return row;
}

QWidget* ListPanel::createReadOnlyBanner() {
    readOnlyText_ = new QLabel(text(tamberlane::texts::readOnlyBanner));
    readOnlyBanner_ = makeLockBanner(new QWidget, readOnlyText_);
    reopenButton_ = new QPushButton(text(texts::reopenButton));
    reopenButton_->setVisible(false);
    connect(reopenButton_, &QPushButton::clicked, this,
            [this] { state_.image().reopenCurrentImage(); });
    readOnlyBanner_->layout()->addWidget(reopenButton_);
    // A volume refused only for damage a repair mends: the way out is offered where the
    // refusal is told.
    checkButton_ = new QPushButton(text(texts::checkAndRepairButton));
    checkButton_->setObjectName(QStringLiteral("checkVolume"));
    checkButton_->setVisible(false);
    connect(checkButton_, &QPushButton::clicked, this, [this] { state_.openVolumeCheck(); });
    readOnlyBanner_->layout()->addWidget(checkButton_);
    readOnlyBanner_->setAccessibleName(text(tamberlane::texts::readOnlyBanner));
    return readOnlyBanner_;
}

void ListPanel::createList() {
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
    // Wide enough for the title in any language: the letters below need less.
    header->resizeSection(FileListModel::attributeColumn,
                          std::max(60, header->sectionSizeHint(FileListModel::attributeColumn)));
    header->setSortIndicatorShown(true);
    header->setSectionsClickable(true);
    emptyDirectory_ = new SymbolPlaceholder(themedIcon("folder", QStyle::SP_DirIcon),
                                            text(texts::emptyDirectory), list_->viewport());
    emptyDirectory_->setObjectName(QStringLiteral("emptyDirectory"));
    emptyDirectory_->setAttribute(Qt::WA_TransparentForMouseEvents);

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
            [this] { actions_.action(Action::navigateUp)->trigger(); });
    connect(list_, &FileListView::filesDropped, this,
            [&browser](const std::vector<std::filesystem::path>& files) {
                browser.importFiles(files);
            });
    connect(list_, &FileListView::dragExportFailed, this, [this] {
        state_.errors().addToast(
            AppError::make(AppErrorType::io, texts::exportTool, texts::dragExportFailed));
    });
    connect(list_, &QWidget::customContextMenuRequested, this, &ListPanel::showContextMenu);
    list_->setDragCopier(
        [&browser](std::vector<FileEntry> files) { return browser.copyForDrag(std::move(files)); });
    list_->setDragSource([&browser] { return browser.selectedFileEntries(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, &browser] {
                if (applyingState_) {
                    return;
                }
                std::set<EntryId> ids;
                for (const QModelIndex& row : list_->selectionModel()->selectedRows()) {
                    ids.insert(model_->entryAt(row.row()).id);
                }
                followingList_ = true;
                browser.setSelection(std::move(ids));
                followingList_ = false;
            });
}

void ListPanel::bind(Bindings& bindings) {
    DiskImageViewModel& image = state_.image();
    FileBrowserViewModel& browser = state_.browser();
    bindings.watch(image.isImageOpen, [this, &image] {
        setCurrentIndex(image.isImageOpen ? 1 : 0);
        // An opened image is browsed with the keys at once.
        if (image.isImageOpen) {
            list_->setFocus(Qt::OtherFocusReason);
        }
    });

    const auto showProtection = [this, &image] {
        const bool protectedImage =
            image.isImageOpen && (image.isWriteProtected || image.isReadOnly);
        readOnlyBanner_->setVisible(protectedImage);
        // The file's problem first: reopening is the way on, and the banner offers it. Else
        // why the volume itself refuses changes, else the plain notice.
        const std::optional<std::string>& problem = image.fileProblem.get();
        const std::optional<std::string>& volume = image.volumeProblem.get();
        const bool repairable = !problem && volume && image.volumeRepairable;
        const QString bannerText = problem ? fromUtf8(*problem)
                                   : repairable
                                       ? text(texts::repairableBannerFormat).arg(fromUtf8(*volume))
                                   : volume ? fromUtf8(*volume)
                                            : text(tamberlane::texts::readOnlyBanner);
        readOnlyText_->setText(bannerText);
        readOnlyBanner_->setAccessibleName(bannerText);
        reopenButton_->setVisible(problem.has_value());
        checkButton_->setVisible(repairable);
        checkButton_->setEnabled(!state_.gate().isBusy.get());
        // While work runs, a drop would be taken and then dropped: the drag is refused.
        list_->setImportAllowed(image.isImageOpen && !image.isWriteProtected && !image.isReadOnly &&
                                !state_.gate().isBusy.get());
    };
    bindings.watch(state_.gate().isBusy, showProtection);
    bindings.watch(image.isWriteProtected, showProtection);
    bindings.watch(image.isReadOnly, showProtection);
    bindings.watch(image.isImageOpen, showProtection);
    bindings.watch(image.fileProblem, showProtection);
    bindings.watch(image.volumeProblem, showProtection);
    bindings.watch(image.volumeRepairable, showProtection);

    bindings.watch(browser.entries, [this] { showEntries(); });
    const auto showCut = [this, &browser] {
        std::vector<DiskPath> cut;
        if (browser.clipboardIsCut) {
            for (const FileEntry& entry : browser.clipboard.get()) {
                cut.push_back(entry.path);
            }
        }
        model_->setDimmed(std::move(cut));
    };
    bindings.watch(browser.clipboard, showCut);
    bindings.watch(browser.clipboardIsCut, showCut);
    bindings.watch(browser.selectedEntries, [this] { applySelectionFromState(); });
    bindings.watch(browser.sortKey, [this] { applySortIndicator(); });
    bindings.watch(browser.sortOrder, [this] { applySortIndicator(); });
    bindings.watch(browser.currentPath, [this] { rebuildCrumbs(); });
}

void ListPanel::fitPlaceholder() {
    emptyDirectory_->setGeometry(list_->viewport()->rect());
}

void ListPanel::showEntries() {
    const std::vector<FileEntry>& entries = state_.browser().entries.get();
    applyingState_ = true;
    model_->setEntries(entries);
    applyingState_ = false;
    emptyDirectory_->setVisible(entries.empty());
    // Scrolling the list moves the viewport's children with its rows: a list scrolled down
    // would leave the placeholder above the visible area.
    fitPlaceholder();
    applySelectionFromState();
}

void ListPanel::applySelectionFromState() {
    const std::set<EntryId>& ids = state_.browser().selectedEntries.get();
    QItemSelection selection;
    int firstRow = -1;
    for (EntryId id : ids) {
        const int row = model_->rowOf(id);
        if (row >= 0) {
            firstRow = firstRow < 0 ? row : std::min(firstRow, row);
            selection.select(model_->index(row, 0),
                             model_->index(row, FileListModel::columnCount_ - 1));
        }
    }
    applyingState_ = true;
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    // A selection the browser made (the folder left, a new entry) is where the keys go on
    // from; one the user made already has the cursor where the user put it.
    if (!followingList_ && firstRow >= 0) {
        const QModelIndex first = model_->index(firstRow, FileListModel::nameColumn);
        list_->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        list_->scrollTo(first);
    }
    applyingState_ = false;
}

void ListPanel::applySortIndicator() {
    const FileBrowserViewModel& browser = state_.browser();
    const int column = static_cast<int>(browser.sortKey.get());
    const Qt::SortOrder order =
        browser.sortOrder.get() == SortOrder::ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    list_->horizontalHeader()->setSortIndicator(column, order);
}

void ListPanel::rebuildCrumbs() {
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
        button->setAccessibleName(title.isEmpty() ? QString::fromUtf8(texts::rootName) : title);
        button->setToolButtonStyle(title.isEmpty() ? Qt::ToolButtonIconOnly
                                                   : Qt::ToolButtonTextOnly);
        connect(button, &QToolButton::clicked, this,
                [this, target = std::move(target)] { state_.browser().navigateToPath(target); });
        layout->addWidget(button);
    };
    crumb(themedIcon("drive-harddisk", QStyle::SP_DriveHDIcon), {}, DiskPath::root());
    DiskPath prefix;
    for (const std::string& component : current.components) {
        layout->addWidget(symbolLabel(themedIcon("go-next", QStyle::SP_ArrowRight), 12));
        prefix = prefix.appending(component);
        crumb({}, fromUtf8(component), prefix);
    }
    static_cast<QHBoxLayout*>(layout)->addStretch(1);
}

void ListPanel::fillContextMenu(QMenu& menu) {
    const auto action = [this](Action which) { return actions_.action(which); };
    if (state_.browser().entries.get().empty()) {
        menu.addAction(action(Action::paste));
        menu.addAction(action(Action::importFiles));
        menu.addAction(action(Action::newDirectory));
        return;
    }
    menu.addAction(action(Action::selectAll));
    menu.addSeparator();
    menu.addActions({action(Action::copy), action(Action::cut), action(Action::paste)});
    menu.addSeparator();
    menu.addActions(
        {action(Action::importFiles), action(Action::exportFiles), action(Action::newDirectory)});
    menu.addSeparator();
    menu.addAction(action(Action::deleteEntries));
    QAction* rename = menu.addAction(action(Action::rename)->icon(), text(texts::renameAction));
    rename->setEnabled(action(Action::rename)->isEnabled());
    connect(rename, &QAction::triggered, action(Action::rename), &QAction::trigger);
    menu.addSeparator();
    // Unlike the tool row, the menu offers the viewers for any one entry: the browser leaves
    // a directory alone.
    const ActionContext context = state_.actionContext();
    const bool oneEntry = context.isImageOpen && !context.isBusy && context.selectionCount == 1;
    FileBrowserViewModel& browser = state_.browser();
    const std::pair<Action, void (FileBrowserViewModel::*)()> viewers[] = {
        {Action::textEditor, &FileBrowserViewModel::openTextEditor},
        {Action::hexViewer, &FileBrowserViewModel::openHexViewer},
    };
    for (const auto& [viewer, open] : viewers) {
        QAction* item = menu.addAction(action(viewer)->icon(), action(viewer)->text());
        item->setEnabled(oneEntry);
        connect(item, &QAction::triggered, this, [&browser, open = open] { (browser.*open)(); });
    }
}

void ListPanel::showContextMenu(const QPoint& position) {
    QMenu menu(this);
    fillContextMenu(menu);
    menu.exec(list_->viewport()->mapToGlobal(position));
}

} // namespace tamberlane::ui
