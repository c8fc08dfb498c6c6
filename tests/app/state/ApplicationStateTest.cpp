#include "tests/app/state/StateTestSupport.h"

#include "app/state/StateTexts.h"
#include "tests/support/PartitionedDisk.h"
#include "tests/support/VolumeBuilder.h"

#include <sys/file.h>

#include <mutex>
#include <thread>

namespace tamberlane::test {
namespace {

using ApplicationStateTest = StateTest;

TEST_F(ApplicationStateTest, AFailedOpenKeepsTheBrowserItsClipboardAndTheUndoHistory) {
    app.image().openDiskImage(newImage("a.img"));
    makeDirectory("KEEP");
    select({"KEEP"});
    app.browser().cutSelectedEntries();
    ASSERT_TRUE(app.browser().canUndo());

    writeFile(dir / "broken.img", Bytes(1000, 0));
    app.image().openDiskImage(dir / "broken.img");

    EXPECT_TRUE(app.image().showSpecialFormatAlert);
    EXPECT_EQ(app.image().errorMessage.get(),
              std::string(texts::specialFormat) +
                  "\n\nbroken.img: ファイルサイズが不正です。期待値: 1261568, 1474560, 655360, "
                  "5326848, 10653696, 21307392 バイト、実際: 1000 バイト");
    EXPECT_EQ(app.image().windowTitle.get(), "a.img");
    EXPECT_EQ(app.browser().clipboard.get().size(), 1u);
    EXPECT_TRUE(app.browser().canUndo());
    EXPECT_EQ(listedNames(), std::vector<std::string>{"KEEP"});
}

// Catches the question about an unreadable file that named neither the file nor what
// the engine found wrong with it.
struct UnreadableFile {
    const char* name;
    Bytes bytes;
};

class UnreadableFileTest : public StateTest,
                           public ::testing::WithParamInterface<UnreadableFile> {};

TEST_P(UnreadableFileTest, TheManualOpenQuestionNamesTheFileAndTheReasonBelowIt) {
    writeFile(dir / GetParam().name, GetParam().bytes);
    app.image().openDiskImage(dir / GetParam().name);
    ASSERT_TRUE(app.image().showSpecialFormatAlert) << app.image().errorMessage.get();
    const std::string& message = app.image().errorMessage.get();
    const std::string head = texts::specialFormat.str() + "\n\n" + GetParam().name + ": ";
    EXPECT_TRUE(message.starts_with(head)) << message;
    EXPECT_GT(message.size(), head.size()) << "the reason is missing";
}

INSTANTIATE_TEST_SUITE_P(EmptyTruncatedRandom, UnreadableFileTest,
                         ::testing::Values(UnreadableFile{"empty.img", {}},
                                           UnreadableFile{"truncated.d88", Bytes(100, 0)},
                                           UnreadableFile{"random.img", [] {
                                                              Bytes bytes(1'474'560);
                                                              std::uint32_t x = 12345;
                                                              for (auto& b : bytes) {
                                                                  x = x * 1103515245u + 12345u;
                                                                  b = static_cast<std::uint8_t>(x >>
                                                                                                24);
                                                              }
                                                              return bytes;
                                                          }()}));

TEST_F(ApplicationStateTest, AnotherImageEmptiesClipboardAndUndoSoNothingOfAReachesB) {
    const auto a = newImage("a.img");
    const auto b = newImage("b.img");
    app.image().openDiskImage(a);
    app.browser().importFiles({hostFile("DATA.TXT", "from image a")});
    select({"DATA.TXT"});
    app.browser().cutSelectedEntries();
    const Bytes bBefore = readFile(b);

    app.image().openDiskImage(b);
    EXPECT_TRUE(app.browser().clipboard.get().empty());
    EXPECT_FALSE(app.browser().canUndo());
    EXPECT_TRUE(app.undoRedo().undoStack().empty());
    app.browser().pasteEntries();
    app.browser().undo();
    EXPECT_EQ(readFile(b), bBefore);

    // And closing ends the history too.
    app.browser().importFiles({hostFile("NEW.TXT", "x")});
    app.image().closeImage();
    EXPECT_TRUE(app.undoRedo().undoStack().empty());
    EXPECT_FALSE(app.browser().isBound());
    EXPECT_EQ(app.image().windowTitle.get(), "Tamberlane");
}

TEST_F(ApplicationStateTest, AFileHeldElsewhereOpensOnlyForReading) {
    const auto path = newImage("locked.img");
    OtherProcessLock other(path, LOCK_EX);
    ASSERT_TRUE(other.acquired());
    app.image().openDiskImage(path);
    EXPECT_TRUE(app.image().showErrorAlert);
    const std::string& message = app.image().errorMessage.get();
    EXPECT_TRUE(message.ends_with("\n読み取り専用モードで開くことができます。")) << message;
    EXPECT_FALSE(app.image().isImageOpen);
    ASSERT_TRUE(app.image().canOpenReadOnly);

    // Taken at its word: the file opens, can be read, and nothing offers to write it.
    const Bytes before = readFile(path);
    app.image().openReadOnly();
    ASSERT_TRUE(app.image().isImageOpen) << app.image().errorMessage.get();
    EXPECT_TRUE(app.image().isReadOnly);
    EXPECT_FALSE(app.enablement().isEnabled(Action::importFiles));
    app.browser().importFiles({hostFile("X.TXT", "x")});
    app.openSectorEditor();
    app.sectorEditorVM.get()->saveSector();
    EXPECT_EQ(app.sectorEditorVM.get()->errorMessage.get(), "ディスクイメージは読み取り専用です");
    EXPECT_EQ(readFile(path), before);
}

// An emulator that writes the image in place while it is open here: the window's next
// change would have written memory's older bytes over it.
TEST_F(ApplicationStateTest, AnOutsideWriteTurnsTheImageReadOnlyWithTheReasonUntilReopened) {
    const auto path = newImage("shared.img");
    app.image().openDiskImage(path);
    ASSERT_TRUE(app.image().isImageOpen);
    const Bytes label = bytesOf("EMULATOR");
    writeInPlace(path, 3, label);
    const Bytes outside = readFile(path);

    // The change is refused, the user is told why, and the window says so from then on.
    makeDirectory("LOST");
    const std::string changed =
        "ディスクイメージが他のプログラムによって変更されました。開き直してください。";
    EXPECT_NE(app.browser().errorMessage.get().find(changed), std::string::npos)
        << app.browser().errorMessage.get();
    EXPECT_EQ(readFile(path), outside);
    EXPECT_EQ(app.image().fileProblem.get(), std::optional<std::string>(changed));
    EXPECT_TRUE(app.image().isReadOnly);
    EXPECT_FALSE(app.enablement().isEnabled(Action::importFiles));
    EXPECT_TRUE(app.image().fileNeedsReopen());

    // Opened again, it shows the other program's bytes and takes changes on top of them.
    ASSERT_TRUE(app.image().reopenCurrentImage());
    EXPECT_FALSE(app.image().fileProblem.get().has_value());
    EXPECT_FALSE(app.image().isReadOnly);
    makeDirectory("KEPT");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"KEPT"});
    const Bytes after = readFile(path);
    EXPECT_TRUE(std::equal(label.begin(), label.end(), after.begin() + 3));
}

