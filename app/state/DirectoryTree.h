#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// One directory in the sidebar's tree.
struct DirectoryTreeNode {
    std::string name;
    DiskPath path;
    // The names a typed path may pick it by, beside `name`.
    std::string shortName;
    std::string rawForm;
    // Absent for the root.
    std::optional<std::uint16_t> firstCluster;
    // Expanded nodes hold their subdirectories as their directory was last listed; the
    // others hold none and have not been listed.
    bool isExpanded = false;
    // It names the root or a directory above it (a loop, or garbage): expanding it shows
    // that directory again, so only the user expands it, one level at a time.
    bool repeatsAncestor = false;
    std::vector<DirectoryTreeNode> children;

    // Shows an expander: not listed yet, or listed with subdirectories. A listing may
    // find none; finding out beforehand would cost a read of every row's directory.
    bool mayHaveChildren() const { return !isExpanded || !children.empty(); }

    bool operator==(const DirectoryTreeNode&) const = default;
};

// The directories the sidebar shows: the root, and below it only what the user expanded
// (or what a navigation revealed). Each expansion reads that one directory by its first
// cluster; a change of the volume lists again only the expanded directories.
class DirectoryTree {
  public:
    // Reads one directory: the root when the cluster is absent. `path` is its own path.
    using Lister =
        std::function<std::vector<FileEntry>(const DiskPath& path, std::optional<std::uint16_t>)>;
    static Lister listerOf(std::shared_ptr<const DiskImage> image);

    // No volume: no nodes.
    DirectoryTree() = default;
    // The root, listed and expanded.
    explicit DirectoryTree(Lister lister);

    // One root node while a volume is bound.
    const std::vector<DirectoryTreeNode>& roots() const { return roots_; }

    // Each returns whether the tree changed. A path that names no node changes nothing.
    bool expand(const DiskPath& path);
    bool collapse(const DiskPath& path);
    // Expands every directory on the way to the one `path` names, each component picked
    // as a typed name picks an entry. Returns that node's path as the tree spells it, or
    // nothing when a component names no subdirectory.
    std::optional<DiskPath> reveal(const DiskPath& path);
    // After a change of the volume: lists the expanded directories that still exist again,
    // and nothing else; the others disappear with what was below them.
    void refresh();

  private:
    // Clusters of the directories from the root down to a node; the root counts as 0, as
    // a ".." entry names it.
    using Ancestry = std::vector<std::uint16_t>;

    void list(DirectoryTreeNode& node, const Ancestry& ancestry) const;
    void relist(DirectoryTreeNode& fresh, const DirectoryTreeNode& old, Ancestry& ancestry) const;
    DirectoryTreeNode* find(const DiskPath& path, Ancestry& ancestry);

    Lister lister_;
    std::vector<DirectoryTreeNode> roots_;
};

} // namespace tamberlane
