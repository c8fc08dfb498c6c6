#include "app/ui/FileListView.h"

#include "app/ui/ImageFiles.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
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
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
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

void FileListView::startDrag(Qt::DropActions) {
    if (!exporter_ || !selected_) {
        return;
    }
    // The receiver may read the files as soon as it sees them, so they are exported now;
    // directories are left out, a drag out carries files only.
    QList<QUrl> urls;
    bool failed = false;
    for (const FileEntry& entry : selected_()) {
        if (entry.directoryEntry.isDirectory()) {
            continue;
        }
        if (const auto path = exporter_(entry)) {
            urls << QUrl::fromLocalFile(QString::fromStdString(path->string()));
        } else {
            failed = true;
        }
    }
    if (failed) {
        Q_EMIT dragExportFailed();
    }
    if (urls.isEmpty()) {
        return;
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    markAsOwnDrag(*data);
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
