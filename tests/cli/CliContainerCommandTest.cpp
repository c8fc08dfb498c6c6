#include "engine/image/NewImage.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

const std::string lockConflictText =
    "ファイルのロック競合が発生しました: "
    "ファイルのロックを取得できませんでした。他のプロセスが使用中です。";
const std::string unsupportedText = "サポートされていないディスクイメージ形式です: ";

// Every format and size is checked by the engine; these catch the command reading the
// extension or --size wrongly (case included) and reporting something other than it made.
TEST(NewCommand, RepresentativeImagesReopenWithTheirFormatAndSize) {
    using Case = std::tuple<std::string, std::string, NewImageFormat, DiskSize>;
    for (const auto& [file, option, format, size] :
         std::vector<Case>{{"new.d88", "640k", NewImageFormat::d88, DiskSize::kb640},
                           {"UPPER.FDI", "1.44M", NewImageFormat::fdi, DiskSize::mb1_44},
                           {"new.hdi", "20m", NewImageFormat::hdi, DiskSize::mb20}}) {
        TempDir dir;
        const std::string image = (dir / file).string();
        EXPECT_EQ(mustRun({"new", image, "--size", option}).out, "作成しました: " + image + " (" +
                                                                     rawValue(format) + ", " +
                                                                     rawValue(size) + ")\n");
        const auto info = nlohmann::json::parse(mustRun({"info", image, "--json"}).out);
        EXPECT_EQ(info["format"], rawValue(format)) << file;
        EXPECT_EQ(info["bpb"]["totalSectors16"], sizeSpec(size).totalSectors) << file;
    }
}

// Every conversion target is checked by the engine; one round trip through the command
// catches it writing to the wrong file or reporting another format.
TEST(ConvertCommand, BinThroughD88BackToBinKeepsEveryByte) {
    TempDir dir;
    const auto original = (dir / "original.bin").string();
    const auto middle = (dir / "middle.d88").string();
    const auto back = (dir / "back.bin").string();
    mustRun({"new", original, "--size", "1.2m"});
    const std::string contents(5000, 'c');
    mustRun({"put", original, writeHost(dir, "DATA.TXT", contents).string()});
    EXPECT_EQ(mustRun({"convert", original, middle}).out, "変換しました: " + middle + " (D88)\n");
    EXPECT_EQ(mustRun({"cat", middle, "/DATA.TXT"}).out, contents);
    mustRun({"convert", middle, back});
    EXPECT_TRUE(readFile(back) == readFile(original));
}

