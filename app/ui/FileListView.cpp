#include "app/ui/FileListView.h"

#include "app/ui/DragOutMimeData.h"
#include "app/ui/FileListModel.h"
#include "app/ui/ImageFiles.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

namespace tamberlane::ui {

FileListView::FileListView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setWordWrap(false);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
}

void FileListView::keyPressEvent(QKeyEvent* event) {
    const bool plain =
        event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        Q_EMIT enterPressed();
        return;
    }
    if (plain && event->key() == Qt::Key_Backspace) {
        Q_EMIT upPressed();
        return;
    }
    QTableView::keyPressEvent(event);
}

void FileListView::focusInEvent(QFocusEvent* event) {
    const bool hadCurrent = currentIndex().isValid();
    QTableView::focusInEvent(event);
    // Qt makes the first row current on focus, so the first Down would land on the
    // second: a list nobody has moved in yet keeps no current row, and Down selects the
    // first.
    if (!hadCurrent && selectionModel() != nullptr) {
        selectionModel()->clearCurrentIndex();
    }
}

QModelIndex FileListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Home and End go to the first and last row, not to the row's first and last cell.
    if (action == MoveHome || action == MoveEnd) {
        modifiers |= Qt::ControlModifier;
    }
    // The rows are files: the cursor stays in the name column, where type-ahead looks.
    const QModelIndex moved = QTableView::moveCursor(action, modifiers);
    return moved.isValid() ? moved.siblingAtColumn(FileListModel::nameColumn) : moved;
}

void FileListView::keyboardSearch(const QString& search) {
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.column() != FileListModel::nameColumn) {
        selectionModel()->setCurrentIndex(current.siblingAtColumn(FileListModel::nameColumn),
                                          QItemSelectionModel::NoUpdate);
    }
    QTableView::keyboardSearch(search);
}

QMimeData* FileListView::dragData() {
    if (!copier_ || !selected_) {
        return nullptr;
    }
    // A drag out carries files only.
    std::vector<FileEntry> files = selected_();
    std::erase_if(files, [](const FileEntry& entry) { return entry.directoryEntry.isDirectory(); });
    if (files.empty()) {
        return nullptr;
    }
    std::shared_ptr<const DragCopies> copies = copier_(std::move(files));
    if (!copies) {
        Q_EMIT dragExportFailed();
        return nullptr;
    }
    auto* data = new DragOutMimeData(std::move(copies));
    markAsOwnDrag(*data);
    return data;
}

void FileListView::startDrag(Qt::DropActions) {
    QMimeData* data = dragData();
    if (data == nullptr) {
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

bool FileListView::acceptsDrop(const QMimeData* data) const {
    return data != nullptr &&
           dropMeaning(*data, DropTarget::fileList, importAllowed_) == DropMeaning::importFiles;
}

void FileListView::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptsDrop(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FileListView::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptsDrop(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void FileListView::dropEvent(QDropEvent* event) {
    if (!acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT filesDropped(localFiles(*event->mimeData()));
}

} // namespace tamberlane::ui
