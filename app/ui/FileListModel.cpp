#include "app/ui/FileListModel.h"

#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>

namespace tamberlane::ui {

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

void FileListModel::setEntries(std::vector<FileEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

void FileListModel::setDimmed(std::vector<DiskPath> paths) {
    if (paths == dimmed_) {
        return;
    }
    dimmed_ = std::move(paths);
    if (!entries_.empty()) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount_ - 1),
                           {Qt::ForegroundRole, Qt::DecorationRole});
    }
}

bool FileListModel::isDimmed(int row) const {
    // By path, not by id: the listing is read afresh after every change.
    const DiskPath& path = entryAt(row).path;
    return std::find(dimmed_.begin(), dimmed_.end(), path) != dimmed_.end();
}

int FileListModel::rowOf(EntryId id) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const DirectoryEntry& entry = entryAt(index.row()).directoryEntry;
    const bool isDirectory = entry.isDirectory();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (index.column()) {
        case nameColumn:
            return fromUtf8(entry.displayName());
        case sizeColumn:
            return isDirectory ? QString::fromLatin1(texts::directorySize)
                               : groupedNumber(entry.size);
        case dateColumn:
            return fileDate(entry.modifiedDate);
        case attributeColumn:
            return attributeLetters(entry.attributes);
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (index.column() == nameColumn) {
            const QIcon icon = isDirectory ? themedIcon("folder", QStyle::SP_DirIcon)
                                           : themedIcon("text-x-generic", QStyle::SP_FileIcon);
            return isDimmed(index.row()) ? QIcon(icon.pixmap(16, QIcon::Disabled)) : icon;
        }
        return {};
    case Qt::ForegroundRole:
        if (isDimmed(index.row()) || (index.column() == sizeColumn && isDirectory)) {
            return QApplication::palette().brush(QPalette::PlaceholderText);
        }
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == sizeColumn) {
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static constexpr Text titles[] = {texts::nameColumn, texts::sizeColumn, texts::dateColumn,
                                      texts::attributeColumn};
    return section >= 0 && section < columnCount_ ? text(titles[section]) : QVariant();
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

} // namespace tamberlane::ui
