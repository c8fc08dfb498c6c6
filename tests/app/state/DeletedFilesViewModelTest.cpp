#include "app/state/DeletedFilesViewModel.h"
#include "tests/app/state/StateTestSupport.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

// A long-named file and 日本.TXT, both deleted, as a volume stated byte by byte.
Bytes volumeWithDeletedNames() {
    VolumeBuilder built;
    const Bytes alias = name83("AVERYL~1.TXT");
    for (Bytes slot : VolumeBuilder::longNameSlots(u"A very long file name.txt", alias)) {
        slot[0] = 0xE5;
        built.addSlot(built.root(), slot);
    }
    for (Bytes entry : {VolumeBuilder::shortEntry(alias, 0x20, 0, 0),
                        VolumeBuilder::shortEntry(name83("日本.TXT"), 0x20, 0, 0)}) {
        entry[0] = 0xE5;
        built.addSlot(built.root(), entry);
    }
    return built.build();
}

class DeletedFilesStateTest : public StateTest,
                              public ::testing::WithParamInterface<LongNamePolicy> {};

// Catches a dialog that asks for the first character a long name told, one that offers
// it where the policy keeps long names out, and a restore that ignores the policy.
TEST_P(DeletedFilesStateTest, TheToldFirstCharacterIsOfferedAndThePolicyFollowed) {
    const LongNamePolicy policy = GetParam();
    const bool longNames = policy != LongNamePolicy::never;
    const auto image = dir / "deleted.img";
    writeFile(image, volumeWithDeletedNames());
    app.image().openDiskImage(image);
    FileBrowserViewModel& browser = app.browser();
    browser.openDeletedFiles();
    DeletedFilesViewModel& deleted = *browser.deletedFilesVM();
    deleted.setLongNamePolicy(policy);
    ASSERT_EQ(deleted.deletedEntries.get().size(), 2u);
    EXPECT_EQ(deleted.deletedEntries.get()[0].displayName, "A very long file name.txt");
    EXPECT_EQ(deleted.deletedEntries.get()[1].displayName, "?本.TXT");

    deleted.requestRestore(deleted.deletedEntries.get()[0]);
    EXPECT_EQ(deleted.restoreFirstChar.get(), longNames ? "A" : "");
    if (!longNames) {
        browser.restoreDeletedEntry();
        EXPECT_EQ(deleted.errorMessage.get(), "先頭文字を入力してください");
        deleted.restoreFirstChar = "A";
    }
    browser.restoreDeletedEntry();
    EXPECT_TRUE(deleted.showSuccess);

    deleted.requestRestore(deleted.deletedEntries.get().at(0));
    deleted.restoreFirstChar = "日";
    browser.restoreDeletedEntry();
    EXPECT_TRUE(deleted.showSuccess);
    EXPECT_EQ(listedNames(),
              (std::vector<std::string>{longNames ? "A very long file name.txt" : "AVERYL~1.TXT",
                                        "日本.TXT"}));
}

INSTANTIATE_TEST_SUITE_P(Policies, DeletedFilesStateTest,
                         ::testing::Values(LongNamePolicy::automatic, LongNamePolicy::never));

} // namespace
} // namespace tamberlane::test
