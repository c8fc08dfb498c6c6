// check, and check --repair: the fixes of every damaged volume made in one save, the file as it was
// kept beside it (never over an earlier backup), and the exit status telling whether anything is
// left. The fixes themselves are the engine's.

#include "tests/cli/CliTestSupport.h"
#include "tests/support/FatTools.h"
#include "tests/support/PartitionedDisk.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

std::string asString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class DamagedPartition : public ::testing::Test {
  protected:
    void SetUp() override {
        damaged = disk.bytes;
        const std::int64_t volume = disk.volumes[1].offset;
        const auto u16 = [&](std::int64_t at) {
            return damaged[static_cast<std::size_t>(volume + at)] |
                   damaged[static_cast<std::size_t>(volume + at + 1)] << 8;
        };
        // The second FAT copy of the second partition no longer agrees with the first.
        const std::int64_t secondCopy = volume + (u16(14) + u16(22)) * u16(11);
        damaged[static_cast<std::size_t>(secondCopy + 5)] ^= 0x40;
        writeFile(image, damaged);
    }
    std::filesystem::path backup() const { return dir / "hard.img.bak"; }

    TempDir dir;
    PartitionedDisk disk = twoPartitionATDisk();
    Bytes damaged;
    std::filesystem::path image = dir / "hard.img";
};

// Catches a check that stops at the first volume, or names its problem in another
// partition, or writes anything.
TEST_F(DamagedPartition, CheckNamesTheDamagedPartitionAndChangesNothing) {
    const CliRun text = runCli({"check", image.string()});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out.find("パーティション 1:\n  問題は見つかりませんでした\nパーティション 2:\n"
                            "  FATのコピーが一致しません"),
              0u)
        << text.out;
    const auto json = nlohmann::json::parse(runCli({"check", "--json", image.string()}).out);
    ASSERT_EQ(json["volumes"].size(), 2u);
    EXPECT_EQ(json["volumes"][0]["clean"], true);
    EXPECT_EQ(json["volumes"][1]["volume"]["partition"], 2);
    const auto& problem = json["volumes"][1]["problems"][0];
    EXPECT_EQ(problem["kind"], "fatCopiesDiffer");
    EXPECT_EQ(problem["fix"], "writeAgreeingFatCopy");
    EXPECT_EQ(problem["message"].get<std::string>().rfind("FATのコピーが一致しません", 0), 0u);
    EXPECT_EQ(runCli({"check", image.string(), "--partition", "1"}).status, 0);
    EXPECT_TRUE(readFile(image) == damaged);
}

// Catches a repair that touches the sound partition, keeps no backup of the file as it was,
// or reports success with problems left.
TEST_F(DamagedPartition, RepairMendsTheDamagedPartitionAndKeepsTheFileAsItWas) {
    const CliRun run = runCli({"check", "--repair", image.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "パーティション 1:\n  問題は見つかりませんでした\n"
              "パーティション 2:\n  修正しました: コピー1のFATをすべてのコピーに書き込みます\n"
              "  問題は見つかりませんでした\n"
              "元のイメージを " +
                  backup().string() + " に残しました\n");
    EXPECT_TRUE(readFile(image) == disk.bytes);
    EXPECT_TRUE(readFile(backup()) == damaged);
    EXPECT_EQ(runCli({"check", image.string()}).status, 0);
}

// Catches a backup written over the one an earlier run kept: the user's only copy of the
// file as it was. The repair is refused before anything changes.
TEST_F(DamagedPartition, RepairNeverReplacesAnEarlierBackupAndNoBackupKeepsNone) {
    writeFile(backup(), bytesOf("an earlier backup"));
    const CliRun refused = runCli({"check", "--repair", image.string()});
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("hard.img.bak"), std::string::npos) << refused.err;
    EXPECT_TRUE(readFile(image) == damaged);
    EXPECT_EQ(readFile(backup()), bytesOf("an earlier backup"));

    std::filesystem::remove(backup());
    const auto json = nlohmann::json::parse(
        runCli({"check", "--repair", "--no-backup", "--json", image.string()}).out);
    EXPECT_EQ(json["backup"], nullptr);
    EXPECT_EQ(json["volumes"][1]["fixed"][0]["fix"], "writeAgreeingFatCopy");
    EXPECT_EQ(json["volumes"][1]["clean"], true);
    EXPECT_FALSE(std::filesystem::exists(backup()));
    EXPECT_TRUE(readFile(image) == disk.bytes);
    EXPECT_EQ(runCli({"check", "--no-backup", image.string()}).status, 2);
}

