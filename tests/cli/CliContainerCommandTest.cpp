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
TEST(NewCommand, RepresentativeImagesReopenEmptyWithTheirFormatAndFileSystem) {
    struct Case {
        std::string file;
        std::string option;
        NewImageFormat format;
        DiskSize size;
        std::string fileSystem;
    };
    const std::vector<Case> cases = {
        {"new.d88", "640k", NewImageFormat::d88, DiskSize::kb640, "FAT12"},
        {"UPPER.FDI", "1.44M", NewImageFormat::fdi, DiskSize::mb1_44, "FAT12"},
        {"new.hdi", "20m", NewImageFormat::hdi, DiskSize::mb20, "FAT16"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string image = (dir / c.file).string();
        EXPECT_EQ(mustRun({"new", image, "--size", c.option}).out, "作成しました: " + image + " (" +
                                                                       rawValue(c.format) + ", " +
                                                                       rawValue(c.size) + ")\n");
        const auto info = nlohmann::json::parse(mustRun({"info", image, "--json"}).out);
        EXPECT_EQ(info["format"], rawValue(c.format)) << c.file;
        EXPECT_EQ(info["fileSystem"], c.fileSystem) << c.file;
        EXPECT_EQ(info["bpb"]["totalSectors16"], sizeSpec(c.size).totalSectors) << c.file;
        EXPECT_EQ(info["freeClusters"], info["dataClusters"]) << c.file;
        EXPECT_EQ(mustRun({"ls", image, "--json"}).out, "[]\n") << c.file;
    }
}

// Catches refusals that write a file anyway or exit with the wrong status.
TEST(NewCommand, SizesNotOfferedAndUnknownContainersWriteNothing) {
    const std::string failed = "ディスクイメージの作成に失敗しました: " + unsupportedText;
    struct Case {
        std::string file;
        std::vector<std::string> size; // the --size arguments
        int status;
        std::string err; // exact, or empty when only the status matters
    };
    const std::vector<Case> cases = {
        {"a.hdi",
         {"--size", "640k"},
         2,
         sizeNotOfferedText(NewImageFormat::hdi, DiskSize::kb640) + "\n"},
        {"a.thd", {"--size", "10m"}, 1, failed + "thd\n"},
        {"noextension", {"--size", "1.44m"}, 1, failed + "\n"},
        {"a.bin", {"--size", "720k"}, 2, ""},
        {"a.bin", {}, 2, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> arguments = {"new", (dir / c.file).string()};
        arguments.insert(arguments.end(), c.size.begin(), c.size.end());
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, c.status) << c.file << " " << run.err;
        EXPECT_FALSE(run.err.empty()) << c.file;
        if (!c.err.empty()) {
            EXPECT_EQ(run.err, c.err) << c.file;
        }
        EXPECT_FALSE(std::filesystem::exists(dir / c.file)) << c.file;
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

// Catches a conversion into a container its geometry cannot live in, or over the open
// source image.
TEST(ConvertCommand, RefusalsLeaveFilesAlone) {
    TempDir dir;
    const auto hdi = dir / "hard.hdi";
    const auto floppy = dir / "floppy.d88";
    mustRun({"new", hdi.string(), "--size", "10m"});
    mustRun({"new", floppy.string(), "--size", "1.44m"});
    const Bytes floppyBefore = readFile(floppy);
    const std::string failed = "変換に失敗しました: ";
    const std::string cannot = failed + unsupportedText + "このディスクイメージは";
    struct Case {
        std::filesystem::path source;
        std::string output;
        std::string err;
    };
    const std::vector<Case> cases = {
        {hdi, "out.d88", cannot + "D88形式に変換できません（変換できる形式: BIN, HDI, NHD）\n"},
        {floppy, "out.hdi",
         cannot + "HDI形式に変換できません（変換できる形式: BIN, D88, FDI, NFD, DIM, DCP）\n"},
        {floppy, "out.thd", failed + unsupportedText + "thd\n"},
        {floppy, "floppy.d88", failed + lockConflictText + "\n"},
    };
    for (const Case& c : cases) {
        const auto output = dir / c.output;
        const bool existed = std::filesystem::exists(output);
        const CliRun run = runCli({"convert", c.source.string(), output.string()});
        EXPECT_EQ(run.status, 1) << c.output;
        EXPECT_EQ(run.err, c.err) << c.output;
        EXPECT_EQ(std::filesystem::exists(output), existed) << c.output;
    }
    EXPECT_TRUE(readFile(floppy) == floppyBefore);
}

// Catches new replacing a file another program is using (convert: see the refusals).
TEST(NewCommand, OverAFileInUseFailsWithTheLockConflict) {
    TempDir dir;
    const auto busy = writeHost(dir, "busy.d88", "somebody else's data");
    const int fd = ::open(busy.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const CliRun created = runCli({"new", busy.string(), "--size", "1.44m"});
    ::close(fd);
    EXPECT_EQ(created.status, 1);
    EXPECT_EQ(created.err, "ディスクイメージの作成に失敗しました: " + lockConflictText + "\n");
    EXPECT_EQ(readFile(busy), bytesOf("somebody else's data"));
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

// Catches the chosen disk being ignored by a command, and a number past the list accepted.
TEST_F(TwoDiskD88, DiskOptionOpensTheChosenDiskForEveryCommand) {
    const std::string path = image.string();
    EXPECT_EQ(mustRun({"ls", path}).out, "ONE.TXT\n");
    EXPECT_EQ(mustRun({"--disk", "1", "ls", path}).out, "ONE.TXT\n");
    EXPECT_EQ(mustRun({"--disk", "2", "ls", path}).out, "TWO.TXT\n");
    EXPECT_EQ(mustRun({"cat", path, "/TWO.TXT", "--disk", "2"}).out, "TWO.TXT");
    const auto info = nlohmann::json::parse(mustRun({"--disk", "2", "info", path, "--json"}).out);
    EXPECT_EQ(info["geometry"]["sectorsPerTrack"], 18);
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
    const auto badType = dir / "badtype.d88";
    Bytes header(688, 0);
    header[0x1B] = 0x30;
    writeFile(badType, header);
    const auto noSize = dir / "nosize.d88";
    writeFile(noSize, Bytes(688, 0));
    const std::string failed = "ヘッダの解析に失敗しました: ";
    struct Case {
        std::filesystem::path file;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {bin, 2, "ディスクの一覧は D88 ファイルだけで表示できます: " + bin.string() + "\n"},
        {badType, 1, failed + "不明なD88ディスクタイプです: 0x30\n"},
        {noSize, 1, "完全なディスクが見つかりません: " + noSize.string() + "\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli({"disks", c.file.string()});
        EXPECT_EQ(run.status, c.status) << c.file;
        EXPECT_EQ(run.err, c.err) << c.file;
        EXPECT_EQ(run.out, "") << c.file;
    }
}

} // namespace
} // namespace tamberlane::test
