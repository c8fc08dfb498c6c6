#include "cli/CliSupport.h"
#include "engine/image/DiskImageError.h"
#include "engine/image/DiskImageService.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tamberlane::test {
namespace {

std::filesystem::path save(const VolumeBuilder& volume, const TempDir& dir,
                           const std::string& name = "raw.img") {
    writeFile(dir / name, volume.build());
    return dir / name;
}

std::string engineMessage(const std::filesystem::path& image) {
    try {
        DiskImageService().open(image);
    } catch (const DiskImageError& e) {
        return e.errorDescription() + "\n";
    }
    return "(opened)";
}

// Catches usage mistakes reported as image failures (or the reverse) and engine words
// reworded on their way to stderr.
TEST(ExitStatus, UsageMistakesExitTwoAndEngineFailuresExitOneWithTheEngineWords) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("HELLO.TXT"), bytesOf("hello"));
    const std::string image = save(volume, dir).string();
    const auto zeros = dir / "zeros.img";
    writeFile(zeros, Bytes(1474560, 0));
    const auto unknown = dir / "disk.xyz";
    writeFile(unknown, Bytes(1474560, 0));
    ASSERT_NE(engineMessage(zeros), "(opened)");
    const std::string manual = "--manual の指定が正しくありません: ";
    const std::string notFound = "ヘッダの解析に失敗しました: ディレクトリが見つかりません: NOPE\n";

    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string err; // exact, or empty when only the status matters
    };
    const std::vector<Case> cases = {
        {{}, 2, ""},
        {{"frobnicate", image}, 2, ""},
        {{"info"}, 2, ""},
        {{"cat", image}, 2, ""},
        {{"sector", image, "-1"}, 2, ""},
        {{"--disk", "0", "info", image}, 2, ""},
        {{"--manual", "fat=32", "info", image},
         2,
         manual + "fat: 12 または 16 を指定してください\n"},
        {{"--manual", "heads=257", "info", image},
         2,
         manual + "heads: 1〜256の範囲で入力してください\n"},
        {{"--manual", "offset= 512", "info", image},
         2,
         manual + "offset: 整数を入力してください\n"},
        {{"--manual", "colour=1", "info", image}, 2, manual + "不明なキーです: colour\n"},
        {{"info", (dir / "missing.img").string()},
         1,
         "I/Oエラーが発生しました: No such file or directory\n"},
        {{"info", zeros.string()}, 1, engineMessage(zeros)},
        {{"ls", unknown.string()}, 1, engineMessage(unknown)},
        {{"ls", image, "/NOPE"}, 1, notFound},
        {{"ls", image, "/NOPE/DEEPER"}, 1, notFound},
        {{"cat", image, "/nope.txt"}, 1, "ファイルが見つかりません: /nope.txt\n"},
        {{"cat", image, "/"}, 1, "ディレクトリは出力できません: /\n"},
        {{"--manual", "offset=2000000", "info", image},
         1,
         "ヘッダの解析に失敗しました: 指定されたデータオフセットでブートセクタを読み取れません\n"},
        {{"info", image}, 0, ""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.arguments) {
            line += a + " ";
        }
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.status, c.status) << line << "\n" << run.err;
        EXPECT_EQ(run.err.empty(), c.status == 0) << line;
        if (!c.err.empty()) {
            EXPECT_EQ(run.err, c.err) << line;
        }
    }
}

TEST(Help, ListsEveryCommandWithItsArguments) {
    const CliRun run = mustRun({"--help"});
    for (const char* usage :
         {"info IMAGE [--json]", "ls IMAGE [PATH] [-l] [-R] [--json]", "cat IMAGE PATH",
          "get IMAGE PATH... [-o DIR]", "sector IMAGE LBA [COUNT]", "disks IMAGE [--json]",
          "new IMAGE --size SIZE", "convert IMAGE OUTPUT",
          "put IMAGE HOSTFILE... [--to PATH] [--overwrite]", "rm IMAGE PATH... [-r]",
          "mkdir IMAGE PATH", "rename IMAGE PATH NEWNAME", "deleted IMAGE [PATH] [--json]",
          "undelete IMAGE INDEX FIRSTCHAR [--in PATH]", "--manual", "--disk"}) {
        EXPECT_NE(run.out.find(usage), std::string::npos) << usage;
        const std::string command = std::string(usage).substr(0, std::string(usage).find(' '));
        if (command.rfind("--", 0) != 0) {
            EXPECT_EQ(runCli({command, "--help"}).status, 0) << command;
        }
    }
}

