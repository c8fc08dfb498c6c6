#pragma once

#include "app/state/ApplicationState.h"
#include "engine/fat/NewImageFile.h"
#include "tests/support/FatTools.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tamberlane::test {

// The tree as text: "/{A{A1,A2},B}" is the root expanded over A (expanded, holding A1
// and A2) and B (not listed). A repeated directory is marked "~".
inline std::string treeShape(const std::vector<DirectoryTreeNode>& nodes) {
    std::string out;
    for (const DirectoryTreeNode& node : nodes) {
        out += (out.empty() ? "" : ",") + node.name + (node.repeatsAncestor ? "~" : "");
        if (node.isExpanded) {
            out += "{" + treeShape(node.children) + "}";
        }
    }
    return out;
}

// The application's state on a synchronous executor, with new 1.44 MB images made by
// the engine in a private folder.
class StateTest : public ::testing::Test {
  protected:
    StateTest() : app(executor) {}

    std::filesystem::path newImage(const std::string& name, DiskSize size = DiskSize::mb1_44) {
        const auto path = dir / name;
        writeImageFile(path, createNewImage(NewImageParameters{NewImageFormat::bin, size, {}}));
        return path;
    }
    std::filesystem::path hostFile(const std::string& name, const std::string& text) {
        const auto path = host / name;
        std::filesystem::create_directories(path.parent_path());
        writeFile(path, bytesOf(text));
        return path;
    }
    std::vector<std::string> listedNames() {
        std::vector<std::string> names;
        for (const FileEntry& e : app.browser().entries.get()) {
            names.push_back(e.directoryEntry.displayName());
        }
        return names;
    }
    const FileEntry& listed(const std::string& name) {
        for (const FileEntry& e : app.browser().entries.get()) {
            if (e.directoryEntry.displayName() == name) {
                return e;
            }
        }
        throw std::runtime_error("not listed: " + name);
    }
    void select(const std::vector<std::string>& names) {
        std::set<EntryId> ids;
        for (const std::string& name : names) {
            ids.insert(listed(name).id);
        }
        app.browser().setSelection(ids);
    }
    void makeDirectory(const std::string& name) {
        app.browser().requestNewDirectory();
        app.browser().newDirectoryName = name;
        app.browser().createNewDirectory();
    }
    void enter(const std::string& name) { app.browser().navigateToDirectory(listed(name)); }

    TempDir dir;
    TempDir host;
    SynchronousExecutor executor;
    ApplicationState app;
};

// The same, with a new 1.44 MB image open.
class OpenImageTest : public StateTest {
  protected:
    void SetUp() override {
        image = newImage("disk.img");
        app.image().openDiskImage(image);
        ASSERT_TRUE(app.image().isImageOpen);
    }
    FileBrowserViewModel& browser() { return app.browser(); }

    std::filesystem::path image;
};

} // namespace tamberlane::test
