#pragma once

#include "app/ui/BoundDialog.h"

#include <QPlainTextEdit>

#include <memory>

class QLabel;

namespace tamberlane {
class FileBrowserViewModel;
class TextEditorViewModel;
} // namespace tamberlane

namespace tamberlane::ui {

class LineNumberColumn;

// The text area of the editor: a plain-text edit with the numbers of its lines at the left.
class NumberedTextEdit final : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit NumberedTextEdit(QWidget* parent = nullptr);

    int lineNumberWidth() const;
    void paintLineNumbers(QPaintEvent* event);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void updateMargin();

    LineNumberColumn* column_;
};

// The line numbers drawn beside the text; the edit does the painting, since only it knows
// where each line lies.
class LineNumberColumn final : public QWidget {
    Q_OBJECT
  public:
    explicit LineNumberColumn(NumberedTextEdit* edit) : QWidget(edit), edit_(edit) {}

    QSize sizeHint() const override { return {edit_->lineNumberWidth(), 0}; }

  protected:
    void paintEvent(QPaintEvent* event) override { edit_->paintLineNumbers(event); }

  private:
    NumberedTextEdit* edit_;
};

// One Shift-JIS text file of the volume, edited and saved back.
class TextEditorWindow final : public BoundDialog {
    Q_OBJECT
  public:
    TextEditorWindow(QWidget* parent, std::shared_ptr<TextEditorViewModel> editor,
                     FileBrowserViewModel& browser);

    NumberedTextEdit* textArea() const { return text_; }
    QPushButton* saveButton() const { return save_; }

  private:
    void bindEditor();

    std::shared_ptr<TextEditorViewModel> editor_;
    NumberedTextEdit* text_;
    QLabel* name_;
    QLabel* modified_;
    QLabel* lineCount_;
    QWidget* banner_;
    QLabel* bannerText_;
    QPushButton* save_;
};

} // namespace tamberlane::ui
