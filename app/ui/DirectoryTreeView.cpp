#include "app/ui/DirectoryTreeView.h"

#include "app/state/FileBrowserViewModel.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"

#include <QHash>

#include <utility>

namespace tamberlane::ui {

namespace {

constexpr int pathRole = Qt::UserRole;

QStringList toStrings(const DiskPath& path) {
    QStringList list;
    for (const std::string& component : path.components) {
        list << fromUtf8(component);
    }
    return list;
}

DiskPath toDiskPath(const QStringList& list) {
    DiskPath path;
    for (const QString& component : list) {
        path.components.push_back(component.toStdString());
    }
    return path;
}

QStringList pathOf(const QTreeWidgetItem* item) {
    return item->data(0, pathRole).toStringList();
}

void setIconOnce(QTreeWidgetItem* item, const QIcon& icon) {
    if (item->icon(0).cacheKey() != icon.cacheKey()) {
        item->setIcon(0, icon);
    }
}

} // namespace

DirectoryTreeView::DirectoryTreeView(FileBrowserViewModel& browser, QWidget* parent)
    : QTreeWidget(parent), browser_(browser),
      driveIcon_(themedIcon("drive-harddisk", QStyle::SP_DriveHDIcon)),
      folderIcon_(themedIcon("folder", QStyle::SP_DirIcon)),
      repeatIcon_(themedIcon("folder-remote", QStyle::SP_DirLinkIcon)) {
    setHeaderHidden(true);
    setAccessibleName(text(texts::treeName));
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { forwardExpansion(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { forwardExpansion(item, false); });
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = selectedItems();
        if (applyingState_ || selected.isEmpty()) {
            return;
        }
        const DiskPath path = toDiskPath(pathOf(selected.front()));
        if (!(path == browser_.currentPath.get())) {
            browser_.navigateToPath(path);
        }
        // A refused navigation leaves the highlight where the state has it.
        showSelection();
    });
    bindings_.watch(browser_.directoryTree, [this] { showTree(); });
    bindings_.watch(browser_.selectedTreePath, [this] { showSelection(); });
}

QTreeWidgetItem* DirectoryTreeView::itemOf(const DiskPath& path) const {
    QTreeWidgetItem* item = topLevelItem(0);
    const QStringList wanted = toStrings(path);
    for (qsizetype depth = 1; item != nullptr && depth <= wanted.size(); ++depth) {
        const QStringList prefix = wanted.first(depth);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && next == nullptr; ++i) {
            if (pathOf(item->child(i)) == prefix) {
                next = item->child(i);
            }
        }
        item = next;
    }
    return item;
}

void DirectoryTreeView::forwardExpansion(QTreeWidgetItem* item, bool expanded) {
    if (applyingState_) {
        return;
    }
    const DiskPath path = toDiskPath(pathOf(item));
    if (expanded) {
        browser_.expandTreeNode(path);
    } else {
        browser_.collapseTreeNode(path);
    }
    // A refused expansion changes no state, and the row must not stay open over nothing.
    showTree();
}

void DirectoryTreeView::showTree() {
    const std::vector<DirectoryTreeNode>& roots = browser_.directoryTree.get();
    const bool outer = std::exchange(applyingState_, true);
    while (topLevelItemCount() > static_cast<int>(roots.size())) {
        delete takeTopLevelItem(topLevelItemCount() - 1);
    }
    for (std::size_t i = 0; i < roots.size(); ++i) {
        QTreeWidgetItem* item = topLevelItem(static_cast<int>(i));
        if (item == nullptr) {
            item = new QTreeWidgetItem(this);
        }
        setIconOnce(item, driveIcon_);
        showNode(item, roots[i]);
    }
    applyingState_ = outer;
    showSelection();
}

void DirectoryTreeView::showNode(QTreeWidgetItem* item, const DirectoryTreeNode& node) {
    item->setText(0, fromUtf8(node.name));
    item->setData(0, pathRole, toStrings(node.path));
    item->setChildIndicatorPolicy(node.mayHaveChildren()
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    showChildren(item, node);
    item->setExpanded(node.isExpanded);
}

// Rows that stay are kept, so a change deep in the tree does not move what the user looks at.
void DirectoryTreeView::showChildren(QTreeWidgetItem* item, const DirectoryTreeNode& node) {
    const std::vector<DirectoryTreeNode>& children = node.children;
    bool same = item->childCount() == static_cast<int>(children.size());
    for (int i = 0; same && i < item->childCount(); ++i) {
        same = pathOf(item->child(i)) == toStrings(children[static_cast<std::size_t>(i)].path);
    }
    if (!same) {
        QMultiHash<QStringList, QTreeWidgetItem*> byPath;
        for (QTreeWidgetItem* old : item->takeChildren()) {
            byPath.insert(pathOf(old), old);
        }
        QList<QTreeWidgetItem*> rows;
        for (const DirectoryTreeNode& child : children) {
            const QStringList path = toStrings(child.path);
            const auto kept = byPath.find(path);
            if (kept == byPath.end()) {
                rows << new QTreeWidgetItem;
            } else {
                rows << kept.value();
                byPath.erase(kept);
            }
        }
        qDeleteAll(byPath);
        item->addChildren(rows);
    }
    for (int i = 0; i < item->childCount(); ++i) {
        const DirectoryTreeNode& child = children[static_cast<std::size_t>(i)];
        setIconOnce(item->child(i), child.repeatsAncestor ? repeatIcon_ : folderIcon_);
        showNode(item->child(i), child);
    }
}

void DirectoryTreeView::showSelection() {
    const std::optional<DiskPath>& path = browser_.selectedTreePath.get();
    QTreeWidgetItem* item = path ? itemOf(*path) : nullptr;
    const bool outer = std::exchange(applyingState_, true);
    clearSelection();
    if (item != nullptr) {
        setCurrentItem(item);
        item->setSelected(true);
    }
    applyingState_ = outer;
}

} // namespace tamberlane::ui
