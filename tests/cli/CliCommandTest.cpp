#include "cli/CliSupport.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <sstream>

namespace tamberlane::test {
namespace {

std::filesystem::path save(const VolumeBuilder& volume, const TempDir& dir,
                           const std::string& name = "raw.img") {
    writeFile(dir / name, volume.build());
    return dir / name;
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
        {{"--disk", "0", "info", image},
         2,
         "値が正しくありません (--disk: ディスクの番号は 1 から数えます: 0)\n"
         "使い方は tamberlane-cli --help で表示できます\n"},
        {{"--manual", "heads=257", "info", image},
         2,
         manual + "heads: 1〜256の範囲で入力してください\n"},
        {{"--manual", "colour=1", "info", image}, 2, manual + "不明なキーです: colour\n"},
        {{"info", (dir / "missing.img").string()},
         1,
         "I/Oエラーが発生しました: No such file or directory\n"},
        {{"info", zeros.string()},
         1,
         "BPBの値が不正です: bytesPerSectorが不正です: 0（有効値: 128, 256, 512, 1024, 2048, "
         "4096）\n"},
        {{"ls", image, "/NOPE"}, 1, notFound},
        {{"cat", image, "/nope.txt"}, 1, "ファイルが見つかりません: /nope.txt\n"},
        {{"cat", image, "/"}, 1, "ディレクトリは出力できません: /\n"},
        {{"--manual", "offset=2000000", "info", image},
         1,
         "ヘッダの解析に失敗しました: 指定されたデータオフセットでブートセクタを読み取れません\n"},
        {{"info", image}, 0, ""},
    };
    for (const Case& c : cases) {
        const std::string line = ::testing::PrintToString(c.arguments);
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.status, c.status) << line << "\n" << run.err;
        EXPECT_EQ(run.err.empty(), c.status == 0) << line;
        if (!c.err.empty()) {
            EXPECT_EQ(run.err, c.err) << line;
        }
    }
}

// Catches a command left out of the overview or without its own help, and the usage
// built wrongly from the options: required, optional and repeated arguments, flags, values.
TEST(Help, OverviewShowsEveryCommandAndEachAnswersHelp) {
    const std::string help = mustRun({"--help"}).out;
    for (const char* usage :
         {"ls IMAGE [PATH] [-l] [-R] [-F] [--json]", "get IMAGE PATH... [-o DIR] [--overwrite]",
          "new IMAGE --size SIZE", "--manual", "--disk"}) {
        EXPECT_NE(help.find(usage), std::string::npos) << usage;
    }
    for (const std::string command :
         {"info", "ls", "cat", "get", "sector", "disks", "new", "convert", "put", "rm", "mkdir",
          "rename", "deleted", "undelete"}) {
        EXPECT_NE(help.find(" " + command + " IMAGE"), std::string::npos) << command;
        EXPECT_EQ(runCli({command, "--help"}).status, 0) << command;
    }
}

TEST(ManualParameters, EveryKeyIsReadAndMalformedValuesAreUsageErrors) {
    EXPECT_EQ(
        cli::parseManualParameters("fat=16,bps=1024,spc=4,offset=+4096,heads=8,cylinders=77,spt=8"),
        (ManualParameters{FATType::fat16, 1024, 4, 4096, 8, 77, 8}));
    EXPECT_EQ(cli::parseManualParameters("offset=0"), ManualParameters{});
    for (const char* bad : {"", "fat", "fat=", "bps=500", "spc=3", "offset=-1", "depth=1",
                            "fat=12,", "fat=99999999999999999999"}) {
        EXPECT_THROW(cli::parseManualParameters(bad), cli::UsageError) << bad;
    }
}