TEST_F(ApplicationStateTest, TheWindowsLookAtTheFileFindsItMovedAway) {
    const auto path = newImage("moving.img");
    app.image().openDiskImage(path);
    std::filesystem::rename(path, dir / "kept.img");
    EXPECT_FALSE(app.image().fileProblem.get().has_value());
    app.image().checkImageFile();
    EXPECT_EQ(app.image().fileProblem.get(),
              std::optional<std::string>(
                  "ディスクイメージが移動または削除されました。開き直してください。"));
    EXPECT_TRUE(app.image().isReadOnly);
    makeDirectory("NEW");
    EXPECT_FALSE(std::filesystem::exists(path)) << "the moved image was recreated";
}

// Catches a change reaching a volume found by searching (perhaps an image stored as a file
// on the disk) before the user allowed it, and the information view keeping quiet about it.
TEST_F(ApplicationStateTest, ASearchedVolumeIsChangedOnlyAfterTheUserAllowedIt) {
    Bytes outer(1474560, 0);
    const Bytes inner = VolumeBuilder(VolumeParameters::withClusters(200)).build();
    std::copy(inner.begin(), inner.end(), outer.begin() + 1024);
    const auto path = dir / "outer.img";
    writeFile(path, outer);

    app.image().openDiskImage(path);
    ASSERT_TRUE(app.image().isImageOpen);
    ASSERT_TRUE(app.image().showSearchedVolumeQuestion);
    EXPECT_NE(app.image().searchedVolumeQuestion.find("オフセット 1024 バイト"), std::string::npos);
    EXPECT_EQ(app.image().imageSummary()->searchedBootOffset, 1024);
    app.image().answerSearchedVolumeQuestion(false);
    EXPECT_TRUE(app.image().isReadOnly);
    app.browser().importFiles({hostFile("X.TXT", "x")});
    EXPECT_TRUE(app.browser().showError);
    EXPECT_EQ(readFile(path), outer);

    app.image().openDiskImage(path);
    app.image().answerSearchedVolumeQuestion(true);
    EXPECT_FALSE(app.image().isReadOnly);
    app.browser().importFiles({hostFile("X.TXT", "x")});
    EXPECT_EQ(listedNames(), std::vector<std::string>{"X.TXT"});
}

