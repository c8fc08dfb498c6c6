// Copy and move inside a volume, checked by fsck.fat and mtools: the ways a paste could
// cross-link, orphan or lose entries, or keep half of a refused or cancelled batch.

#include "engine/operations/EntryTransfer.h"
#include "engine/operations/FileImport.h"
#include "tests/engine/operations/OperationsTestSupport.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

using Reason = DiskImageError::Reason;
const DiskPath root = DiskPath::root();

DiskPath pathOf(const std::string& text) {
    return DiskPath::fromString(text);
}

// The part of a tree below `prefix`, with the prefix taken off.
Tree subtree(const Tree& tree, const std::string& prefix) {
    Tree out;
    for (const auto& [name, bytes] : tree) {
        if (name.starts_with(prefix) && name != prefix) {
            out[name.substr(prefix.size())] = bytes;
        }
    }
    return out;
}

class CopyMoveTest : public VolumeOperationsTest {
  protected:
    // A tree with a long-named directory, a long-named file, an empty file and a level below.
    void putTree() {
        mtoolsMkdir(volume->path(), "::/Long Directory Name");
        put("::/Long Directory Name/Read me first.txt", 1500, 1);
        put("::/Long Directory Name/EMPTY.DAT", 0, 2);
        mtoolsMkdir(volume->path(), "::/Long Directory Name/SUB");
        put("::/Long Directory Name/SUB/DEEP.BIN", 5000, 3);
        put("::/A.TXT", 700, 4);
        mtoolsMkdir(volume->path(), "::/DEST");
    }
    FileEntry entry(const std::string& directory, const std::string& name) const {
        return listedEntry(*image, pathOf(directory), name);
    }
    // The reason of the one item of a batch, which must have failed and changed nothing.
    Reason refusedUnchanged(const std::function<BatchResult()>& batch) {
        const Bytes file = volume->fileBytes();
        const BatchResult result = batch();
        EXPECT_EQ(volume->fileBytes(), file);
        EXPECT_TRUE(image->data() == file);
        if (result.items.size() != 1 || result.items[0].succeeded()) {
            ADD_FAILURE() << "accepted";
            return Reason::none;
        }
        return result.items[0].error->reason();
    }
    // What the ".." slot of a directory names as its parent.
    std::uint16_t dotDotCluster(const std::string& directory, const std::string& name) const {
        const Bytes cluster =
            image->readCluster(entry(directory, name).directoryEntry.startCluster);
        EXPECT_EQ(std::string(cluster.begin() + 32, cluster.begin() + 34), "..");
        return readU16LE(cluster, 32 + 26);
    }
};

TEST_F(CopyMoveTest, CopiedTreeKeepsNamesDataAndDatesAndClashesAreRefused) {
    putTree();
    put("::/DEST/A.TXT", 10, 9);
    open();
    const FileEntry tree = entry("/", "Long Directory Name");
    const FileEntry file = entry("/", "A.TXT");
    EXPECT_EQ(refusedUnchanged(
                  [&] { return EntryTransfer(image).copyEntries({file}, pathOf("DEST"), {}); }),
              Reason::nameClash);
    EXPECT_EQ(refusedUnchanged([&] {
                  return EntryTransfer(image).copyEntries({tree}, pathOf("Long Directory Name/SUB"),
                                                          {});
              }),
              Reason::intoItself);
    const Bytes before = volume->fileBytes();
    EXPECT_TRUE(EntryTransfer(image).copyEntries({tree, file}, root, {}).allSucceeded());
    EXPECT_EQ(volume->fileBytes(), before) << "pasting into its own directory changed it";

    EXPECT_TRUE(EntryTransfer(image)
                    .copyEntries({tree, file}, pathOf("DEST"), {.overwrite = true})
                    .allSucceeded());
    EXPECT_TRUE(fsckAccepts(volume->path()));
    const Tree after = mtoolsTree(volume->path());
    EXPECT_EQ(subtree(after, "DEST/Long Directory Name/"), subtree(after, "Long Directory Name/"));
    EXPECT_EQ(after.at("DEST/A.TXT"), patternBytes(700, 4));
    const DirectoryEntry copied = entry("DEST", "A.TXT").directoryEntry;
    EXPECT_EQ(copied.modifiedDate, file.directoryEntry.modifiedDate);
    EXPECT_EQ(copied.attributes, file.directoryEntry.attributes);
    EXPECT_EQ(dotDotCluster("DEST", "Long Directory Name"),
              entry("/", "DEST").directoryEntry.startCluster);
    // A directory is never replaced, even with overwrite on.
    EXPECT_EQ(refusedUnchanged([&] {
                  return EntryTransfer(image).copyEntries({tree}, pathOf("DEST"),
                                                          {.overwrite = true});
              }),
              Reason::nameClash);
}

