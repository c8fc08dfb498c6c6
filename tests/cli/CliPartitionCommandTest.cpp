// The partition list and --partition: the choice a multi-disk D88 file gets, for the
// FAT partitions of a hard-disk image.

#include "tests/cli/CliTestSupport.h"
#include "tests/support/PartitionedDisk.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

class PartitionedImage : public ::testing::Test {
  protected:
    void SetUp() override { writeFile(image, disk.bytes); }
    TempDir dir;
    PartitionedDisk disk = twoPartitionATDisk();
    std::filesystem::path image = dir / "hard.img";
};

TEST_F(PartitionedImage, PartitionsListsEveryFATPartitionInTableOrder) {
    const auto listed =
        nlohmann::json::parse(mustRun({"partitions", image.string(), "--json"}).out);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["type"], "0x01");
    EXPECT_EQ(listed[1]["type"], "0x06");
    EXPECT_EQ(listed[1]["offset"], disk.volumes[1].offset);
    EXPECT_EQ(listed[1]["scheme"], "PC/AT");
    EXPECT_NE(mustRun({"partitions", image.string()}).out.find("PC/AT"), std::string::npos);
}

TEST_F(PartitionedImage, PartitionOptionOpensAndWritesOnlyTheChosenPartition) {
    EXPECT_NE(mustRun({"ls", image.string()}).out.find("TWELVE.TXT"), std::string::npos);
    EXPECT_NE(mustRun({"ls", image.string(), "--partition", "2"}).out.find("SIXTEEN.TXT"),
              std::string::npos);
    const auto host = writeHost(dir, "NEW.TXT", "into the second partition");
    mustRun({"--partition", "2", "put", image.string(), host.string()});
    EXPECT_EQ(mustRun({"cat", image.string(), "/NEW.TXT", "--partition", "2"}).out,
              "into the second partition");
    const Bytes after = readFile(image);
    const auto& volume = disk.volumes[1];
    ASSERT_EQ(after.size(), disk.bytes.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + volume.offset, disk.bytes.begin()));
    EXPECT_TRUE(std::equal(after.begin() + volume.offset + volume.size, after.end(),
                           disk.bytes.begin() + volume.offset + volume.size));
}

TEST_F(PartitionedImage, APartitionNumberPastTheTableIsRefusedUntouched) {
    expectFailsUntouched(image, {"ls", image.string(), "--partition", "3"}, 1,
                         "ヘッダの解析に失敗しました: 指定されたパーティション番号が範囲外です: "
                         "3（パーティション数: 2）\n");
}

TEST(CliPartitions, AnImageWithoutATableHasNoPartitionsToList) {
    TempDir dir;
    writeFile(dir / "floppy.img", VolumeBuilder().build());
    const CliRun run = runCli({"partitions", (dir / "floppy.img").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("FAT パーティションが見つかりません"), std::string::npos);
}

} // namespace
} // namespace tamberlane::test
