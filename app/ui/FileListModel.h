#pragma once

#include "engine/fat/DiskPath.h"

#include <QAbstractTableModel>

#include <vector>

namespace tamberlane::ui {

// The entries of the browser's current directory as table rows. It holds a copy of the
// list; the window hands it the new list whenever the browser's changes.
class FileListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { nameColumn, sizeColumn, dateColumn, attributeColumn, columnCount_ };

    explicit FileListModel(QObject* parent = nullptr);

    void setEntries(std::vector<FileEntry> entries);
    // Entries cut to the clipboard, shown dimmed until they are pasted or the cut is gone.
    void setDimmed(std::vector<DiskPath> paths);
    bool isDimmed(int row) const;
    const FileEntry& entryAt(int row) const { return entries_[static_cast<std::size_t>(row)]; }
    int rowOf(EntryId id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    std::vector<FileEntry> entries_;
    std::vector<DiskPath> dimmed_;
};

} // namespace tamberlane::ui