// The engine words these refusals; this catches the commands writing or replacing a file
// anyway, or exiting with the wrong status: sizes not offered, unknown containers, a
// geometry the target cannot hold, a target another program holds, the source itself.
TEST(NewAndConvert, RefusalsLeaveTheTargetAsItWas) {
    TempDir dir;
    const auto at = [&](const std::string& name) { return (dir / name).string(); };
    mustRun({"new", at("hard.hdi"), "--size", "10m"});
    mustRun({"new", at("floppy.d88"), "--size", "1.44m"});
    writeHost(dir, "busy.d88", "somebody else's data");
    const int fd = ::open(at("busy.d88").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const std::string created = "ディスクイメージの作成に失敗しました: ";
    const std::string converted = "変換に失敗しました: ";
    struct Case {
        std::vector<std::string> arguments;
        std::string target;
        int status;
        std::string err; // exact, or empty when only the status matters
    };
    const std::vector<Case> cases = {
        {{"new", at("a.hdi"), "--size", "640k"},
         "a.hdi",
         2,
         sizeNotOfferedText(NewImageFormat::hdi, DiskSize::kb640) + "\n"},
        {{"new", at("a.thd"), "--size", "10m"}, "a.thd", 1, created + unsupportedText + "thd\n"},
        {{"new", at("none"), "--size", "1.44m"}, "none", 1, created + unsupportedText + "\n"},
        {{"new", at("a.bin"), "--size", "720k"}, "a.bin", 2, ""},
        {{"new", at("a.bin")}, "a.bin", 2, ""},
        {{"new", at("busy.d88"), "--size", "1.44m", "--overwrite"},
         "busy.d88",
         1,
         created + lockConflictText + "\n"},
        {{"convert", at("hard.hdi"), at("out.d88")},
         "out.d88",
         1,
         converted + unsupportedText +
             "このディスクイメージはD88形式に変換できません（変換できる形式: BIN, HDI, NHD）\n"},
        {{"convert", at("floppy.d88"), at("out.thd")},
         "out.thd",
         1,
         converted + unsupportedText + "thd\n"},
        {{"convert", at("floppy.d88"), at("floppy.d88"), "--overwrite"},
         "floppy.d88",
         1,
         converted + "I/Oエラーが発生しました: 変換先は変換元と同じファイルです: " +
             at("floppy.d88") + "\n"},
    };
    for (const Case& c : cases) {
        const bool existed = std::filesystem::exists(dir / c.target);
        const Bytes before = existed ? readFile(dir / c.target) : Bytes{};
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments[0] << " " << c.target << " " << run.err;
        EXPECT_FALSE(run.err.empty()) << c.target;
        if (!c.err.empty()) {
            EXPECT_EQ(run.err, c.err) << c.target;
        }
        EXPECT_EQ(std::filesystem::exists(dir / c.target), existed) << c.target;
        if (existed) {
            EXPECT_TRUE(readFile(dir / c.target) == before) << c.target;
        }
    }
    ::close(fd);
}

// Catches `new` and `convert` replacing the user's file without being told to, and
// --overwrite not reaching the write.
TEST(NewAndConvert, AnExistingFileIsReplacedOnlyWithOverwrite) {
    TempDir dir;
    const auto mine = (dir / "mine.bin").string();
    const auto source = (dir / "source.bin").string();
    mustRun({"new", mine, "--size", "1.44m"});
    mustRun({"put", mine, writeHost(dir, "KEEP.TXT", "only copy").string()});
    mustRun({"new", source, "--size", "640k"});
    mustRun({"put", source, writeHost(dir, "NEW.TXT", "converted").string()});
    const std::string exists = "I/Oエラーが発生しました: ファイルが既に存在します: " + mine + "\n";

    expectFailsUntouched(mine, {"new", mine, "--size", "640k"}, 1,
                         "ディスクイメージの作成に失敗しました: " + exists);
    expectFailsUntouched(mine, {"convert", source, mine}, 1, "変換に失敗しました: " + exists);
    EXPECT_EQ(mustRun({"cat", mine, "/KEEP.TXT"}).out, "only copy");

    mustRun({"convert", source, mine, "--overwrite"});
    EXPECT_EQ(mustRun({"cat", mine, "/NEW.TXT"}).out, "converted");
    mustRun({"new", mine, "--size", "640k", "--overwrite"});
    EXPECT_EQ(mustRun({"ls", mine}).out, "");
}

// Two disks with one file each, the second named in half-width katakana and
// write-protected, then a partial third disk that must not be listed.
class TwoDiskD88 : public ::testing::Test {
  protected:
    void SetUp() override {
        Bytes file;
        for (const auto& [size, name] :
             {std::pair{"640k", "ONE.TXT"}, std::pair{"1.44m", "TWO.TXT"}}) {
            const auto disk = (dir / "disk.d88").string();
            std::filesystem::remove(disk);
            mustRun({"new", disk, "--size", size});
            mustRun({"put", disk, writeHost(dir, name, name).string()});
            const Bytes bytes = readFile(disk);
            file.insert(file.end(), bytes.begin(), bytes.end());
        }
        const long second = 676528; // the size of the first disk
        ASSERT_EQ(file.size(), 676528u + 1521328u);
        const std::uint8_t name[] = {0xC3, 0xDE, 0xA8, 0xBD, 0xB8, ' ', 'B'}; // "ﾃﾞｨｽｸ B"
        std::copy(std::begin(name), std::end(name), file.begin() + second);
        file[second + 0x1A] = 0x10;
        const Bytes partial(file.begin() + second, file.begin() + second + 5000);
        file.insert(file.end(), partial.begin(), partial.end());
        writeFile(image, file);
    }

    TempDir dir;
    std::filesystem::path image = dir / "two.d88";
};

TEST_F(TwoDiskD88, DisksListsBothCompleteDisksInTextAndJson) {
    EXPECT_EQ(mustRun({"disks", image.string()}).out,
              "番号  オフセット  種類    サイズ  保護  ディスク名\n"
              "   1           0  2DD     676528  なし  \n"
              "   2      676528  2HD    1521328  あり  ﾃﾞｨｽｸ B\n");
    EXPECT_EQ(nlohmann::json::parse(mustRun({"disks", image.string(), "--json"}).out),
              nlohmann::json::parse(R"([
        {"number": 1, "offset": 0, "name": "", "type": "2DD", "size": 676528,
         "writeProtected": false},
        {"number": 2, "offset": 676528, "name": "ﾃﾞｨｽｸ B", "type": "2HD", "size": 1521328,
         "writeProtected": true}])"));
}

TEST_F(TwoDiskD88, CheckLooksAtEveryCompleteDisk) {
    const CliRun run = runCli({"check", image.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "ディスク 1:\n  問題は見つかりませんでした\n"
                       "ディスク 2:\n  問題は見つかりませんでした\n");
}

// Catches the chosen disk being ignored by a command, and a number past the list accepted.
// Which disk opens without the option is the engine's.
TEST_F(TwoDiskD88, DiskOptionOpensTheChosenDiskForEveryCommand) {
    const std::string path = image.string();
    EXPECT_EQ(mustRun({"--disk", "1", "ls", path}).out, "ONE.TXT\n");
    EXPECT_EQ(mustRun({"--disk", "2", "ls", path}).out, "TWO.TXT\n");
    EXPECT_EQ(mustRun({"cat", path, "/TWO.TXT", "--disk", "2"}).out, "TWO.TXT");
    const auto info = nlohmann::json::parse(mustRun({"--disk", "2", "info", path, "--json"}).out);
    EXPECT_EQ(info["writeProtected"], true);
    const auto out = (dir / "disk2.bin").string();
    mustRun({"--disk", "2", "convert", path, out});
    EXPECT_EQ(mustRun({"ls", out}).out, "TWO.TXT\n");

    const CliRun beyond = runCli({"--disk", "3", "ls", path});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_EQ(
        beyond.err,
        "ヘッダの解析に失敗しました: 指定されたディスク番号が範囲外です: 3（ディスク数: 2）\n");
}

TEST(DisksCommand, NonD88FilesAndBrokenHeadersFailWithTheReason) {
    TempDir dir;
    const auto bin = dir / "floppy.bin";
    mustRun({"new", bin.string(), "--size", "1.44m"});
    const auto noSize = dir / "nosize.d88";
    writeFile(noSize, Bytes(688, 0));
    const auto expectFails = [](const std::filesystem::path& file, int status,
                                const std::string& err) {
        const CliRun run = runCli({"disks", file.string()});
        EXPECT_EQ(run.status, status) << file;
        EXPECT_EQ(run.err, err) << file;
        EXPECT_EQ(run.out, "") << file;
    };
    expectFails(bin, 2, "ディスクの一覧は D88 ファイルだけで表示できます: " + bin.string() + "\n");
    expectFails(noSize, 1, "完全なディスクが見つかりません: " + noSize.string() + "\n");
}

// Catches a change reaching a volume found by searching (it may be an image stored as a
// file on the disk) without --force, and info keeping quiet about why a volume is not
// changed.
TEST(ForceOption, SearchedVolumeChangesOnlyWithForceAndInfoSaysWhereAndWhy) {
    TempDir dir;
    VolumeBuilder inner(VolumeParameters::withClusters(200));
    inner.addFile(inner.root(), name83("HELLO.TXT"), bytesOf("hello"));
    Bytes outer(1474560, 0);
    const Bytes innerBytes = inner.build();
    std::copy(innerBytes.begin(), innerBytes.end(), outer.begin() + 4096);
    const auto image = (dir / "outer.img").string();
    writeFile(image, outer);
    const auto host = writeHost(dir, "NEW.TXT", "new").string();

    expectFailsUntouched(image, {"put", image, host}, 1,
                         "このボリュームは変更できません: ボリュームはブートセクタの検索で"
                         "オフセット 4096 バイトに見つかったものです。変更するには確認が必要です\n"
                         "変更するには --force を指定してください\n");
    const std::string info = mustRun({"info", image}).out;
    EXPECT_NE(info.find("ブートセクタ: 検索で発見 (オフセット 4096)\n"), std::string::npos) << info;
    mustRun({"--force", "put", image, host});
    EXPECT_EQ(mustRun({"cat", image, "/NEW.TXT"}).out, "new");
    EXPECT_EQ(nlohmann::json::parse(mustRun({"info", image, "--json"}).out)["foundBySearchAt"],
              4096);

    // The first FAT copy damaged: reading goes on, changes stop even with --force.
    VolumeBuilder damaged;
    damaged.addFile(damaged.root(), name83("HELLO.TXT"), bytesOf("hello"));
    Bytes damagedBytes = damaged.build();
    damagedBytes[512 + 3] = 0x00;
    const auto fatImage = (dir / "fat.img").string();
    writeFile(fatImage, damagedBytes);
    EXPECT_EQ(mustRun({"ls", fatImage}).out, "HELLO.TXT\n");
    expectFailsUntouched(fatImage, {"--force", "rm", fatImage, "/HELLO.TXT"}, 1,
                         "このボリュームは変更できません: FATのコピーが一致しません\n");
    EXPECT_NE(mustRun({"info", fatImage}).out.find("変更不可: FATのコピーが一致しません\n"),
              std::string::npos);
}

} // namespace
} // namespace tamberlane::test
