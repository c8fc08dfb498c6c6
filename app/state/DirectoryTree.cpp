#include "app/state/DirectoryTree.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryWalk.h"
#include "engine/fat/EntryLookup.h"

#include <algorithm>
#include <unordered_map>

namespace tamberlane {

namespace {

DirectoryTreeNode rootNode() {
    DirectoryTreeNode root;
    root.name = "/";
    root.path = DiskPath::root();
    return root;
}

// The subdirectory a typed component picks, by the rule every path resolver uses.
DirectoryTreeNode* pick(std::vector<DirectoryTreeNode>& nodes, const std::string& component) {
    std::vector<EntryLookup::EntryNames> names;
    names.reserve(nodes.size());
    for (const DirectoryTreeNode& node : nodes) {
        names.push_back({node.name, node.shortName, node.rawForm});
    }
    try {
        const std::optional<std::size_t> found = EntryLookup::findNamed(names, component);
        return found ? &nodes[*found] : nullptr;
    } catch (const DiskImageError&) {
        // Several alike: the tree cannot say which one the path meant.
        return nullptr;
    }
}

const std::string& lastComponent(const DirectoryTreeNode& node) {
    return node.path.components.back();
}

} // namespace

DirectoryTree::Lister DirectoryTree::listerOf(std::shared_ptr<const DiskImage> image) {
    return [image = std::move(image)](const DiskPath& path, std::optional<std::uint16_t> cluster) {
        return readDirectoryEntries(*image, path, cluster);
    };
}

DirectoryTree::DirectoryTree(Lister lister) : lister_(std::move(lister)) {
    roots_.push_back(rootNode());
    list(roots_.front(), Ancestry{0});
}

void DirectoryTree::list(DirectoryTreeNode& node, const Ancestry& ancestry) const {
    node.isExpanded = true;
    node.children.clear();
    std::vector<FileEntry> entries;
    try {
        entries = lister_(node.path, node.firstCluster);
    } catch (const DiskImageError&) {
        // Shown as empty: the file list says why when the user goes in.
        return;
    }
    for (FileEntry& entry : entries) {
        const DirectoryEntry& directory = entry.directoryEntry;
        if (!directory.isDirectory()) {
            continue;
        }
        DirectoryTreeNode child;
        child.name = directory.displayName();
        child.path = std::move(entry.path);
        child.shortName = directory.shortName();
        child.rawForm = EntryLookup::rawForm(directory.rawName, directory.rawExtension);
        child.firstCluster = directory.startCluster;
        child.repeatsAncestor =
            std::find(ancestry.begin(), ancestry.end(), directory.startCluster) != ancestry.end();
        node.children.push_back(std::move(child));
    }
}

DirectoryTreeNode* DirectoryTree::find(const DiskPath& path, Ancestry& ancestry) {
    if (roots_.empty()) {
        return nullptr;
    }
    DirectoryTreeNode* node = &roots_.front();
    ancestry = {0};
    for (const std::string& component : path.components) {
        const auto at = std::find_if(
            node->children.begin(), node->children.end(),
            [&component](const DirectoryTreeNode& c) { return lastComponent(c) == component; });
        if (at == node->children.end()) {
            return nullptr;
        }
        node = &*at;
        ancestry.push_back(*node->firstCluster);
    }
    return node;
}

bool DirectoryTree::expand(const DiskPath& path) {
    Ancestry ancestry;
    DirectoryTreeNode* node = find(path, ancestry);
    if (node == nullptr || node->isExpanded) {
        return false;
    }
    list(*node, ancestry);
    return true;
}

bool DirectoryTree::collapse(const DiskPath& path) {
    Ancestry ancestry;
    DirectoryTreeNode* node = find(path, ancestry);
    if (node == nullptr || !node->isExpanded) {
        return false;
    }
    // Forgotten rather than kept: expanding again lists the directory as it is then.
    node->isExpanded = false;
    node->children.clear();
    return true;
}

std::optional<DiskPath> DirectoryTree::reveal(const DiskPath& path) {
    if (roots_.empty()) {
        return std::nullopt;
    }
    DirectoryTreeNode* node = &roots_.front();
    Ancestry ancestry{0};
    for (const std::string& component : path.components) {
        if (!node->isExpanded) {
            list(*node, ancestry);
        }
        node = pick(node->children, component);
        if (node == nullptr) {
            return std::nullopt;
        }
        ancestry.push_back(*node->firstCluster);
    }
    return node->path;
}

void DirectoryTree::refresh() {
    if (roots_.empty()) {
        return;
    }
    const DirectoryTreeNode old = std::move(roots_.front());
    DirectoryTreeNode root = rootNode();
    if (old.isExpanded) {
        Ancestry ancestry{0};
        relist(root, old, ancestry);
    }
    roots_.front() = std::move(root);
}

void DirectoryTree::relist(DirectoryTreeNode& fresh, const DirectoryTreeNode& old,
                           Ancestry& ancestry) const {
    list(fresh, ancestry);
    std::unordered_map<std::string, const DirectoryTreeNode*> expanded;
    for (const DirectoryTreeNode& child : old.children) {
        if (child.isExpanded) {
            expanded.emplace(lastComponent(child), &child);
        }
    }
    for (DirectoryTreeNode& child : fresh.children) {
        const auto at = expanded.find(lastComponent(child));
        if (at == expanded.end()) {
            continue;
        }
        ancestry.push_back(*child.firstCluster);
        relist(child, *at->second, ancestry);
        ancestry.pop_back();
    }
}

} // namespace tamberlane