TEST(ManualParameters, EveryKeyIsReadAndMalformedValuesAreUsageErrors) {
    const ManualParameters all =
        cli::parseManualParameters("fat=16,bps=1024,spc=4,offset=+4096,heads=8,cylinders=77,spt=8");
    EXPECT_EQ(all.fatType, FATType::fat16);
    EXPECT_EQ(all.bytesPerSector, 1024);
    EXPECT_EQ(all.sectorsPerCluster, 4);
    EXPECT_EQ(all.dataOffset, 4096);
    EXPECT_EQ(all.heads, 8);
    EXPECT_EQ(all.cylinders, 77);
    EXPECT_EQ(all.sectorsPerTrack, 8);
    EXPECT_EQ(cli::parseManualParameters("offset=0"), ManualParameters{});
    for (const char* bad : {"", "fat", "fat=", "bps=500", "spc=3", "offset=-1", "depth=1",
                            "fat=12,", "fat=99999999999999999999"}) {
        EXPECT_THROW(cli::parseManualParameters(bad), cli::UsageError) << bad;
    }
}

TEST(ListCommand, LongRecursiveAndJsonFormats) {
    EXPECT_EQ(cli::formatGroupedNumber(999), "999");
    EXPECT_EQ(cli::formatGroupedNumber(4294967295), "4,294,967,295");
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("HELLO.TXT"), bytesOf("hello"), u"Hello World.txt");
    volume.addSlot(volume.root(), VolumeBuilder::shortEntry(name83("BIG.DAT"), 0x21, 0, 1200000));
    const auto sub = volume.addDirectory(volume.root(), name83("SUB"));
    volume.addFile(sub, name83("INNER.TXT"), bytesOf("inner"));
    const auto image = save(volume, dir).string();

    EXPECT_EQ(mustRun({"ls", "-l", image}).out,
              "            5  2025/01/01 12:00  A        Hello World.txt\n"
              "    1,200,000  2025/01/01 12:00  R A      BIG.DAT\n"
              "        <DIR>  2025/01/01 12:00           SUB\n");
    EXPECT_EQ(mustRun({"ls", "-R", image}).out,
              "/:\nHello World.txt\nBIG.DAT\nSUB\n\n/SUB:\nINNER.TXT\n");
    // A path names the directory whatever the case; a file path lists the file alone.
    EXPECT_EQ(mustRun({"ls", image, "/sub"}).out, "INNER.TXT\n");
    EXPECT_EQ(mustRun({"ls", image, "hello world.TXT"}).out, "Hello World.txt\n");

    const auto listing = nlohmann::json::parse(mustRun({"ls", "--json", "-R", image}).out);
    ASSERT_EQ(listing.size(), 4u);
    EXPECT_EQ(listing[0], nlohmann::json::parse(R"({"path": "/Hello World.txt",
        "name": "Hello World.txt", "shortName": "HELLO.TXT", "longName": "Hello World.txt",
        "size": 5, "modified": "2025-01-01T12:00:00+09:00", "attributes": 32,
        "directory": false, "startCluster": 2})"));
    EXPECT_TRUE(listing[1]["longName"].is_null());
    EXPECT_EQ(listing[1]["attributes"], 0x21);
    EXPECT_TRUE(listing[2]["directory"].get<bool>());
    EXPECT_EQ(listing[3]["path"], "/SUB/INNER.TXT");
}

// Catches -R and get walking a directory that contains itself until memory runs out.
TEST(Recursion, DirectoryLoopEndsWithTheCircularReferenceError) {
    TempDir dir;
    VolumeBuilder volume;
    const auto loop = volume.addDirectory(volume.root(), name83("LOOP"));
    const std::uint16_t cluster = volume.firstCluster(loop);
    volume.addSlot(loop, VolumeBuilder::shortEntry(name83("AGAIN"), 0x10, cluster, 0));
    const auto image = save(volume, dir).string();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"ls", "-R", image},
          {"ls", "-R", "--json", image},
          {"get", image, "/", "-o", (dir / "out").string()}}) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_EQ(run.err, "クラスタチェーンに循環参照があります（クラスタ: " +
                               std::to_string(cluster) + "）\n")
            << arguments[0];
    }
}

