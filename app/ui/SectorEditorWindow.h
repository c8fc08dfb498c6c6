#pragma once

#include "app/ui/BoundDialog.h"
#include "engine/base/Bytes.h"

#include <QAbstractScrollArea>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTableWidget;
class QToolButton;

namespace tamberlane {
class ApplicationState;
class SectorEditorViewModel;
} // namespace tamberlane

namespace tamberlane::ui {

// The shown sector as offset, hex and ASCII columns, typed over in place: the cursor is
// the editor's, counted in half-bytes, and shows in both the hex and the ASCII column.
class SectorDumpView final : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit SectorDumpView(SectorEditorViewModel& editor, QWidget* parent = nullptr);

    // The editor's bytes or cursor changed.
    void refresh();
    void scrollToCursor();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    struct Layout {
        int charWidth;
        int lineHeight;
        int hexLeft;
        int asciiLeft;
        int width;
    };
    Layout layout() const;
    void updateScrollBars();
    void paintHeader(QPainter& painter) const;
    void moveCursor(std::int64_t halfBytes);

    SectorEditorViewModel& editor_;
    QWidget* header_;
};

// One raw sector of the open image, by its number, with the boot parameters of sector 0.
class SectorEditorWindow final : public BoundDialog {
    Q_OBJECT
  public:
    SectorEditorWindow(QWidget* parent, std::shared_ptr<SectorEditorViewModel> editor,
                       ApplicationState& state);

    SectorDumpView* dump() const { return dump_; }
    QLineEdit* lbaField() const { return lba_; }
    QPushButton* saveButton() const { return save_; }

  private:
    QWidget* createNavigation();
    QWidget* createBPBPage();
    void bindEditor();
    void showPage();

    std::shared_ptr<SectorEditorViewModel> editor_;
    QLineEdit* lba_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* next_ = nullptr;
    QLabel* position_ = nullptr;
    QCheckBox* bpbToggle_ = nullptr;
    QWidget* banner_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    SectorDumpView* dump_ = nullptr;
    QTableWidget* bpbTable_ = nullptr;
    QPushButton* save_ = nullptr;
};

} // namespace tamberlane::ui