// What a repair only reports stays, and the status says so; what it fixes is fixed, with
// the lost chain's bytes in FOUND.000; a volume with nothing to fix keeps no backup.
TEST(CheckRepair, ReportOnlyProblemsRemainAndExitOneWhileTheRestIsFixed) {
    VolumeBuilder v;
    v.addFile(v.root(), name83("KEEP.TXT"), bytesOf("keep"));
    Bytes odd = VolumeBuilder::shortEntry(name83("BADNAME.TXT"), 0x20, 0, 0);
    odd[3] = 0x01;
    v.addSlot(v.root(), odd);
    v.setFAT(300, 0xFFF);
    v.writeCluster(300, bytesOf("lost bytes"));
    TempDir dir;
    const auto image = dir / "disk.img";
    writeFile(image, v.build());

    const CliRun run = runCli({"check", "--repair", image.string()});
    EXPECT_EQ(run.status, 1) << run.out;
    const CliRun after = runCli({"check", "--json", image.string()});
    const auto json = nlohmann::json::parse(after.out);
    ASSERT_EQ(json["volumes"][0]["problems"].size(), 1u) << after.out;
    EXPECT_EQ(json["volumes"][0]["problems"][0]["kind"], "invalidName");
    const std::string found = mustRun({"cat", image.string(), "/FOUND.000/FILE0000.CHK"}).out;
    EXPECT_EQ(found.substr(0, 10), "lost bytes");
    EXPECT_EQ(mustRun({"cat", image.string(), "/KEEP.TXT"}).out, "keep");

    std::filesystem::remove(dir / "disk.img.bak");
    EXPECT_EQ(runCli({"check", "--repair", image.string()}).status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "disk.img.bak"));
}

// The case that asked for a repair: a 2HD system disk of 1024-byte sectors whose second FAT
// copy is blank opens read-only; one repair gives the whole disk back, changeable again.
TEST(CheckRepair, SystemDiskWithABlankSecondFatCopyIsGivenBackWhole) {
    const VolumeParameters parameters = VolumeParameters::floppy2HD();
    VolumeBuilder v(parameters);
    v.addFile(v.root(), name83("HUMAN.SYS"), patternBytes(60000, 3));
    const auto bin = v.addDirectory(v.root(), name83("BIN"));
    v.addFile(bin, name83("FORMAT.X"), patternBytes(9000, 5));
    Bytes volume = v.build();
    const auto copy2 = static_cast<std::size_t>(
        (parameters.reservedSectors + parameters.sectorsPerFAT) * parameters.bytesPerSector);
    std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(copy2),
                std::size_t{parameters.sectorsPerFAT} * parameters.bytesPerSector, 0);
    TempDir dir;
    const auto image = (dir / "system.xdf").string();
    writeFile(image, volume);
    const auto host = writeHost(dir, "NEW.TXT", "after the repair");
    EXPECT_NE(runCli({"put", image, host.string()}).status, 0);

    EXPECT_EQ(runCli({"check", "--repair", "--no-backup", image}).status, 0);
    EXPECT_EQ(mustRun({"cat", image, "/HUMAN.SYS"}).out, asString(patternBytes(60000, 3)));
    EXPECT_EQ(mustRun({"cat", image, "/BIN/FORMAT.X"}).out, asString(patternBytes(9000, 5)));
    mustRun({"put", image, host.string()});
    EXPECT_EQ(mustRun({"cat", image, "/NEW.TXT"}).out, "after the repair");
}

} // namespace
} // namespace tamberlane::test
