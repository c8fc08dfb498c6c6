#include "app/ui/SectorEditorWindow.h"

#include "app/state/ApplicationState.h"
#include "app/state/SectorEditorViewModel.h"
#include "app/state/StateTexts.h"
#include "app/ui/Alerts.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTableWidget>
#include <QToolButton>

#include <functional>

namespace tamberlane::ui {

namespace {

constexpr int bytesPerLine = 16;
constexpr int halfBytesPerLine = 2 * bytesPerLine;
// Characters from the start of one column to the start of the next.
constexpr int offsetChars = 10;
constexpr int hexChars = 49;
constexpr int asciiChars = bytesPerLine;
constexpr int margin = 8;

// A widget that leaves its painting to its owner.
class PaintedStrip final : public QWidget {
  public:
    PaintedStrip(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), paint_(std::move(paint)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paint_(painter);
    }

  private:
    std::function<void(QPainter&)> paint_;
};

int hexDigit(const QString& typed) {
    if (typed.size() != 1) {
        return -1;
    }
    const QChar c = typed.front();
    if (c.isDigit() && c.unicode() < 0x80) {
        return c.unicode() - '0';
    }
    const char16_t upper = c.toUpper().unicode();
    return upper >= u'A' && upper <= u'F' ? upper - u'A' + 10 : -1;
}

} // namespace

SectorDumpView::SectorDumpView(SectorEditorViewModel& editor, QWidget* parent)
    : QAbstractScrollArea(parent), editor_(editor),
      header_(new PaintedStrip(this, [this](QPainter& painter) { paintHeader(painter); })) {
    setFont(monospaceFont());
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(text(texts::hexColumn));
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(layout().lineHeight);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, header_,
            qOverload<>(&QWidget::update));
}

SectorDumpView::Layout SectorDumpView::layout() const {
    const QFontMetrics metrics(font());
    const int charWidth = metrics.horizontalAdvance(QLatin1Char('0'));
    QFont bold = font();
    bold.setBold(true);
    // The column's title is wider than its eight digits.
    const int offsetWidth =
        std::max(offsetChars * charWidth,
                 QFontMetrics(bold).horizontalAdvance(text(texts::offsetColumn)) + 2 * charWidth);
    const int hexLeft = margin + offsetWidth;
    const int asciiLeft = hexLeft + hexChars * charWidth;
    return {charWidth, metrics.height() + 2, hexLeft, asciiLeft,
            asciiLeft + asciiChars * charWidth + margin};
}

void SectorDumpView::refresh() {
    updateScrollBars();
    viewport()->update();
}

