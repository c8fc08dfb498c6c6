#pragma once

#include "app/state/DragCopies.h"
#include "engine/fat/DiskPath.h"

#include <QTableView>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

class QMimeData;

namespace tamberlane::ui {

// The file list: a table that turns its keys and drags into requests for the window.
class FileListView final : public QTableView {
    Q_OBJECT
  public:
    // Starts the host copies of the files a drag out carries; null when it cannot.
    using DragCopier =
        std::function<std::shared_ptr<const DragCopies>(std::vector<FileEntry> files)>;

    explicit FileListView(QWidget* parent = nullptr);

    void setDragCopier(DragCopier copier) { copier_ = std::move(copier); }
    void setImportAllowed(bool allowed) { importAllowed_ = allowed; }
    bool importAllowed() const { return importAllowed_; }
    // The entries the drag carries, in row order.
    void setDragSource(std::function<std::vector<FileEntry>()> selected) {
        selected_ = std::move(selected);
    }
    // What a drag of the selection carries, its copies under way; null when it carries
    // nothing. The caller owns it.
    QMimeData* dragData();
    // Type-ahead finds a row by its name, whichever cell was clicked last.
    void keyboardSearch(const QString& search) override;

  Q_SIGNALS:
    void enterPressed();
    void upPressed();
    void filesDropped(const std::vector<std::filesystem::path>& files);
    void dragExportFailed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool acceptsDrop(const QMimeData* data) const;

    DragCopier copier_;
    std::function<std::vector<FileEntry>()> selected_;
    bool importAllowed_ = false;
};

} // namespace tamberlane::ui