// Catches the state layer replacing a file the save panel did not ask about (one that
// appeared after it closed), and not replacing one the user agreed to replace.
TEST_F(ApplicationStateTest, NewAndConvertReplaceAFileOnlyWhenTheUserAllowedIt) {
    const auto target = dir / "target.img";
    writeFile(target, bytesOf("my only copy"));
    const std::string exists =
        "I/Oエラーが発生しました: ファイルが既に存在します: " + target.string();
    const NewImageParameters floppy{NewImageFormat::bin, DiskSize::kb640, {}};

    app.image().createNewImage(floppy, target, ExistingTarget::keep);
    EXPECT_EQ(app.image().errorMessage.get(), "ディスクイメージの作成に失敗しました: " + exists);
    EXPECT_FALSE(app.image().isImageOpen);

    const auto source = newImage("source.img");
    app.image().openDiskImage(source);
    app.image().showConvertDialog = true;
    app.image().convertImage(ConvertFormat::bin, target, ExistingTarget::keep);
    EXPECT_EQ(app.image().conversionError.get(), "変換に失敗しました: " + exists);
    EXPECT_EQ(readFile(target), bytesOf("my only copy"));

    app.image().convertImage(ConvertFormat::bin, target, ExistingTarget::replace);
    EXPECT_EQ(app.image().conversionError.get(), std::nullopt);
    EXPECT_TRUE(readFile(target) == readFile(source));

    writeFile(target, bytesOf("my only copy"));
    app.image().createNewImage(floppy, target, ExistingTarget::replace);
    EXPECT_TRUE(app.image().isImageOpen);
    EXPECT_EQ(readFile(target).size(), 655360u);

    // Aimed at the image open here, even with the user's leave to replace it: refused, and
    // said so, rather than blamed on another program.
    const Bytes open = readFile(target);
    app.image().createNewImage(floppy, target, ExistingTarget::replace);
    EXPECT_EQ(app.image().errorMessage.get(),
              "ディスクイメージの作成に失敗しました: "
              "このディスクイメージはこのウィンドウで開いています: target.img");
    EXPECT_EQ(readFile(target), open);
}

TEST_F(ApplicationStateTest, CapacityFollowsEveryChange) {
    app.image().openDiskImage(newImage("a.img"));
    const std::int64_t freeBefore = app.image().freeSpace;
    EXPECT_EQ(app.image().totalSpace, freeBefore);
    app.browser().importFiles({hostFile("ONE.BIN", std::string(1500, 'x'))});
    EXPECT_EQ(app.image().freeSpace, freeBefore - 1536);
    app.browser().undo();
    EXPECT_EQ(app.image().freeSpace, freeBefore);
    app.browser().redo();
    EXPECT_EQ(app.image().usedSpace, 1536);
}