void SectorDumpView::updateScrollBars() {
    const Layout l = layout();
    const int headerHeight = l.lineHeight + 4;
    setViewportMargins(0, headerHeight, 0, 0);
    header_->setGeometry(frameWidth(), frameWidth(), viewport()->width(), headerHeight);
    const int contentHeight = static_cast<int>(editor_.hexLines.get().size()) * l.lineHeight;
    verticalScrollBar()->setRange(0, std::max(0, contentHeight - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    horizontalScrollBar()->setRange(0, std::max(0, l.width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void SectorDumpView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void SectorDumpView::paintHeader(QPainter& painter) const {
    const Layout l = layout();
    painter.fillRect(header_->rect(), palette().color(QPalette::Button));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    const int x = -horizontalScrollBar()->value();
    const QRect row(0, 0, header_->width(), header_->height());
    painter.drawText(row.adjusted(x + margin, 0, 0, 0), Qt::AlignVCenter,
                     text(texts::offsetColumn));
    painter.drawText(row.adjusted(x + l.hexLeft, 0, 0, 0), Qt::AlignVCenter,
                     text(texts::hexColumn));
    painter.drawText(row.adjusted(x + l.asciiLeft, 0, 0, 0), Qt::AlignVCenter,
                     QString::fromUtf8(texts::asciiColumn));
}

void SectorDumpView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const Layout l = layout();
    const QPalette& colours = palette();
    const std::vector<HexLine>& lines = editor_.hexLines.get();
    const Bytes& bytes = editor_.sectorData.get();
    const Bytes& unedited = editor_.loadedBytes();
    const bool marked = editor_.isModified && unedited.size() == bytes.size();
    const std::int64_t cursor = editor_.cursor.get();
    const int dx = -horizontalScrollBar()->value();
    const int dy = -verticalScrollBar()->value();
    const int first = std::max(0, (event->rect().top() - dy) / l.lineHeight);
    const QColor changed(230, 97, 0, 60);
    QColor cursorCell = colours.color(hasFocus() ? QPalette::Highlight : QPalette::Mid);
    QColor cursorEcho = cursorCell;
    cursorEcho.setAlpha(70);

    for (int row = first; row < static_cast<int>(lines.size()); ++row) {
        const int top = dy + row * l.lineHeight;
        if (top > event->rect().bottom()) {
            break;
        }
        for (int column = 0; column < bytesPerLine; ++column) {
            const std::size_t at =
                static_cast<std::size_t>(row) * bytesPerLine + static_cast<std::size_t>(column);
            if (at >= bytes.size()) {
                break;
            }
            const int hexX = dx + l.hexLeft + column * 3 * l.charWidth;
            const int asciiX = dx + l.asciiLeft + column * l.charWidth;
            if (marked && bytes[at] != unedited[at]) {
                painter.fillRect(hexX, top, 2 * l.charWidth, l.lineHeight, changed);
                painter.fillRect(asciiX, top, l.charWidth, l.lineHeight, changed);
            }
            if (static_cast<std::int64_t>(at) == cursor / 2) {
                const int nibbleX = hexX + static_cast<int>(cursor % 2) * l.charWidth;
                painter.fillRect(nibbleX, top, l.charWidth, l.lineHeight, cursorCell);
                painter.fillRect(asciiX, top, l.charWidth, l.lineHeight, cursorEcho);
            }
        }
        const HexLine& line = lines[static_cast<std::size_t>(row)];
        const int baseline = top + 1 + QFontMetrics(font()).ascent();
        painter.setPen(colours.color(QPalette::PlaceholderText));
        painter.drawText(
            dx + margin, baseline,
            QString::fromLatin1(line.address.data(), static_cast<qsizetype>(line.address.size())));
        painter.setPen(colours.color(QPalette::Text));
        const QString hex =
            QString::fromLatin1(line.hexDump.data(), static_cast<qsizetype>(line.hexDump.size()));
        const QString ascii =
            QString::fromLatin1(line.ascii.data(), static_cast<qsizetype>(line.ascii.size()));
        // One character at a time, so the cursor cells above line up whatever the face's
        // kerning would do with a whole run.
        for (qsizetype i = 0; i < hex.size(); ++i) {
            painter.drawText(dx + l.hexLeft + static_cast<int>(i) * l.charWidth, baseline,
                             QString(hex[i]));
        }
        for (qsizetype i = 0; i < ascii.size(); ++i) {
            painter.drawText(dx + l.asciiLeft + static_cast<int>(i) * l.charWidth, baseline,
                             QString(ascii[i]));
        }
    }
}

void SectorDumpView::scrollToCursor() {
    const Layout l = layout();
    const int top = static_cast<int>(editor_.cursor.get() / halfBytesPerLine) * l.lineHeight;
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value()) {
        bar->setValue(top);
    } else if (top + l.lineHeight > bar->value() + viewport()->height()) {
        bar->setValue(top + l.lineHeight - viewport()->height());
    }
}

void SectorDumpView::moveCursor(std::int64_t halfBytes) {
    editor_.setCursor(editor_.cursor.get() + halfBytes);
}

void SectorDumpView::keyPressEvent(QKeyEvent* event) {
    const std::int64_t cursor = editor_.cursor.get();
    const std::int64_t pageLines = std::max(1, viewport()->height() / layout().lineHeight);
    switch (event->key()) {
    case Qt::Key_Left:
        moveCursor(-1);
        return;
    case Qt::Key_Right:
        moveCursor(1);
        return;
    case Qt::Key_Up:
        moveCursor(-halfBytesPerLine);
        return;
    case Qt::Key_Down:
        moveCursor(halfBytesPerLine);
        return;
    case Qt::Key_PageUp:
        moveCursor(-pageLines * halfBytesPerLine);
        return;
    case Qt::Key_PageDown:
        moveCursor(pageLines * halfBytesPerLine);
        return;
    case Qt::Key_Home:
        editor_.setCursor(cursor - cursor % halfBytesPerLine);
        return;
    case Qt::Key_End:
        editor_.setCursor(cursor - cursor % halfBytesPerLine + halfBytesPerLine - 1);
        return;
    default:
        break;
    }
    const int digit = hexDigit(event->text());
    if (digit >= 0 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        editor_.typeHexDigit(static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10));
        return;
    }
    // Escape, Tab and the window's shortcuts belong to the window.
    QAbstractScrollArea::keyPressEvent(event);
}

void SectorDumpView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const Layout l = layout();
    const int x = event->position().toPoint().x() + horizontalScrollBar()->value();
    const int row = (event->position().toPoint().y() + verticalScrollBar()->value()) / l.lineHeight;
    int column = -1;
    int nibble = 0;
    if (x >= l.hexLeft && x < l.asciiLeft) {
        const int cell = (x - l.hexLeft) / l.charWidth;
        column = cell / 3;
        // The blank after a byte belongs to its low half.
        nibble = std::min(1, cell % 3);
    } else if (x >= l.asciiLeft) {
        column = (x - l.asciiLeft) / l.charWidth;
    }
    if (column >= 0 && column < bytesPerLine) {
        editor_.setCursor((static_cast<std::int64_t>(row) * bytesPerLine + column) * 2 + nibble);
    }
}

SectorEditorWindow::SectorEditorWindow(QWidget* parent,
                                       std::shared_ptr<SectorEditorViewModel> editor,
                                       ApplicationState& state)
    : BoundDialog(parent, text(texts::sectorEditorTitle), 750), editor_(std::move(editor)) {
    setMinimumSize(750, 450);
    resize(820, 600);
    content()->addWidget(createNavigation());

    banner_ = makeLockBanner(new QWidget, new QLabel(text(tamberlane::texts::readOnlyBanner)));
    banner_->setAccessibleName(text(tamberlane::texts::readOnlyBanner));
    content()->addWidget(banner_);

    pages_ = new QStackedWidget;
    dump_ = new SectorDumpView(*editor_);
    pages_->addWidget(dump_);
    pages_->addWidget(createBPBPage());
    content()->addWidget(pages_, 1);

    save_ = addButton(text(texts::saveButton));
    save_->setShortcut(QKeySequence::Save);
    connect(save_, &QPushButton::clicked, this, [this] { editor_->saveSector(); });
    addCancelButton(text(texts::closeButton));
    setCloseRequest([&state] { state.requestCloseSectorEditor(); });
    bindEditor();
    dump_->setFocus();
}

QWidget* SectorEditorWindow::createNavigation() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(QString::fromUtf8(texts::lbaLabel));
    lba_ = new QLineEdit;
    lba_->setAccessibleName(QString::fromUtf8(texts::lbaLabel));
    lba_->setFixedWidth(120);
    label->setBuddy(lba_);
    auto* load = new QPushButton(text(texts::loadSectorButton));
    load->setAutoDefault(false);
    previous_ = new QToolButton;
    previous_->setIcon(themedIcon("go-previous", QStyle::SP_ArrowLeft));
    previous_->setToolTip(text(texts::previousSector));
    previous_->setAccessibleName(text(texts::previousSector));
    next_ = new QToolButton;
    next_->setIcon(themedIcon("go-next", QStyle::SP_ArrowRight));
    next_->setToolTip(text(texts::nextSector));
    next_->setAccessibleName(text(texts::nextSector));
    position_ = new QLabel;
    bpbToggle_ = new QCheckBox(text(texts::bpbToggle));
    layout->addWidget(label);
    layout->addWidget(lba_);
    layout->addWidget(load);
    layout->addSpacing(8);
    layout->addWidget(previous_);
    layout->addWidget(next_);
    layout->addSpacing(8);
    layout->addWidget(position_);
    layout->addStretch(1);
    layout->addWidget(bpbToggle_);

    SectorEditorViewModel& editor = *editor_;
    connect(lba_, &QLineEdit::textEdited, this,
            [&editor](const QString& typed) { editor.lbaInput = typed.toStdString(); });
    connect(lba_, &QLineEdit::returnPressed, this, [&editor] { editor.goToInput(); });
    connect(load, &QPushButton::clicked, this, [&editor] { editor.goToInput(); });
    connect(previous_, &QToolButton::clicked, this, [&editor] { editor.showPrevious(); });
    connect(next_, &QToolButton::clicked, this, [&editor] { editor.showNext(); });
    connect(bpbToggle_, &QCheckBox::toggled, this, [&editor](bool on) { editor.showBPBView = on; });
    return row;
}

