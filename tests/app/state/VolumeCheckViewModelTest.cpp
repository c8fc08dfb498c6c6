#include "app/state/VolumeCheckViewModel.h"
#include "engine/base/Translation.h"
#include "tests/app/state/StateTestSupport.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tamberlane::test {
namespace {

constexpr std::int64_t sectorBytes = 512;

// The second FAT copy of a 1.44 MB volume (1 reserved sector, 9-sector FATs) left blank,
// as some systems leave it: the volume opens read-only, refused for its copies.
void blankSecondFat(Bytes& volume) {
    std::fill_n(volume.begin() + (1 + 9) * sectorBytes, 9 * sectorBytes, std::uint8_t{0});
}

// Clusters `first`..`last` linked into a chain no entry names, holding `text`.
void addLostChain(VolumeBuilder& built, std::uint16_t first, std::uint16_t last,
                  const std::string& text) {
    for (std::uint16_t c = first; c < last; ++c) {
        built.setFAT(c, static_cast<std::uint16_t>(c + 1));
    }
    built.setFAT(last, 0xFFF);
    built.writeCluster(first, bytesOf(text));
}

class VolumeCheckStateTest : public StateTest {
  protected:
    void TearDown() override { useLanguage(Language::japanese); }

    VolumeCheckViewModel& check() { return app.volumeCheck(); }
    std::filesystem::path openVolume(const Bytes& volume) {
        const auto path = dir / "damaged.img";
        writeFile(path, volume);
        app.image().openDiskImage(path);
        EXPECT_TRUE(app.image().isImageOpen);
        return path;
    }
    std::vector<ProblemKind> listedKinds() {
        std::vector<ProblemKind> kinds;
        for (const ProblemGroup& group : check().groups.get()) {
            kinds.push_back(group.kind);
        }
        return kinds;
    }
    const ListedProblem& listed(ProblemKind kind) {
        for (const ProblemGroup& group : check().groups.get()) {
            if (group.kind == kind && !group.problems.empty()) {
                return group.problems.front();
            }
        }
        throw std::runtime_error("no problem of that kind listed");
    }
};

// Catches a repair the read-only gate blocks, a refusal that stays after the repair, a
// repair that takes no undo step or more than one, and an undo that leaves the volume
// writable although its copies differ again.
TEST_F(VolumeCheckStateTest, ABlankFatCopyIsRepairedInOneUndoStepThatBringsTheRefusalBack) {
    VolumeBuilder built;
    built.addFile(built.root(), name83("HELLO.TXT"), bytesOf("hello"));
    Bytes volume = built.build();
    blankSecondFat(volume);
    const auto path = openVolume(volume);
    ASSERT_TRUE(app.image().isReadOnly);
    ASSERT_TRUE(app.image().volumeProblem.get().has_value());
    EXPECT_TRUE(app.image().volumeRepairable);

    app.openVolumeCheck();
    EXPECT_TRUE(check().showWindow);
    ASSERT_EQ(listedKinds(), std::vector<ProblemKind>{ProblemKind::fatCopiesDiffer});
    EXPECT_EQ(check().groups.get().front().title, "FATのコピーの不一致");
    EXPECT_TRUE(listed(ProblemKind::fatCopiesDiffer).chosen);
    EXPECT_FALSE(check().notRepairable.get().has_value());
    ASSERT_TRUE(check().canRepair);

    check().repair();
    EXPECT_FALSE(check().showError);
    EXPECT_TRUE(check().isClean());
    EXPECT_FALSE(app.image().isReadOnly);
    EXPECT_FALSE(app.image().volumeProblem.get().has_value());
    EXPECT_FALSE(app.image().volumeRepairable);
    const Bytes saved = readFile(path);
    EXPECT_TRUE(std::equal(saved.begin() + 1 * sectorBytes, saved.begin() + 10 * sectorBytes,
                           saved.begin() + 10 * sectorBytes));
    EXPECT_EQ(app.undoRedo().undoStack().size(), 1u);
    EXPECT_EQ(app.browser().undoStepName(), "ボリュームの修復");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"HELLO.TXT"});

    app.browser().undo();
    EXPECT_TRUE(app.image().isReadOnly);
    EXPECT_TRUE(app.image().volumeProblem.get().has_value());
    EXPECT_TRUE(app.image().volumeRepairable);
    EXPECT_EQ(readFile(path), volume);
    // The window, still up, lists what the volume holds again.
    EXPECT_EQ(listedKinds(), std::vector<ProblemKind>{ProblemKind::fatCopiesDiffer});
}

