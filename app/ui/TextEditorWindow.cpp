#include "app/ui/TextEditorWindow.h"

#include "app/state/FileBrowserViewModel.h"
#include "app/state/StateTexts.h"
#include "app/state/TextEditorViewModel.h"
#include "app/ui/Alerts.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTextBlock>

#include <algorithm>

namespace tamberlane::ui {

namespace {

// Pieces between line feeds: an empty text is one line, a final line feed opens another.
qsizetype lineCount(const std::string& value) {
    return std::count(value.begin(), value.end(), '\n') + 1;
}

} // namespace

NumberedTextEdit::NumberedTextEdit(QWidget* parent)
    : QPlainTextEdit(parent), column_(new LineNumberColumn(this)) {
    connect(this, &QPlainTextEdit::blockCountChanged, this, &NumberedTextEdit::updateMargin);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0) {
            column_->scroll(0, dy);
        } else {
            column_->update(0, rect.y(), column_->width(), rect.height());
        }
    });
    updateMargin();
}

int NumberedTextEdit::lineNumberWidth() const {
    const int digits = static_cast<int>(QString::number(std::max(1, blockCount())).size());
    return 12 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * std::max(3, digits);
}

void NumberedTextEdit::updateMargin() {
    setViewportMargins(lineNumberWidth(), 0, 0, 0);
}

void NumberedTextEdit::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    column_->setGeometry(QRect(area.left(), area.top(), lineNumberWidth(), area.height()));
}

void NumberedTextEdit::paintLineNumbers(QPaintEvent* event) {
    QPainter painter(column_);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.setFont(font());
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int right = column_->width() - 6;
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top()) {
            painter.drawText(0, top, right, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        top += height;
        block = block.next();
    }
}

TextEditorWindow::TextEditorWindow(QWidget* parent, std::shared_ptr<TextEditorViewModel> editor,
                                   FileBrowserViewModel& browser)
    : BoundDialog(parent, text(texts::textEditorTitle), 700), editor_(std::move(editor)),
      text_(new NumberedTextEdit), name_(new QLabel),
      modified_(new QLabel(text(texts::modifiedMark))), lineCount_(new QLabel),
      banner_(new QWidget), bannerText_(new QLabel) {
    setMinimumSize(700, 500);
    resize(900, 640);

    auto* header = new QHBoxLayout;
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    modified_->setForegroundRole(QPalette::PlaceholderText);
    lineCount_->setForegroundRole(QPalette::PlaceholderText);
    header->addWidget(name_);
    header->addWidget(modified_);
    header->addStretch(1);
    header->addWidget(lineCount_);
    content()->addLayout(header);

    makeLockBanner(banner_, bannerText_);
    content()->addWidget(banner_);

    text_->setFont(monospaceFont());
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setAccessibleName(text(texts::textTool));
    text_->setPlainText(fromUtf8(editor_->text.get()));
    content()->addWidget(text_, 1);
    // Every change of the document is the user's: the text above was set before listening.
    // A keystroke only marks the text edited; copying a long text on each one made typing
    // slow, so the text itself is handed over when it is saved.
    text_->document()->setModified(false);
    connect(text_->document(), &QTextDocument::modificationChanged, this,
            [this](bool changed) { editor_->markEdited(changed); });
    connect(text_, &QPlainTextEdit::blockCountChanged, this,
            [this](int lines) { lineCount_->setText(text(texts::lineCountFormat, lines)); });

    save_ = addButton(text(texts::saveButton));
    save_->setShortcut(QKeySequence::Save);
    save_->setToolTip(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText));
    connect(save_, &QPushButton::clicked, this, [this] {
        editor_->setText(text_->toPlainText().toStdString());
        editor_->save();
    });
    addCancelButton(text(texts::closeButton));
    setCloseRequest([&browser] { browser.requestCloseTextEditor(); });
    bindEditor();
    text_->setFocus();
}

void TextEditorWindow::bindEditor() {
    TextEditorViewModel& editor = *editor_;
    bindings.watch(editor.fileName,
                   [this, &editor] { name_->setText(fromUtf8(editor.fileName.get())); });
    // What was typed while the save ran is still an edit, and the document must say so for
    // the next keystroke to be seen.
    bindings.listen(editor.saved(), std::function<void()>([this] {
                        const bool edited =
                            text_->toPlainText().toStdString() != editor_->originalText();
                        text_->document()->setModified(edited);
                        editor_->markEdited(edited);
                    }));
    bindings.watch(editor.text, [this, &editor] {
        lineCount_->setText(text(texts::lineCountFormat, lineCount(editor.text.get())));
    });
    const auto showWritable = [this, &editor] {
        const bool readOnly = editor.isReadOnly;
        modified_->setVisible(editor.isModified);
        save_->setEnabled(editor.isModified && !readOnly && !editor.isSaving);
        text_->setReadOnly(readOnly);
        banner_->setVisible(readOnly);
        QString shown = text(tamberlane::texts::readOnlyBanner);
        if (!editor.readOnlyReason.get().empty()) {
            shown += QStringLiteral("  ") + fromUtf8(editor.readOnlyReason.get());
        }
        bannerText_->setText(shown);
        banner_->setAccessibleName(shown);
    };
    bindings.watch(editor.isModified, showWritable);
    bindings.watch(editor.isReadOnly, showWritable);
    bindings.watch(editor.readOnlyReason, showWritable);
    bindings.watch(editor.isSaving, showWritable);

    bindings.watch(editor.showError, [this, &editor] {
        if (editor.showError) {
            showAlertBox(this, text(tamberlane::texts::errorAlertTitle),
                         fromUtf8(editor.errorMessage.get()),
                         [&editor] { editor.showError = false; });
        }
    });
    bindings.watch(editor.showSaveSuccess, [this, &editor] {
        if (editor.showSaveSuccess) {
            showNoticeBox(this, text(texts::saveDoneTitle), text(tamberlane::texts::textSaved),
                          [&editor] { editor.showSaveSuccess = false; });
        }
    });
    watchDiscardQuestion(bindings, this, editor.discard);
}

} // namespace tamberlane::ui