QWidget* SectorEditorWindow::createBPBPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* heading = new QLabel(text(texts::bpbHeading));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    bpbTable_ = new QTableWidget(0, 2);
    bpbTable_->setAccessibleName(text(texts::bpbHeading));
    bpbTable_->horizontalHeader()->hide();
    bpbTable_->verticalHeader()->hide();
    bpbTable_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    bpbTable_->horizontalHeader()->setStretchLastSection(true);
    bpbTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    bpbTable_->setAlternatingRowColors(true);
    bpbTable_->setShowGrid(false);
    bpbTable_->setSelectionMode(QAbstractItemView::NoSelection);
    bpbTable_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(bpbTable_, 1);
    return page;
}

void SectorEditorWindow::showPage() {
    const bool bpb = editor_->showBPBView && editor_->currentLBA.get() == 0;
    pages_->setCurrentIndex(bpb ? 1 : 0);
}

void SectorEditorWindow::bindEditor() {
    SectorEditorViewModel& editor = *editor_;
    const auto showPosition = [this, &editor] {
        const std::int64_t lba = editor.currentLBA;
        const std::int64_t last = editor.totalSectors.get() - 1;
        position_->setText(
            text(texts::sectorPositionFormat).arg(QString::number(lba), QString::number(last)));
        previous_->setEnabled(lba > 0);
        next_->setEnabled(lba < last);
        bpbToggle_->setVisible(lba == 0);
        showPage();
    };
    bindings.watch(editor.currentLBA, showPosition);
    bindings.watch(editor.totalSectors, showPosition);
    bindings.watch(editor.lbaInput, [this, &editor] {
        const QString shown = fromUtf8(editor.lbaInput.get());
        if (lba_->text() != shown) {
            lba_->setText(shown);
        }
    });
    bindings.watch(editor.showBPBView, [this, &editor] {
        bpbToggle_->setChecked(editor.showBPBView);
        showPage();
    });
    bindings.watch(editor.bpbFields, [this, &editor] {
        const std::vector<BPBField>& fields = editor.bpbFields.get();
        bpbTable_->setRowCount(static_cast<int>(fields.size()));
        for (int row = 0; row < static_cast<int>(fields.size()); ++row) {
            const BPBField& field = fields[static_cast<std::size_t>(row)];
            bpbTable_->setItem(row, 0, new QTableWidgetItem(fromUtf8(field.label)));
            bpbTable_->setItem(row, 1, new QTableWidgetItem(fromUtf8(field.value)));
        }
    });
    const auto showBytes = [this] { dump_->refresh(); };
    bindings.watch(editor.hexLines, showBytes);
    bindings.watch(editor.sectorData, showBytes);
    bindings.watch(editor.cursor, [this] {
        dump_->scrollToCursor();
        dump_->refresh();
    });
    const auto showWritable = [this, &editor] {
        save_->setEnabled(editor.isModified && !editor.isReadOnly && !editor.isSaving);
        banner_->setVisible(editor.isReadOnly);
        dump_->refresh();
    };
    bindings.watch(editor.isModified, showWritable);
    bindings.watch(editor.isReadOnly, showWritable);
    bindings.watch(editor.isSaving, showWritable);
    bindings.watch(editor.showError, [this, &editor] {
        if (editor.showError) {
            showAlertBox(this, text(tamberlane::texts::errorAlertTitle),
                         fromUtf8(editor.errorMessage.get()),
                         [&editor] { editor.showError = false; });
        }
    });
    watchDiscardQuestion(bindings, this, editor.discard);
}

} // namespace tamberlane::ui