// Directories nested `levels` deep under the root, with a file at the bottom.
std::filesystem::path nestedVolume(const TempDir& dir, int levels) {
    VolumeBuilder volume;
    auto parent = volume.root();
    for (int i = 0; i < levels; ++i) {
        parent = volume.addDirectory(parent, name83("D"));
    }
    volume.addFile(parent, name83("LEAF.TXT"), bytesOf("leaf"));
    return save(volume, dir, "nested" + std::to_string(levels) + ".img");
}

TEST(Recursion, StopsPastSixtyFourLevels) {
    TempDir dir;
    const CliRun deepest = mustRun({"ls", "-R", "--json", nestedVolume(dir, 64).string()});
    EXPECT_EQ(nlohmann::json::parse(deepest.out).size(), 65u);
    const auto tooDeep = nestedVolume(dir, 65).string();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"ls", "-R", tooDeep},
          {"get", tooDeep, "/D", "-o", (dir / "o").string()}}) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_EQ(run.err, "ディレクトリの再帰深度が上限(64)を超えました\n") << arguments[0];
    }
}

// Catches one path that names nothing stopping the others (the engine's export is
// tested on its own).
TEST(GetCommand, MissingPathIsReportedAfterTheOthersAreWritten) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("A.TXT"), bytesOf("one"));
    const auto image = save(volume, dir).string();
    const auto out = dir / "nest" / "out";
    const CliRun run = runCli({"get", image, "/NOPE", "/", "-o", out.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "ファイルが見つかりません: /NOPE\n");
    EXPECT_EQ(readFile(out / "A.TXT"), bytesOf("one"));
}

TEST(SectorCommand, DumpsInTheHexViewerLineLayout) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("HELLO.TXT"), bytesOf("Hello, sector!\x01\x7f"));
    const auto image = save(volume, dir).string();
    std::istringstream in(mustRun({"sector", image, "33", "2"}).out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2u + 32u + 32u + 1u);
    EXPECT_EQ(lines[0], "セクタ 33");
    EXPECT_EQ(lines[1],
              "00000000  48 65 6C 6C 6F 2C 20 73 65 63 74 6F 72 21 01 7F  Hello, sector!..");
    EXPECT_EQ(lines[32],
              "000001F0  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  ................");
    EXPECT_EQ(lines[33], "");
    EXPECT_EQ(lines[34], "セクタ 34");
    // Past the end of the image a sector reads as zeros.
    EXPECT_NE(mustRun({"sector", image, "5000"}).out.find("000001F0  00 00"), std::string::npos);
}