// Catches lost data left where no file reaches it, a repair that does not name its
// result as DOS does, and a list that keeps the fixed problem.
TEST_F(VolumeCheckStateTest, ALostChainIsListedThenKeptAsFound000File0000Chk) {
    VolumeBuilder built;
    built.addFile(built.root(), name83("KEEP.TXT"), bytesOf("kept"));
    addLostChain(built, 100, 102, "lost data");
    openVolume(built.build());
    ASSERT_FALSE(app.image().isReadOnly);
    EXPECT_FALSE(app.image().volumeRepairable);

    app.openVolumeCheck();
    ASSERT_EQ(listedKinds(), std::vector<ProblemKind>{ProblemKind::lostChain});
    EXPECT_EQ(check().groups.get().front().title, "どのファイルにも属さないチェーン");
    const ListedProblem& lost = listed(ProblemKind::lostChain);
    EXPECT_TRUE(lost.hasFix);
    EXPECT_EQ(lost.fix, "チェーンをFOUND.000にファイルとして保存します");

    check().repair();
    EXPECT_TRUE(check().isClean());
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"FOUND.000", "KEEP.TXT"}));
    enter("FOUND.000");
    EXPECT_EQ(listedNames(), std::vector<std::string>{"FILE0000.CHK"});
    const std::vector<AppError>& toasts = app.errors().toastMessages.get();
    ASSERT_FALSE(toasts.empty());
    EXPECT_EQ(toasts.back().message, "ボリュームを修復しました");
}

// Catches a window that lets the user choose a fix the repair cannot write without the
// FAT-copy fix, or keep other fixes once that one is left out.
TEST_F(VolumeCheckStateTest, TheFatCopyFixGoesWithEveryOtherFix) {
    VolumeBuilder built;
    built.addFile(built.root(), name83("KEEP.TXT"), bytesOf("kept"));
    addLostChain(built, 100, 101, "lost");
    Bytes volume = built.build();
    blankSecondFat(volume);
    openVolume(volume);
    app.openVolumeCheck();
    ASSERT_EQ(listedKinds(),
              (std::vector<ProblemKind>{ProblemKind::fatCopiesDiffer, ProblemKind::lostChain}));
    const std::size_t fatCopy = listed(ProblemKind::fatCopiesDiffer).index;
    const std::size_t lost = listed(ProblemKind::lostChain).index;
    EXPECT_EQ(check().chosenCount(), 2u);

    check().setChosen(fatCopy, false);
    EXPECT_FALSE(listed(ProblemKind::lostChain).chosen);
    EXPECT_EQ(check().chosenCount(), 0u);
    EXPECT_FALSE(check().canRepair);

    check().setChosen(lost, true);
    EXPECT_TRUE(listed(ProblemKind::fatCopiesDiffer).chosen);
    EXPECT_TRUE(check().canRepair);

    // Only the FAT-copy fix: the lost chain stays, the volume becomes writable.
    check().setChosen(lost, false);
    EXPECT_EQ(check().chosenCount(), 1u);
    check().repair();
    EXPECT_EQ(listedKinds(), std::vector<ProblemKind>{ProblemKind::lostChain});
    EXPECT_FALSE(app.image().isReadOnly);
}

// Catches a failed repair reported as done, one that leaves part of its work in the file
// or in the history, and a window that forgets the problems it could not fix.
TEST_F(VolumeCheckStateTest, NoRoomForFound000IsReportedAndChangesNothing) {
    // Every cluster used: a file in the first, a lost chain in the rest.
    VolumeBuilder built(VolumeParameters::withClusters(64));
    built.addFile(built.root(), name83("KEEP.TXT"), bytesOf("kept"));
    addLostChain(built, 3, 65, "lost");
    const Bytes volume = built.build();
    const auto path = openVolume(volume);
    app.openVolumeCheck();
    ASSERT_EQ(listedKinds(), std::vector<ProblemKind>{ProblemKind::lostChain});

    check().repair();
    ASSERT_TRUE(check().showError);
    EXPECT_TRUE(check().errorMessage.get().starts_with("ボリュームの修復に失敗しました: "));
    EXPECT_EQ(readFile(path), volume);
    EXPECT_FALSE(app.browser().canUndo());
    EXPECT_EQ(listedKinds(), std::vector<ProblemKind>{ProblemKind::lostChain});
    EXPECT_FALSE(app.gate().isBusy);
}

// Catches headings and failures left in Japanese in the English interface.
TEST_F(VolumeCheckStateTest, HeadingsAndTheUndoStepReadInEnglish) {
    useLanguage(Language::english);
    VolumeBuilder built;
    addLostChain(built, 100, 100, "lost");
    openVolume(built.build());
    app.openVolumeCheck();
    ASSERT_EQ(check().groups.get().size(), 1u);
    EXPECT_EQ(check().groups.get().front().title, "Lost chains");
    check().repair();
    EXPECT_EQ(app.browser().undoStepName(), "Repair Volume");
    EXPECT_EQ(app.errors().toastMessages.get().back().message, "The volume was repaired");
}

} // namespace
} // namespace tamberlane::test
