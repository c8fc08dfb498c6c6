// A save that fails at any step of the atomic write must leave the image file
// byte-identical and the in-memory image as it was before the operation, for every
// kind of change, so that the next successful save cannot write half of a failed one.

#include "engine/base/AtomicFile.h"
#include "engine/operations/DeletedFileRecovery.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/EntryTransfer.h"
#include "engine/operations/FileImport.h"
#include "engine/operations/UndoRedoManager.h"
#include "tests/support/FatTools.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace tamberlane::test {
namespace {

// What an operation works on: the writable image, or the same bytes opened read-only.
struct Context {
    UndoRedoManager& undo;
    std::shared_ptr<DiskImage> image;
    const TempDir& dir;
    FileEntry entry(const std::string& name) const {
        return listedEntry(*image, DiskPath::root(), name);
    }
};

struct Operation {
    std::string name;
    // Returns normally when the failure was reported in a batch result instead of thrown.
    std::function<void(const Context&)> run;
};

// Prepared before the fault is armed: a volume with files, a directory tree, a deleted
// file and one undone change, so that undo, redo and restore have something to do.
struct Prepared {
    std::unique_ptr<Volume> volume;
    std::shared_ptr<DiskImage> image;
    UndoRedoManager undo;
};

void prepare(Prepared& p, const TempDir& dir) {
    p.volume = std::make_unique<Volume>(dir, allVolumeKinds()[0]);
    writeFile(dir / "hello.txt", patternBytes(1500, 1));
    writeFile(dir / "gone.dat", patternBytes(700, 2));
    mtoolsPut(p.volume->path(), dir / "hello.txt", "::/HELLO.TXT");
    mtoolsPut(p.volume->path(), dir / "gone.dat", "::/GONE.DAT");
    mtoolsMkdir(p.volume->path(), "::/TREE");
    mtoolsMkdir(p.volume->path(), "::/TREE/SUB");
    mtoolsPut(p.volume->path(), dir / "hello.txt", "::/TREE/SUB/DEEP.TXT");
    p.image = p.volume->open();
    EntryDeletion(p.image).deleteEntry(listedEntry(*p.image, DiskPath::root(), "GONE.DAT"), false);
    p.undo.saveSnapshot("名前変更", p.image);
    EntryRename(p.image).rename(listedEntry(*p.image, DiskPath::root(), "HELLO.TXT"), "hi.txt");
    p.undo.saveSnapshot("名前変更", p.image);
    EntryRename(p.image).rename(listedEntry(*p.image, DiskPath::root(), "HI.TXT"), "hello.txt");
    p.undo.performUndo(p.image);
    writeFile(dir / "new.bin", patternBytes(5000, 3));
    writeFile(dir / "hello2.txt", patternBytes(10, 4));
    std::filesystem::create_directories(dir / "o");
    writeFile(dir / "o" / "HI.TXT", patternBytes(3000, 5));
}

// A batch whose save failed reports every file failed, not only some.
void throwIfFailed(const BatchResult& result) {
    if (!result.allSucceeded()) {
        EXPECT_EQ(result.failedNames().size(), result.items.size());
        throw *result.items.front().error;
    }
}

std::vector<Operation> operations() {
    static const DiskPath root = DiskPath::root();
    return {
        {"import",
         [](const Context& c) { FileImport(c.image).importFile(c.dir / "new.bin", root, false); }},
        {"importOverwrite",
         [](const Context& c) {
             FileImport(c.image).importFile(c.dir / "o" / "HI.TXT", root, true);
         }},
        {"importBatch",
         [](const Context& c) {
             throwIfFailed(FileImport(c.image).importFiles(
                 {c.dir / "new.bin", c.dir / "hello2.txt"}, root, false));
         }},
        {"deleteFile",
         [](const Context& c) { EntryDeletion(c.image).deleteEntry(c.entry("HI.TXT"), false); }},
        {"deleteTree",
         [](const Context& c) { EntryDeletion(c.image).deleteEntry(c.entry("TREE"), true); }},
        {"deleteBatch",
         [](const Context& c) {
             throwIfFailed(
                 EntryDeletion(c.image).deleteEntries({c.entry("HI.TXT"), c.entry("TREE")}, true));
         }},
        {"copyBatch",
         [](const Context& c) {
             const FileEntry sub = listedEntry(*c.image, DiskPath::fromString("TREE"), "SUB");
             throwIfFailed(EntryTransfer(c.image).copyEntries({sub, c.entry("HI.TXT")}, root, {}));
         }},
        {"moveBatch",
         [](const Context& c) {
             const DiskPath sub = DiskPath::fromString("TREE/SUB");
             throwIfFailed(EntryTransfer(c.image).moveEntries({c.entry("HI.TXT")}, sub, {}));
         }},
        {"rename",
         [](const Context& c) { EntryRename(c.image).rename(c.entry("HI.TXT"), "o.txt"); }},
        {"createDirectory",
         [](const Context& c) { EntryRename(c.image).createDirectory("newdir", root); }},
        {"undo", [](const Context& c) { c.undo.performUndo(c.image); }},
        {"redo", [](const Context& c) { c.undo.performRedo(c.image); }},
        {"restoreDeleted",
         [](const Context& c) {
             const auto deleted = DeletedFileRecovery::listDeletedEntries(*c.image, root);
             ASSERT_FALSE(deleted.empty());
             DeletedFileRecovery::restore(*c.image, root, deleted.back(), 'G');
         }},
    };
}

struct FaultCase {
    std::size_t step; // index into `steps`
    std::size_t operation;
};

const std::pair<AtomicWriteStep, const char*> steps[] = {
    {AtomicWriteStep::createTemporary, "createTemporary"},
    {AtomicWriteStep::write, "write"},
    {AtomicWriteStep::sync, "sync"},
    {AtomicWriteStep::setMode, "setMode"},
    {AtomicWriteStep::lock, "lock"},
    {AtomicWriteStep::rename, "rename"},
};

class SaveFailureTest : public ::testing::TestWithParam<FaultCase> {
  protected:
    void SetUp() override {
        if (!fatToolsAvailable()) {
            GTEST_SKIP() << "mkfs.fat or mtools missing";
        }
    }
    void TearDown() override { setAtomicWriteFaultHook(nullptr); }
};

TEST_P(SaveFailureTest, FailedSaveLeavesFileAndMemoryAsBefore) {
    TempDir dir;
    Prepared p;
    ASSERT_NO_FATAL_FAILURE(prepare(p, dir));
    const Operation op = operations()[GetParam().operation];
    const Bytes fileBefore = p.volume->fileBytes();
    const Bytes dataBefore = p.image->data().toBytes();
    const FATTable fatBefore = p.image->fatTable();
    const std::size_t undoDepth = p.undo.undoStack().size();
    const std::size_t redoDepth = p.undo.redoStack().size();
    ASSERT_EQ(fileBefore, dataBefore);

    const AtomicWriteStep failing = steps[GetParam().step].first;
    int hits = 0;
    setAtomicWriteFaultHook([failing, &hits](AtomicWriteStep step) {
        if (step != failing) {
            return 0;
        }
        ++hits;
        return failing == AtomicWriteStep::write ? ENOSPC : EIO;
    });
    bool threw = false;
    try {
        op.run({p.undo, p.image, dir});
    } catch (const DiskImageError&) {
        threw = true;
    }
    setAtomicWriteFaultHook(nullptr);

    EXPECT_EQ(hits, 1) << "the operation saved more or less than once";
    EXPECT_TRUE(threw || op.name.find("Batch") != std::string::npos)
        << "failure reported as success";
    EXPECT_EQ(p.volume->fileBytes(), fileBefore) << "the image file changed";
    EXPECT_TRUE(p.image->data() == dataBefore)
        << "the in-memory image kept part of the failed change";
    EXPECT_TRUE(p.image->fatTable() == fatBefore)
        << "the in-memory FAT kept part of the failed change";
    EXPECT_EQ(p.undo.undoStack().size(), undoDepth);
    EXPECT_EQ(p.undo.redoStack().size(), redoDepth);

    // The same operation without the fault then succeeds and leaves a sound volume.
    op.run({p.undo, p.image, dir});
    EXPECT_TRUE(p.image->data() == p.volume->fileBytes());
    EXPECT_TRUE(fsckAccepts(p.volume->path()));
}

std::vector<FaultCase> allFaultCases() {
    std::vector<FaultCase> cases;
    for (std::size_t step = 0; step < std::size(steps); ++step) {
        for (std::size_t i = 0; i < operations().size(); ++i) {
            cases.push_back({step, i});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryStepAndOperation, SaveFailureTest,
                         ::testing::ValuesIn(allFaultCases()), [](const auto& info) {
                             return operations()[info.param.operation].name + "_" +
                                    steps[info.param.step].second;
                         });

// What another program does to the image file while it is open here: an emulator writes in
// place and takes no lock; a user moves the file away; an emulator keeps it open for writing.
enum class OutsideChange { rewrittenInPlace, movedAway, heldOpenForWriting };

struct OutsideCase {
    OutsideChange change;
    std::size_t operation;
};

class OutsideChangeTest : public ::testing::TestWithParam<OutsideCase> {
  protected:
    void SetUp() override {
        if (!fatToolsAvailable()) {
            GTEST_SKIP() << "mkfs.fat or mtools missing";
        }
    }
};

TEST_P(OutsideChangeTest, ChangeIsRefusedAndNeitherTheFileNorMemoryMoves) {
    TempDir dir;
    Prepared p;
    ASSERT_NO_FATAL_FAILURE(prepare(p, dir));
    if (GetParam().change == OutsideChange::heldOpenForWriting && !leasesWorkOn(p.volume->path())) {
        GTEST_SKIP() << "the file system cannot tell about other writers";
    }
    const Operation op = operations()[GetParam().operation];
    const std::filesystem::path image = p.volume->path();
    const std::filesystem::path moved = dir / "moved.img";
    Bytes fileAfterOutsideChange = p.volume->fileBytes();
    const Bytes dataBefore = p.image->data().toBytes();
    const FATTable fatBefore = p.image->fatTable();
    const std::size_t undoDepth = p.undo.undoStack().size();
    const std::size_t redoDepth = p.undo.redoStack().size();

    int writer = -1;
    std::string expected;
    switch (GetParam().change) {
    case OutsideChange::rewrittenInPlace: {
        const Bytes label = bytesOf("OUTSIDE!");
        writeInPlace(image, 3, label);
        std::copy(label.begin(), label.end(), fileAfterOutsideChange.begin() + 3);
        expected = "ディスクイメージが他のプログラムによって変更されました。開き直してください。";
        break;
    }
    case OutsideChange::movedAway:
        std::filesystem::rename(image, moved);
        expected = "ディスクイメージが移動または削除されました。開き直してください。";
        break;
    case OutsideChange::heldOpenForWriting:
        writer = open(image.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(writer, 0);
        expected = "ディスクイメージは他のプログラムが書き込み用に開いています。"
                   "そのプログラムを閉じてから変更してください。";
        break;
    }

    std::string message;
    try {
        op.run({p.undo, p.image, dir});
        ADD_FAILURE() << op.name << " was accepted";
    } catch (const DiskImageError& error) {
        message = error.what();
    }
    if (writer >= 0) {
        close(writer);
    }
    EXPECT_EQ(message, expected);
    EXPECT_TRUE(p.image->data() == dataBefore) << "memory kept part of the refused change";
    EXPECT_TRUE(p.image->fatTable() == fatBefore);
    EXPECT_EQ(p.undo.undoStack().size(), undoDepth);
    EXPECT_EQ(p.undo.redoStack().size(), redoDepth);
    if (GetParam().change == OutsideChange::movedAway) {
        EXPECT_FALSE(std::filesystem::exists(image)) << "the moved image was recreated";
        EXPECT_EQ(readFile(moved), fileAfterOutsideChange);
    } else {
        EXPECT_EQ(p.volume->fileBytes(), fileAfterOutsideChange) << "the outside change was lost";
    }
    // What memory holds is no longer the file: it stays refused until opened again, even
    // once the other program has let go.
    EXPECT_THROW(EntryRename(p.image).createDirectory("later", DiskPath::root()), DiskImageError);
    EXPECT_TRUE(p.image->file().refusal().has_value());
}

std::vector<OutsideCase> outsideCases() {
    // Every operation meets an in-place write; the other two ways take the same path
    // through the file check, so two kinds of change stand for the rest.
    std::vector<OutsideCase> cases;
    for (std::size_t i = 0; i < operations().size(); ++i) {
        cases.push_back({OutsideChange::rewrittenInPlace, i});
        const std::string name = operations()[i].name;
        if (name == "importBatch" || name == "undo") {
            cases.push_back({OutsideChange::movedAway, i});
            cases.push_back({OutsideChange::heldOpenForWriting, i});
        }
    }
    return cases;
}

std::string outsideCaseName(const ::testing::TestParamInfo<OutsideCase>& info) {
    const char* const changes[] = {"rewritten", "moved", "heldForWriting"};
    return std::string(changes[static_cast<int>(info.param.change)]) + "_" +
           operations()[info.param.operation].name;
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, OutsideChangeTest, ::testing::ValuesIn(outsideCases()),
                         outsideCaseName);

class ReadOnlyImageTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ReadOnlyImageTest, EveryChangeIsRefusedAndNothingMoves) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mkfs.fat or mtools missing";
    }
    TempDir dir;
    Prepared p;
    ASSERT_NO_FATAL_FAILURE(prepare(p, dir));
    const Bytes fileBefore = p.volume->fileBytes();
    // The same bytes opened read-only (a shared lock); the snapshots belong to the
    // writable image, so undo and redo have nothing of this image to restore.
    auto readOnly = p.volume->open(true);
    const Operation op = operations()[GetParam()];
    const Bytes dataBefore = readOnly->data().toBytes();
    try {
        op.run({p.undo, readOnly, dir});
        if (op.name != "undo" && op.name != "redo") {
            ADD_FAILURE() << "a read-only image accepted " << op.name;
        }
    } catch (const DiskImageError& error) {
        EXPECT_EQ(error.kind(), DiskImageError::Kind::writeProtected) << error.what();
    }
    EXPECT_TRUE(readOnly->data() == dataBefore);
    EXPECT_EQ(p.volume->fileBytes(), fileBefore);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, ReadOnlyImageTest,
                         ::testing::Range<std::size_t>(0, operations().size()),
                         [](const auto& info) { return operations()[info.param].name; });

TEST(ReadOnlyDirectoryTest, SaveIntoUnwritableDirectoryLeavesFileAndMemory) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mkfs.fat or mtools missing";
    }
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root; the fault hook covers this case";
    }
    TempDir dir;
    Prepared p;
    ASSERT_NO_FATAL_FAILURE(prepare(p, dir));
    const Bytes before = p.volume->fileBytes();
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_THROW(EntryRename(p.image).createDirectory("x", DiskPath::root()), DiskImageError);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(p.volume->fileBytes(), before);
    EXPECT_TRUE(p.image->data() == before);
}

} // namespace
} // namespace tamberlane::test