TEST(InfoCommand, TextLabelsAndJsonKeys) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("HELLO.TXT"), bytesOf("hello"));
    const auto image = save(volume, dir, "disk.xdf").string();
    const CliRun run = mustRun({"info", image});
    for (const char* line :
         {"ファイル名: disk.xdf\n", "イメージ形式: XDF\n", "ファイルシステム: FAT12\n",
          "バイト/セクタ: 512 Byte\n", "使用中: 0 KB (1 クラスタ)\n",
          "空き容量: 1,423 KB (2846 クラスタ)\n", "全容量: 1,423 KB (2847 クラスタ)\n",
          "メディアID: 0xF0\n", "ライトプロテクト: 無効\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    }
    const auto info = nlohmann::json::parse(mustRun({"info", "--json", image}).out);
    EXPECT_EQ(keysOf(info),
              (std::set<std::string>{"file", "format", "formatLabel", "fileSystem", "geometry",
                                     "bpb", "dataOffset", "bytesPerCluster", "dataClusters",
                                     "freeClusters", "usedClusters", "totalBytes", "freeBytes",
                                     "usedBytes", "writeProtected", "readOnly"}));
    EXPECT_EQ(keysOf(info["bpb"]),
              (std::set<std::string>{"bytesPerSector", "sectorsPerCluster", "reservedSectors",
                                     "numberOfFATs", "rootEntryCount", "totalSectors16",
                                     "mediaDescriptor", "sectorsPerFAT"}));
    EXPECT_EQ(info["freeBytes"], 2846 * 512);
    EXPECT_EQ(info["usedBytes"], 512);
}

// Through the built program, with a locale that knows nothing of UTF-8.
TEST(EndToEnd, ProgramWritesUtf8AndRawBytesWhateverTheLocale) {
    TempDir dir;
    VolumeBuilder volume;
    Bytes binary;
    for (int i = 0; i < 256; ++i) {
        binary.push_back(static_cast<std::uint8_t>(i));
    }
    volume.addFile(volume.root(), name83("テスト.BIN"), binary);
    const auto image = save(volume, dir).string();

    const CommandResult listing = runCliBinary({"ls", image}, "LC_ALL=C LANG=C");
    EXPECT_EQ(listing.exitStatus, 0) << listing.errors;
    EXPECT_EQ(listing.output, "テスト.BIN\n");
    const CommandResult cat = runCliBinary({"cat", image, "/テスト.bin"}, "LC_ALL=C LANG=C");
    EXPECT_EQ(cat.exitStatus, 0);
    EXPECT_EQ(cat.output, std::string(binary.begin(), binary.end()));
    EXPECT_EQ(runCliBinary({"ls"}).exitStatus, 2);
    const CommandResult failure = runCliBinary({"info", (dir / "missing.img").string()});
    EXPECT_EQ(failure.exitStatus, 1);
    EXPECT_EQ(failure.errors, "I/Oエラーが発生しました: No such file or directory\n");
}

TEST(EndToEnd, DemoImageScriptMakesAVolumeWeRead) {
    if (!mtoolsAvailable()) {
        GTEST_SKIP() << "mtools or dosfstools missing";
    }
    TempDir dir;
    const auto image = dir / "demo.img";
    const auto script = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                        "tools" / "make-demo-image.sh";
    const CommandResult made =
        runCommand(shellQuote(script.string()) + " " + shellQuote(image.string()));
    ASSERT_EQ(made.exitStatus, 0) << made.errors;
    std::set<std::string> paths;
    for (const auto& entry :
         nlohmann::json::parse(mustRun({"ls", "-R", "--json", image.string()}).out)) {
        paths.insert(entry["path"]);
    }
    EXPECT_TRUE(paths.count("/テスト.TXT"));
    EXPECT_TRUE(paths.count("/Long file name.txt"));
    EXPECT_TRUE(paths.count("/DOCS/SUB/README.TXT"));
}

// One end-to-end comparison with mtools: the engine's own interoperability tests cover
// the volumes; this catches the listing and cat output drifting from what is on disk.
TEST(MtoolsInterop, RecursiveListingAndCatMatchMdirAndMtype) {
    if (!mtoolsAvailable()) {
        GTEST_SKIP() << "mtools or dosfstools missing";
    }
    TempDir dir;
    const auto image = makeVolume(dir, "volume.img", 1440, 12);
    makeDirectoryInVolume(image, "/Docs");
    makeDirectoryInVolume(image, "/Docs/Still Deeper");
    copyIntoVolume(image, dir, "/A much longer file name.data", std::string(70000, 'x'));
    copyIntoVolume(image, dir, "/Docs/Read me first.txt", "line one\r\nline two\r\n");
    copyIntoVolume(image, dir, "/Docs/Still Deeper/LEAF.TXT", "leaf");
    copyIntoVolume(image, dir, "/EMPTY.TXT", "");

    std::set<std::string> ours;
    for (const auto& entry :
         nlohmann::json::parse(mustRun({"ls", "-R", "--json", image.string()}).out)) {
        const std::string path = entry["path"];
        ours.insert("::" + path + (entry["directory"].get<bool>() ? "/" : ""));
        if (!entry["directory"].get<bool>()) {
            EXPECT_EQ(mustRun({"cat", image.string(), path}).out, mtype(image, path)) << path;
        }
    }
    EXPECT_EQ(ours, mdirPaths(image));
    EXPECT_EQ(ours.size(), 6u);
}

} // namespace
} // namespace tamberlane::test