TEST(ActionEnablementTest, EachStateOffersOnlyWhatIsSafe) {
    using A = Action;
    const auto enabled = [](const ActionContext& c, std::initializer_list<Action> actions) {
        const ActionEnablement e = computeActionEnablement(c);
        std::string wrong;
        for (std::size_t i = 0; i < actionCount; ++i) {
            const auto action = static_cast<Action>(i);
            const bool expected =
                std::find(actions.begin(), actions.end(), action) != actions.end();
            if (e.isEnabled(action) != expected) {
                wrong += std::to_string(i) + (expected ? "+ " : "- ");
            }
        }
        return wrong;
    };
    ActionContext none;
    EXPECT_EQ(enabled(none, {A::open, A::newImage}), "");

    ActionContext open{.isImageOpen = true,
                       .selectionCount = 1,
                       .entryCount = 3,
                       .clipboardHasEntries = true,
                       .isAtRoot = false,
                       .canUndo = true};
    EXPECT_EQ(enabled(open, {A::open,       A::newImage,     A::close,         A::convert,
                             A::imageInfo,  A::sectorEditor, A::reload,        A::navigate,
                             A::navigateUp, A::selectAll,    A::exportFiles,   A::copy,
                             A::textEditor, A::hexViewer,    A::importFiles,   A::newDirectory,
                             A::restore,    A::restoreEntry, A::deleteEntries, A::cut,
                             A::rename,     A::paste,        A::undo,          A::checkVolume}),
              "");

    // Write-protected and read-only images can be looked at and copied from, never changed.
    ActionContext writeProtected = open;
    writeProtected.isWriteProtected = true;
    ActionContext readOnly = open;
    readOnly.isReadOnly = true;
    for (const ActionContext& c : {writeProtected, readOnly}) {
        EXPECT_EQ(
            enabled(c, {A::open, A::newImage, A::close, A::convert, A::imageInfo, A::sectorEditor,
                        A::reload, A::navigate, A::navigateUp, A::selectAll, A::exportFiles,
                        A::copy, A::textEditor, A::hexViewer, A::restore, A::checkVolume}),
            "");
    }

    // While anything runs, nothing touches the image: not even open, close or undo.
    ActionContext busy = open;
    busy.isBusy = true;
    EXPECT_EQ(enabled(busy, {}), "");

    // Selections: a directory opens in no viewer; two entries cannot be renamed.
    ActionContext directory = open;
    directory.selectionHasDirectory = true;
    EXPECT_FALSE(computeActionEnablement(directory).isEnabled(A::textEditor));
    EXPECT_TRUE(computeActionEnablement(directory).isEnabled(A::rename));
    ActionContext two = open;
    two.selectionCount = 2;
    EXPECT_FALSE(computeActionEnablement(two).isEnabled(A::rename));
    EXPECT_FALSE(computeActionEnablement(two).isEnabled(A::hexViewer));
    ActionContext nothingSelected = open;
    nothingSelected.selectionCount = 0;
    nothingSelected.clipboardHasEntries = false;
    for (Action a : {A::exportFiles, A::copy, A::cut, A::deleteEntries, A::rename, A::paste}) {
        EXPECT_FALSE(computeActionEnablement(nothingSelected).isEnabled(a));
    }
}

TEST_F(ApplicationStateTest, TheWindowsAreToldWhenEnablementMayHaveChanged) {
    int told = 0;
    const Subscription s = app.enablementChanged().subscribe([&told] { ++told; });
    app.image().openDiskImage(newImage("a.img"));
    EXPECT_GT(told, 0);
    EXPECT_TRUE(app.enablement().isEnabled(Action::importFiles));
    EXPECT_FALSE(app.enablement().isEnabled(Action::paste));
    app.browser().importFiles({hostFile("A.TXT", "a")});
    select({"A.TXT"});
    app.browser().copySelectedEntries();
    EXPECT_TRUE(app.enablement().isEnabled(Action::paste));
    EXPECT_TRUE(app.enablement().isEnabled(Action::undo));
}

