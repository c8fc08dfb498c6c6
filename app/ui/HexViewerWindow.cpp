#include "app/ui/HexViewerWindow.h"

#include "app/state/HexViewerViewModel.h"
#include "app/state/StateTexts.h"
#include "app/ui/Alerts.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableView>

namespace tamberlane::ui {

namespace {} // namespace

HexLineModel::HexLineModel(HexViewerViewModel& viewer, QObject* parent)
    : QAbstractTableModel(parent), viewer_(viewer) {
    rowsChanged();
}

void HexLineModel::rowsChanged() {
    const int count = static_cast<int>(viewer_.rowCount.get());
    if (count > rows_ && rows_ > 0) {
        beginInsertRows({}, rows_, count - 1);
        rows_ = count;
        endInsertRows();
        return;
    }
    beginResetModel();
    rows_ = count;
    endResetModel();
}

int HexLineModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int HexLineModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant HexLineModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_) {
        return {};
    }
    const HexLine line = viewer_.rowAt(index.row());
    switch (index.column()) {
    case addressColumn:
        return QString::fromLatin1(line.address.data(),
                                   static_cast<qsizetype>(line.address.size()));
    case hexColumn:
        return QString::fromLatin1(line.hexDump.data(),
                                   static_cast<qsizetype>(line.hexDump.size()));
    default:
        return QString::fromLatin1(line.ascii.data(), static_cast<qsizetype>(line.ascii.size()));
    }
}

QVariant HexLineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    const QString titles[] = {text(texts::addressColumn), text(texts::hexColumn),
                              QString::fromUtf8(texts::asciiColumn)};
    return section >= 0 && section < columnCount_ ? titles[section] : QVariant();
}

HexViewerWindow::HexViewerWindow(QWidget* parent, std::shared_ptr<HexViewerViewModel> viewer)
    : BoundDialog(parent, text(texts::hexViewerTitle), 700), viewer_(std::move(viewer)),
      model_(new HexLineModel(*viewer_, this)), view_(new QTableView), pages_(new QStackedWidget),
      name_(new QLabel), size_(new QLabel) {
    setMinimumSize(700, 400);
    resize(820, 600);

    auto* header = new QHBoxLayout;
    auto* symbol = new QLabel;
    symbol->setPixmap(themedIcon("edit-find", QStyle::SP_FileDialogContentsView).pixmap(20, 20));
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    size_->setForegroundRole(QPalette::PlaceholderText);
    header->addWidget(symbol);
    header->addWidget(name_);
    header->addStretch(1);
    header->addWidget(size_);
    content()->addLayout(header);

    const QFont mono = monospaceFont();
    const QFontMetrics metrics(mono);
    view_->setModel(model_);
    view_->setFont(mono);
    view_->setAccessibleName(text(texts::hexViewerTitle));
    view_->setShowGrid(false);
    view_->setWordWrap(false);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setAlternatingRowColors(true);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = view_->verticalHeader();
    rows->hide();
    // Fixed heights let the view place row n without measuring the rows before it.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(metrics.height() + 4);
    QHeaderView* columns = view_->horizontalHeader();
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    const int pad = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    columns->resizeSection(HexLineModel::addressColumn,
                           std::max(80, metrics.horizontalAdvance(QString(8, u'0')) + pad));
    columns->resizeSection(HexLineModel::hexColumn,
                           std::max(400, metrics.horizontalAdvance(QString(47, u'0')) + pad));
    columns->setStretchLastSection(true);

    auto* empty = new QLabel(text(texts::noData));
    empty->setAlignment(Qt::AlignCenter);
    empty->setForegroundRole(QPalette::PlaceholderText);
    pages_->addWidget(empty);
    pages_->addWidget(view_);
    content()->addWidget(pages_, 1);
    addCancelButton(text(texts::closeButton));

    HexViewerViewModel& state = *viewer_;
    bindings.watch(state.fileName,
                   [this, &state] { name_->setText(fromUtf8(state.fileName.get())); });
    bindings.watch(state.totalBytes, [this, &state] {
        size_->setText(text(texts::byteCountFormat, state.totalBytes.get()));
    });
    bindings.watch(state.rowCount, [this, &state] {
        model_->rowsChanged();
        pages_->setCurrentIndex(state.rowCount.get() == 0 ? 0 : 1);
    });
    bindings.watch(state.showError, [this, &state] {
        if (state.showError) {
            showAlertBox(this, text(tamberlane::texts::errorAlertTitle),
                         fromUtf8(state.errorMessage.get()), [&state] { state.showError = false; });
        }
    });
    connect(view_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &HexViewerWindow::loadMoreWhenAtEnd);
    connect(view_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &HexViewerWindow::loadMoreWhenAtEnd);
}

void HexViewerWindow::loadMoreWhenAtEnd() {
    const int rows = model_->rowCount();
    if (rows == 0 || !view_->isVisible()) {
        return;
    }
    if (view_->rowViewportPosition(rows - 1) < view_->viewport()->height()) {
        viewer_->loadMore();
    }
}

} // namespace tamberlane::ui