TEST(ListCommand, LongRecursiveAndJsonFormats) {
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

// Catches -R and get walking a directory that contains itself until memory runs out, a
// walk that stops at the first bad directory (or prints nothing with --json), directories
// that start at different points of one chain each reading the rest of it again, the
// nesting limit of 64 levels off by one, and cat printing a file cut short by the end of
// the image as if it were whole.
TEST(Recursion, DamagedTreesPrintWhatCanBeReadAndNameEachBadDirectory) {
    TempDir dir;
    VolumeBuilder volume;
    const auto loop = volume.addDirectory(volume.root(), name83("LOOP"));
    const std::uint16_t cluster = volume.firstCluster(loop);
    volume.addSlot(loop, VolumeBuilder::shortEntry(name83("AGAIN"), 0x10, cluster, 0));
    volume.setFAT(10, 11);
    volume.setFAT(11, 12);
    volume.setFAT(12, 0xFFF);
    for (std::uint16_t start = 10; start <= 12; ++start) {
        volume.addSlot(volume.root(), VolumeBuilder::shortEntry(name83("X" + std::to_string(start)),
                                                                0x10, start, 0));
    }
    const auto damaged = save(volume, dir).string();
    const auto circular = [](const std::string& path, int at) {
        return path + ": クラスタチェーンに循環参照があります（クラスタ: " + std::to_string(at) +
               "）\n";
    };
    const std::string damagedErr =
        circular("/LOOP/AGAIN", cluster) + circular("/X11", 11) + circular("/X12", 12);

    const CliRun deepest = mustRun({"ls", "-R", "--json", nestedVolume(dir, 64).string()});
    EXPECT_EQ(nlohmann::json::parse(deepest.out).size(), 65u);
    const auto tooDeep = nestedVolume(dir, 65).string();
    std::string deepPath;
    for (int i = 0; i < 65; ++i) {
        deepPath += "/D";
    }
    const std::string depth = deepPath + ": ディレクトリの再帰深度が上限(64)を超えました\n";

    VolumeParameters truncated;
    truncated.volumeBytes = 1261568; // a 1.2 MB file: clusters from 2432 on lie past its end
    VolumeBuilder cut(truncated);
    const auto chain = cut.addFile(cut.root(), name83("CUT.BIN"), Bytes(1000, 'c'));
    cut.setFAT(chain[0], 2800);
    cut.setFAT(2800, 0xFFF);
    const auto cutImage = save(cut, dir, "cut.img").string();

    struct Case {
        std::vector<std::string> arguments;
        std::string err;
        std::size_t outLines; // what could be read is printed
    };
    const std::vector<Case> cases = {
        {{"ls", "-R", damaged}, damagedErr, 10},
        {{"ls", "-R", "--json", damaged}, damagedErr, 57},
        {{"get", damaged, "/", "-o", (dir / "out").string()}, damagedErr, 0},
        {{"ls", "-R", tooDeep}, depth, 2 + 64 * 3},
        {{"get", tooDeep, "/D", "-o", (dir / "o").string()}, depth, 0},
        {{"cat", cutImage, "cut.bin"},
         "FATテーブルが破損しています: ファイルのクラスタがイメージの範囲外にあるため、"
         "読めた部分だけを取り出しました: /CUT.BIN\n",
         0},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.arguments);
        const std::string line = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(run.status, 1) << line;
        EXPECT_EQ(run.err, c.err) << line;
        EXPECT_EQ(static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n')),
                  c.outLines)
            << line << "\n"
            << run.out;
    }
    EXPECT_EQ(runCli({"cat", cutImage, "cut.bin"}).out, std::string(512, 'c'));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "out" / "X10"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "X11"));
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