TEST_F(CopyMoveTest, MovedEntriesLeaveNoOrphansAndDirectoriesPointAtTheirNewParent) {
    putTree();
    put("::/Long Name File.txt", 300, 5);
    open();
    const FileEntry tree = entry("/", "Long Directory Name");
    const FileEntry longFile = entry("/", "Long Name File.txt");
    const Bytes before = volume->fileBytes();
    EXPECT_TRUE(EntryTransfer(image).moveEntries({tree}, root, {}).allSucceeded());
    EXPECT_EQ(volume->fileBytes(), before);
    EXPECT_EQ(refusedUnchanged([&] {
                  return EntryTransfer(image).moveEntries({tree}, pathOf("Long Directory Name"),
                                                          {});
              }),
              Reason::intoItself);

    const Tree original = mtoolsTree(volume->path());
    EXPECT_TRUE(
        EntryTransfer(image).moveEntries({tree, longFile}, pathOf("DEST"), {}).allSucceeded());
    EXPECT_TRUE(fsckAccepts(volume->path()));
    const Tree moved = mtoolsTree(volume->path());
    EXPECT_EQ(subtree(moved, "DEST/Long Directory Name/"),
              subtree(original, "Long Directory Name/"));
    EXPECT_EQ(moved.at("DEST/Long Name File.txt"), patternBytes(300, 5));
    EXPECT_FALSE(moved.contains("Long Directory Name/"));
    EXPECT_EQ(entry("DEST", "Long Directory Name").directoryEntry.startCluster,
              tree.directoryEntry.startCluster)
        << "a move copied the data";
    EXPECT_EQ(dotDotCluster("DEST", "Long Directory Name"),
              entry("/", "DEST").directoryEntry.startCluster);

    // The listing taken before the move is stale now.
    EXPECT_FALSE(VolumeEditor(image).locate(tree).has_value());
    EXPECT_EQ(refusedUnchanged([&] { return EntryTransfer(image).moveEntries({tree}, root, {}); }),
              Reason::staleEntry);

    writeFile(hostDir / "b.txt", patternBytes(10, 6));
    FileImport(image).importFile(hostDir / "b.txt", pathOf("DEST"), false);
    FileImport(image).importFile(hostDir / "b.txt", root, false);
    EXPECT_EQ(refusedUnchanged([&] {
                  return EntryTransfer(image).moveEntries({entry("/", "B.TXT")}, pathOf("DEST"),
                                                          {});
              }),
              Reason::nameClash);
    EXPECT_TRUE(EntryTransfer(image)
                    .moveEntries({entry("DEST/Long Directory Name", "SUB")}, root, {})
                    .allSucceeded());
    EXPECT_EQ(dotDotCluster("/", "SUB"), 0);
    EXPECT_TRUE(fsckAccepts(volume->path()));
    EXPECT_EQ(mtoolsRead(volume->path(), "::/SUB/DEEP.BIN"), patternBytes(5000, 3));
}

// A stop seen between items or between clusters undoes the batch, including a directory
// that had grown for an earlier item.
TEST_F(CopyMoveTest, CancelledBatchLeavesFileAndMemoryAsBefore) {
    putTree();
    mtoolsMkdir(volume->path(), "::/FULL");
    for (int i = 0; i < 14; ++i) {
        put("::/FULL/F" + std::to_string(i), 1, 1);
    }
    open();
    writeFile(hostDir / "first", patternBytes(100, 1));
    writeFile(hostDir / "big", patternBytes(100000, 2));
    const FileEntry tree = entry("/", "Long Directory Name");
    const FileEntry file = entry("/", "A.TXT");
    const std::vector<std::pair<std::string, std::function<BatchResult(const BatchOptions&)>>>
        batches = {
            {"import",
             [&](const BatchOptions& o) {
                 return FileImport(image).importFiles({hostDir / "first", hostDir / "big"},
                                                      pathOf("FULL"), o);
             }},
            {"copy",
             [&](const BatchOptions& o) {
                 return EntryTransfer(image).copyEntries({file, tree}, pathOf("FULL"), o);
             }},
            {"move",
             [&](const BatchOptions& o) {
                 return EntryTransfer(image).moveEntries({file, tree}, pathOf("FULL"), o);
             }},
        };
    for (const auto& [name, run] : batches) {
        const Bytes before = volume->fileBytes();
        const FATTable fat = image->fatTable();
        std::stop_source stop;
        // Past the first item: in the import's case inside the second file's clusters.
        const auto progress = [&stop](double value) {
            if (value > 0.6) {
                stop.request_stop();
            }
        };
        const BatchResult result = run({.stop = stop.get_token(), .progress = progress});
        EXPECT_TRUE(result.cancelled) << name;
        EXPECT_TRUE(result.items.empty()) << name;
        EXPECT_EQ(volume->fileBytes(), before) << name;
        EXPECT_TRUE(image->data() == before) << name;
        EXPECT_TRUE(image->fatTable() == fat) << name;
    }
}

} // namespace
} // namespace tamberlane::test
