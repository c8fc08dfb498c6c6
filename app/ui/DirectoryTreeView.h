#pragma once

#include "app/ui/Bindings.h"

#include <QIcon>
#include <QTreeWidget>

namespace tamberlane {
class FileBrowserViewModel;
struct DirectoryTreeNode;
struct DiskPath;
} // namespace tamberlane

namespace tamberlane::ui {

// The sidebar's directory tree. It shows what the browser's state holds, row by row,
// and hands the user's expanding, collapsing and choice of a row back to it.
class DirectoryTreeView final : public QTreeWidget {
    Q_OBJECT
  public:
    explicit DirectoryTreeView(FileBrowserViewModel& browser, QWidget* parent = nullptr);

    // The row showing `path`, or null.
    QTreeWidgetItem* itemOf(const DiskPath& path) const;

  private:
    void showTree();
    void showSelection();
    void showNode(QTreeWidgetItem* item, const DirectoryTreeNode& node);
    void showChildren(QTreeWidgetItem* item, const DirectoryTreeNode& node);
    void forwardExpansion(QTreeWidgetItem* item, bool expanded);

    FileBrowserViewModel& browser_;
    QIcon driveIcon_;
    QIcon folderIcon_;
    // A row naming a directory above it: a loop, shown but not followed on its own.
    QIcon repeatIcon_;
    Bindings bindings_;
    // Set while the rows follow the state, so that Qt's signals are not taken for the user's.
    bool applyingState_ = false;
};

} // namespace tamberlane::ui