// The main thread's queue, drained by the test: the open's background half has run, its
// result waits to be applied.
class QueuedMain {
  public:
    ThreadedExecutor::MainPoster poster() {
        return [this](std::function<void()> task) {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        };
    }
    void drainAfter(const std::function<bool()>& ready) {
        for (int i = 0; i < 500 && !ready(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::vector<std::function<void()>> now;
        {
            std::lock_guard lock(mutex_);
            now.swap(tasks_);
        }
        for (auto& task : now) {
            task();
        }
    }
    bool hasTasks() {
        std::lock_guard lock(mutex_);
        return !tasks_.empty();
    }

  private:
    std::mutex mutex_;
    std::vector<std::function<void()>> tasks_;
};

TEST_F(ApplicationStateTest, AnOpenRunsInTheBackgroundAndAStoppedOneLeavesNothingLocked) {
    const auto a = newImage("a.img");
    QueuedMain main;
    ThreadedExecutor threaded(main.poster());
    ApplicationState background(threaded);

    background.image().openDiskImage(a);
    EXPECT_TRUE(background.image().isOpening);
    EXPECT_TRUE(background.gate().isBusy);
    EXPECT_FALSE(background.enablement().isEnabled(Action::open));
    background.image().cancelOpen();
    main.drainAfter([&] { return main.hasTasks(); });
    EXPECT_FALSE(background.image().isOpening);
    EXPECT_FALSE(background.image().isImageOpen);
    EXPECT_FALSE(isLocked(a));

    background.image().openDiskImage(a);
    main.drainAfter([&] { return main.hasTasks(); });
    EXPECT_TRUE(background.image().isImageOpen);
    EXPECT_TRUE(background.browser().isBound());
    EXPECT_TRUE(isLocked(a));
}

TEST_F(ApplicationStateTest, ADiskWithTwoFATPartitionsAsksWhichAndOpensTheChosenOne) {
    const auto path = dir / "hard.img";
    writeFile(path, twoPartitionATDisk().bytes);
    app.image().openDiskImage(path);
    EXPECT_FALSE(app.image().isImageOpen);
    ASSERT_TRUE(app.image().showPartitionSelectionDialog);
    ASSERT_EQ(app.image().partitions.get().size(), 2u);
    EXPECT_FALSE(isLocked(path));

    app.image().openPartition(path, 1);
    ASSERT_TRUE(app.image().isImageOpen) << app.image().errorMessage.get();
    const std::optional<ImageSummary> summary = app.image().imageSummary();
    ASSERT_TRUE(summary && summary->partition);
    EXPECT_EQ(summary->partition->number, 2);
    EXPECT_EQ(summary->fileSystem, FATType::fat16);
    // The sector editor counts the partition's volume, not the disk.
    app.openSectorEditor();
    EXPECT_EQ(app.sectorEditorVM.get()->totalSectors.get(), summary->volumeSectors);
}

// Catches a state message that keeps a Japanese piece, or joins its values in the Japanese
// order, once the interface is English: the engine's reason inside the state's sentence.
class EnglishStateTest : public StateTest {
  protected:
    void TearDown() override { useLanguage(Language::japanese); }
};

TEST_F(EnglishStateTest, QuestionsFailuresAndLabelsReadWhollyInEnglish) {
    useLanguage(Language::english);
    writeFile(dir / "broken.img", Bytes(1000, 0));
    app.image().openDiskImage(dir / "broken.img");
    EXPECT_EQ(app.image().errorMessage.get(),
              "No FAT file system was recognised.\nThe disk image may use its own format or a "
              "special layout.\n\nOpen it with manual parameters?\n\nbroken.img: Unexpected "
              "file size: expected 1261568, 1474560, 655360, 5326848, 10653696, 21307392 bytes, "
              "found 1000 bytes");

    app.image().openDiskImage(newImage("a.img"));
    makeDirectory("KEEP");
    makeDirectory("KEEP");
    EXPECT_EQ(app.browser().errorMessage.get(),
              "Cannot create the folder: Character encoding error: A directory with this name "
              "already exists: KEEP");

    app.openSectorEditor();
    SectorEditorViewModel& sectors = *app.sectorEditorVM.get();
    EXPECT_EQ(sectors.bpbFields.get().at(6).label, "Media descriptor");
    EXPECT_FALSE(sectors.validateLBA("2880"));
    EXPECT_EQ(sectors.errorMessage.get(), "LBA out of range (valid: 0 to 2879)");
}

} // namespace
} // namespace tamberlane::test
