// Drags out of the file list: copies written in the background into a folder per drag,
// and every such folder gone with the application.
#include "app/state/ApplicationState.h"
#include "app/state/DragOutFolders.h"
#include "engine/fat/NewImageFile.h"
#include "tests/app/state/SteppingExecutor.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <optional>
#include <sys/wait.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

class DragOutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto image = dir / "disk.img";
        writeImageFile(
            image, createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
        app.emplace(executor);
        app->image().openDiskImage(image);
        executor.runHeld();
        ASSERT_TRUE(app->image().isImageOpen);
        writeFile(host / "A.TXT", bytesOf("alpha"));
        writeFile(host / "B.BIN", patternBytes(70'000));
        browser().importFiles({host / "A.TXT", host / "B.BIN"});
        executor.runHeld();
        browser().requestNewDirectory();
        browser().newDirectoryName = "SUB";
        browser().createNewDirectory();
        executor.runHeld();
        ASSERT_EQ(browser().entries.get().size(), 3u);
    }
    FileBrowserViewModel& browser() { return app->browser(); }
    std::vector<FileEntry> everything() { return browser().entries.get(); }

    TempDir dir;
    TempDir host;
    SteppingExecutor executor;
    std::optional<ApplicationState> app;
};

// Catches copies written on the main thread at drag start, a drag that races a change of
// the image, and copies left on the host after the application has gone.
TEST_F(DragOutTest, CopiesAreWrittenInTheBackgroundUnderTheGateAndGoWithTheApplication) {
    const std::shared_ptr<const DragCopies> copies = browser().copyForDrag(everything());
    ASSERT_NE(copies, nullptr);
    // The directory is left out; the folder is there at once, its files not yet.
    EXPECT_EQ(copies->files,
              (std::vector<fs::path>{copies->folder / "A.TXT", copies->folder / "B.BIN"}));
    EXPECT_TRUE(fs::is_directory(copies->folder));
    EXPECT_TRUE(fs::is_empty(copies->folder));
    EXPECT_FALSE(copies->finished);
    EXPECT_TRUE(browser().isOperationInProgress);
    EXPECT_TRUE(app->gate().isBusy.get());
    EXPECT_EQ(browser().copyForDrag(everything()), nullptr);

    executor.runHeld();
    EXPECT_TRUE(copies->finished);
    EXPECT_EQ(copies->written, copies->files);
    EXPECT_EQ(readFile(copies->folder / "A.TXT"), bytesOf("alpha"));
    EXPECT_EQ(readFile(copies->folder / "B.BIN"), patternBytes(70'000));
    EXPECT_FALSE(browser().isOperationInProgress);
    EXPECT_FALSE(app->gate().isBusy.get());

    // Each drag has a folder of its own: a second one never meets the first one's files.
    const std::shared_ptr<const DragCopies> again = browser().copyForDrag(everything());
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->folder, copies->folder);
    executor.runHeld();
    EXPECT_EQ(again->written, again->files);

    // A drag of nothing but a directory carries nothing and makes no folder.
    std::vector<FileEntry> onlyDirectory = everything();
    std::erase_if(onlyDirectory,
                  [](const FileEntry& entry) { return !entry.directoryEntry.isDirectory(); });
    EXPECT_EQ(browser().copyForDrag(onlyDirectory), nullptr);

    app.reset();
    EXPECT_FALSE(fs::exists(copies->folder));
    EXPECT_FALSE(fs::exists(again->folder));
}

// Catches a copy stopped part-way whose missing files are still offered to the drop.
TEST_F(DragOutTest, AStoppedCopyOffersOnlyTheFilesItWrote) {
    const std::shared_ptr<const DragCopies> copies = browser().copyForDrag(everything());
    ASSERT_NE(copies, nullptr);
    browser().cancelOperation();
    executor.runHeld();
    EXPECT_TRUE(copies->finished);
    EXPECT_LT(copies->written.size(), copies->files.size());
    for (const fs::path& file : copies->written) {
        EXPECT_TRUE(fs::exists(file)) << file;
    }
}

pid_t deadProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

// Catches the folders of a process that died piling up, and a sweep that takes a living
// process's folder or anything not made for a drag.
TEST(DragOutFoldersTest, ANewFolderClearsOnlyThoseADeadProcessLeft) {
    TempDir base;
    const std::string prefix = DragOutFolders::namePrefix;
    const fs::path dead = base / (prefix + std::to_string(deadProcess()) + "-abcdef");
    const fs::path living = base / (prefix + std::to_string(::getppid()) + "-abcdef");
    const fs::path unrelated = base / "tamberlane-drag-notes";
    for (const fs::path& folder : {dead, living, unrelated}) {
        fs::create_directory(folder);
        writeFile(folder / "copy.txt", bytesOf("x"));
    }
    fs::path made;
    {
        DragOutFolders folders(base.path());
        const std::optional<fs::path> folder = folders.create();
        ASSERT_TRUE(folder);
        made = *folder;
        EXPECT_EQ(made.parent_path(), base.path());
        EXPECT_FALSE(fs::exists(dead));
        EXPECT_TRUE(fs::exists(living / "copy.txt"));
        EXPECT_TRUE(fs::exists(unrelated / "copy.txt"));
        EXPECT_TRUE(fs::is_directory(made));
    }
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::exists(living));
}

} // namespace
} // namespace tamberlane::test