// Catches get writing over the image it reads (a file of the image's own name on the
// volume, --overwrite or not), replacing a host file it was not told to, stopping there or
// reporting success, failing a folder that exists instead of writing into it, and
// --overwrite not replacing.
TEST(GetCommand, KeepsExistingHostFilesUnlessToldAndNeverWritesOverTheImage) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("MY_DISK.BIN"), bytesOf("8 bytes!"), u"my disk.bin");
    volume.addFile(volume.root(), name83("A.TXT"), bytesOf("volume a"));
    const auto sub = volume.addDirectory(volume.root(), name83("SUB"));
    volume.addFile(sub, name83("B.TXT"), bytesOf("volume b"));
    const auto image = save(volume, dir, "my disk.bin");
    const Bytes before = readFile(image);
    for (const bool overwrite : {false, true}) {
        std::vector<std::string> arguments{"get", image.string(), "/my disk.bin", "-o",
                                           dir.path().string()};
        if (overwrite) {
            arguments.push_back("--overwrite");
        }
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 1) << overwrite;
        EXPECT_EQ(run.err, "I/Oエラーが発生しました: 書き出し先が開いているディスクイメージと同じ"
                           "ファイルのため、書き出しませんでした: " +
                               image.string() + "\n");
        EXPECT_TRUE(readFile(image) == before) << overwrite;
    }

    const auto out = dir / "out";
    std::filesystem::create_directories(out / "SUB");
    writeFile(out / "A.TXT", bytesOf("host a"));
    writeFile(out / "SUB" / "MINE.TXT", bytesOf("mine"));
    const CliRun kept = runCli({"get", image.string(), "/", "-o", out.string()});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err,
              "書き出し先に同名のファイルが既に存在します: " + (out / "A.TXT").string() + "\n");
    EXPECT_EQ(readFile(out / "A.TXT"), bytesOf("host a"));
    EXPECT_EQ(readFile(out / "my disk.bin"), bytesOf("8 bytes!"));
    EXPECT_EQ(readFile(out / "SUB" / "B.TXT"), bytesOf("volume b"));

    mustRun({"get", image.string(), "/", "-o", out.string(), "--overwrite"});
    EXPECT_EQ(readFile(out / "A.TXT"), bytesOf("volume a"));
    EXPECT_EQ(readFile(out / "SUB" / "MINE.TXT"), bytesOf("mine"));
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
    EXPECT_EQ(keysOf(info), (std::set<std::string>{"file",           "format",
                                                   "formatLabel",    "fileSystem",
                                                   "geometry",       "bpb",
                                                   "dataOffset",     "bytesPerCluster",
                                                   "dataClusters",   "freeClusters",
                                                   "usedClusters",   "totalBytes",
                                                   "freeBytes",      "usedBytes",
                                                   "writeProtected", "readOnly",
                                                   "volumeSectors",  "parametersInferred",
                                                   "partition",      "foundBySearchAt",
                                                   "changesRefused", "changesRefusedReason"}));
    EXPECT_EQ(keysOf(info["bpb"]),
              (std::set<std::string>{"bytesPerSector", "sectorsPerCluster", "reservedSectors",
                                     "numberOfFATs", "rootEntryCount", "totalSectors16",
                                     "mediaDescriptor", "sectorsPerFAT", "totalSectors32"}));
    EXPECT_EQ(info["volumeSectors"], 2880);
    EXPECT_TRUE(info["partition"].is_null());
    EXPECT_EQ(info["freeBytes"], 2846 * 512);
    EXPECT_EQ(info["usedBytes"], 512);
}

// Through the built program, with a locale that knows nothing of UTF-8.
TEST(EndToEnd, ProgramWritesUtf8AndRawBytesWhateverTheLocale) {
    TempDir dir;
    VolumeBuilder volume;
    Bytes binary(256);
    std::iota(binary.begin(), binary.end(), 0); // every byte value
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
    if (!fatToolsAvailable()) {
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
TEST(MtoolsInterop, RecursiveListingAndCatMatchMtools) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mtools or dosfstools missing";
    }
    TempDir dir;
    const auto image = Volume(dir, VolumeKind{"volume"}).path();
    mtoolsMkdir(image, "::/Docs");
    mtoolsMkdir(image, "::/Docs/Still Deeper");
    const auto put = [&](const std::string& diskPath, const std::string& contents) {
        mtoolsPut(image, writeHost(dir, "source", contents), "::" + diskPath);
    };
    put("/A much longer file name.data", std::string(70000, 'x'));
    put("/Docs/Read me first.txt", "line one\r\nline two\r\n");
    put("/Docs/Still Deeper/LEAF.TXT", "leaf");
    put("/EMPTY.TXT", "");

    Tree ours;
    for (const auto& entry :
         nlohmann::json::parse(mustRun({"ls", "-R", "--json", image.string()}).out)) {
        const std::string path = entry["path"];
        ours[path.substr(1) + (entry["directory"].get<bool>() ? "/" : "")] =
            entry["directory"].get<bool>() ? Bytes{}
                                           : bytesOf(mustRun({"cat", image.string(), path}).out);
    }
    EXPECT_EQ(ours, mtoolsTree(image));
    EXPECT_EQ(ours.size(), 6u);
}

} // namespace
} // namespace tamberlane::test
