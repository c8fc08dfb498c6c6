#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

const std::string clashText = "同名のファイルが既に存在します: ";
const std::string notFoundText = "ファイルが見つかりません: /NOPE\n";
const std::string nothingWritten = "失敗した項目があるため、イメージには何も書き込みませんでした"
                                   " (成功した分を保存するには --keep-going)\n";

// The engine's operation tests cover allocation, directory updates, name clashes and
// restores; these check what the commands add: argument handling, batches saved once,
// messages, exit statuses, and failures that leave the image file byte for byte as it was.
class CliWriteCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fatToolsAvailable()) {
            GTEST_SKIP() << "mtools or dosfstools missing";
        }
        image = Volume(dir, VolumeKind{"v"}).path();
        path = image.string();
    }
    void put(const std::string& diskPath, const std::string& contents) {
        mtoolsPut(image, writeHost(dir, "mcopy-source", contents), "::" + diskPath);
    }
    void mkdir(const std::string& diskPath) { mtoolsMkdir(image, "::" + diskPath); }
    void expectFails(const std::vector<std::string>& arguments, int status,
                     const std::string& err) {
        expectFailsUntouched(image, arguments, status, err);
    }

    TempDir dir;
    std::filesystem::path image;
    std::string path;
};

// Catches a batch that loses files or ignores --to, and nested directories fsck finds broken.
TEST_F(CliWriteCommand, PutBatchAndMkdirAreReadBackByMtoolsAndPassFsck) {
    const Bytes multi(5000, 'm');
    const auto empty = writeHost(dir, "empty.txt", "").string();
    const auto big = writeHost(dir, "multi.dat", std::string(5000, 'm')).string();
    mustRun({"put", path, empty, big});
    mustRun({"mkdir", path, "A"});
    mustRun({"mkdir", path, "/a/B"});
    mustRun({"put", path, empty, big, "--to", "A/b"});
    EXPECT_EQ(mtoolsTree(image), (Tree{{"EMPTY.TXT", {}},
                                       {"MULTI.DAT", multi},
                                       {"A/", {}},
                                       {"A/B/", {}},
                                       {"A/B/EMPTY.TXT", {}},
                                       {"A/B/MULTI.DAT", multi}}));
    EXPECT_TRUE(fsckAccepts(image));

    expectFails({"mkdir", path, "a"}, 1, "同名のディレクトリが既に存在します: a\n");
    expectFails({"mkdir", path, "X/Y"}, 1,
                "ヘッダの解析に失敗しました: ディレクトリ 'X' が見つかりません\n");
    expectFails({"mkdir", path, "/"}, 2, "作成するディレクトリの名前がありません\n");
    expectFails({"mkdir", path, "A/.."}, 1, "この名前は使用できません: ..\n");
}

// Catches a host name in Shift-JIS bytes (an old archive unpacked on Linux) stored as "_"s.
TEST_F(CliWriteCommand, PutKeepsAHostNameInShiftJISBytesThatMtoolsReadsBack) {
    const auto file = writeHost(dir, "\x83\x5A\x81\x5B\x83\x75.DAT", "save");
    mustRun({"put", path, file.string()});
    EXPECT_EQ(mustRun({"ls", path}).out, "セーブ.DAT\n");
    EXPECT_EQ(mtoolsTree(image, true), (Tree{{"セーブ.DAT", bytesOf("save")}}));
}

// Catches a failure reported once per file, a clash reported as success, a missing
// destination that still saves, a file that does not fit written in part, a batch that
// drops the good files because one clashes, and --overwrite not reaching the engine.
TEST_F(CliWriteCommand, PutFailuresNameTheFileOnceAndOverwriteOnlyWhenAsked) {
    put("/A.TXT", "old contents");
    put("/README", "old readme");
    TempDir hosts;
    const auto a = writeHost(hosts, "a.txt", "new contents").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"put", path, a}, clashText + "a.txt\n"},
        // No extension: the full stop stays in the message.
        {{"put", path, writeHost(hosts, "README", "new").string()}, clashText + "README.\n"},
        {{"put", path, a, "--to", "NOPE"},
         "ヘッダの解析に失敗しました: ディレクトリ 'NOPE' が見つかりません\n"},
        {{"put", path, writeHost(hosts, "huge.bin", std::string(1500 * 1024, 'h')).string()},
         "huge.bin: ディスク容量が不足しています。必要: 1536000 バイト、空き: 1456640 バイト\n"},
        {{"put", path, (hosts / "nope.txt").string()},
         "nope.txt: I/Oエラーが発生しました: No such file or directory\n"},
    };
    for (const auto& [arguments, err] : cases) {
        expectFails(arguments, 1, err);
    }
    EXPECT_EQ(runCli({"put", path}).status, 2);

    // A batch is all or nothing unless --keep-going: a clash or a FIFO keeps the good
    // file out too, and every failure is named.
    const auto b = writeHost(hosts, "b.txt", "b").string();
    const auto fifo = hosts / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expectFails({"put", path, a, b, fifo.string()}, 1,
                clashText + "a.txt\nI/Oエラーが発生しました: 通常のファイルではありません: fifo\n" +
                    nothingWritten);
    const CliRun batch = runCli({"put", path, a, b, fifo.string(), "--keep-going"});
    EXPECT_EQ(batch.status, 1);
    EXPECT_EQ(batch.out, "1 件を保存しました\n");
    EXPECT_EQ(mtoolsRead(image, "::/A.TXT"), bytesOf("old contents"));
    EXPECT_EQ(mtoolsRead(image, "::/B.TXT"), bytesOf("b"));
    mustRun({"put", path, a, "--overwrite"});
    EXPECT_EQ(mtoolsRead(image, "::/A.TXT"), bytesOf("new contents"));
    EXPECT_TRUE(fsckAccepts(image));
}

// Catches a directory deleted without -r, a delete that leaves lost clusters (fsck
// reports them), and the root being deletable.
TEST_F(CliWriteCommand, RmDeletesFilesAndTreesAndRefusesDirectoriesWithoutR) {
    put("/A.TXT", std::string(3000, 'a'));
    mkdir("/TREE");
    mkdir("/TREE/INNER");
    put("/TREE/INNER/TWO.TXT", std::string(2000, 't'));

    expectFails({"rm", path, "TREE"}, 1, "ディレクトリです (-r で中身ごと削除します): TREE\n");
    expectFails({"rm", path, "/NOPE"}, 1, notFoundText);
    expectFails({"rm", path, "/"}, 1, "ルートディレクトリは削除できません\n");
    // A path that names nothing keeps the others from being deleted, unless --keep-going.
    expectFails({"rm", path, "/A.TXT", "/NOPE"}, 1, notFoundText + nothingWritten);
    const CliRun kept = runCli({"rm", path, "/NOPE", "/A.TXT", "--keep-going"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, notFoundText);
    EXPECT_EQ(kept.out, "1 件を保存しました\n");
    mustRun({"rm", path, "-r", "tree"});
    EXPECT_TRUE(mtoolsTree(image).empty());
    EXPECT_TRUE(fsckAccepts(image));
}

// Catches a batch that replaces a file it has just written (both host names shorten to
// REPORT_A.TXT) and an overwrite by long name that adds a second file beside the old one.
TEST_F(CliWriteCommand, PutNeverReplacesItsOwnFileAndOverwritesALongNameInPlace) {
    TempDir hosts;
    const auto august = writeHost(hosts, "report_august.txt", "august").string();
    const auto april = writeHost(hosts, "report_april.txt", "april").string();
    const std::string second = clashText + "report_april.txt（既存: REPORT_A.TXT）\n";
    expectFails({"put", path, august, april, "--overwrite"}, 1, second + nothingWritten);
    const CliRun kept = runCli({"put", path, august, april, "--keep-going"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, second);
    EXPECT_EQ(mtoolsRead(image, "::/REPORT_A.TXT"), bytesOf("august"));

    put("/My Document.docx", "old");
    const auto document = writeHost(hosts, "My Document.docx", "new").string();
    expectFails({"put", path, document}, 1, clashText + "My Document.docx\n");
    mustRun({"put", path, document, "--overwrite"});
    EXPECT_EQ(mustRun({"cat", path, "/My Document.docx"}).out, "new");
    EXPECT_EQ(mtoolsTree(image),
              (Tree{{"REPORT_A.TXT", bytesOf("august")}, {"My Document.docx", bytesOf("new")}}));
    EXPECT_TRUE(fsckAccepts(image));
}

// Catches a path that takes the first entry equal ignoring case: rm /abc.txt deleted
// ABC.TXT although another file is shown as abc.txt.
TEST_F(CliWriteCommand, RmDeletesTheEntryShownUnderTheNameAndRefusesAnAmbiguousOne) {
    VolumeBuilder built;
    built.addFile(built.root(), name83("ABC.TXT"), bytesOf("short"));
    built.addFile(built.root(), name83("ABCD.TXT"), bytesOf("long"), u"abc.txt");
    writeFile(image, built.build());
    expectFails({"rm", path, "/Abc.txt"}, 1, "名前が複数のエントリに一致します: Abc.txt\n");
    mustRun({"rm", path, "/abc.txt"});
    EXPECT_EQ(mtoolsTree(image), (Tree{{"ABC.TXT", bytesOf("short")}}));
}

// The short name made from the new one is the engine's; this catches the command passing
// the wrong argument, touching the data, or renaming onto a taken name or the root.
TEST_F(CliWriteCommand, RenameKeepsTheDataAndRefusesTakenNames) {
    put("/A.TXT", "alpha");
    put("/B.TXT", "beta");
    mustRun({"rename", path, "/a.txt", "archive.tar.gz"});
    EXPECT_EQ(mtoolsTree(image),
              (Tree{{"ARCHIVE_.GZ", bytesOf("alpha")}, {"B.TXT", bytesOf("beta")}}));
    EXPECT_TRUE(fsckAccepts(image));
    expectFails({"rename", path, "ARCHIVE_.GZ", "b.txt"}, 1, clashText + "b.txt\n");
    expectFails({"rename", path, "/NOPE", "x"}, 1, notFoundText);
    expectFails({"rename", path, "/", "x"}, 2, "ルートディレクトリの名前は変更できません\n");
}

// Catches a listing with missing or renamed keys, a restore that brings back other bytes,
// and numbers that shift after a restore so the next undelete restores another entry.
TEST_F(CliWriteCommand, DeletedListsAndUndeleteRestoresWithStableNumbers) {
    const std::string contents(1500, 'd');
    mkdir("/Long Directory");
    mkdir("/Long Directory/INNER");
    put("/Long Directory/DATA.BIN", contents);
    mustRun({"rm", path, "-r", "long directory/INNER", "Long Directory/DATA.BIN"});

    const auto listed =
        nlohmann::json::parse(mustRun({"deleted", path, "Long Directory", "--json"}).out);
    ASSERT_EQ(listed.size(), 2u);
    // The numbers are the slots' places in the directory, after "." and "..".
    EXPECT_EQ(listed[0]["index"], 3);
    EXPECT_EQ(listed[0]["displayName"], "?NNER");
    EXPECT_EQ(listed[0]["directory"], true);
    auto data = listed[1];
    EXPECT_GE(data["startCluster"], 2);
    EXPECT_EQ(data["modified"].get<std::string>().size(), 25u);
    data.erase("startCluster");
    data.erase("modified");
    EXPECT_EQ(data, nlohmann::json::parse(R"({"index": 4, "displayName": "?ATA.BIN",
        "size": 1500, "recoverability": 100, "requiredClusters": 3, "freeClusters": 3,
        "directory": false, "shortName": "?ATA.BIN", "longName": null})"));
    const std::string text = mustRun({"deleted", path, "/LONG DIRECTORY"}).out;
    EXPECT_NE(text.find("\n4\t?ATA.BIN\t1500\t"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("\t100%\n")) << text;

    EXPECT_EQ(mustRun({"undelete", path, "3", "I", "--in", "Long Directory"}).out,
              "ファイルを復元しました\n");
    mustRun({"undelete", path, "4", "D", "--in", "/long directory/"});
    EXPECT_EQ(mtoolsRead(image, "::/Long Directory/DATA.BIN"), bytesOf(contents));
    EXPECT_EQ(mustRun({"deleted", path, "Long Directory", "--json"}).out, "[]\n");
    EXPECT_TRUE(fsckAccepts(image));
}

// Catches an undelete that still asks for the first character a long name told, one that
// drops the long name or keeps it against --long-names never, a two-byte first character
// refused, and a policy name that is not one taken for the default.
TEST_F(CliWriteCommand, UndeleteBringsBackLongNamesAndTwoByteFirstCharacters) {
    put("/A very long file name.txt", "long");
    // A Shift-JIS short name, no long name.
    mustRun({"put", path, writeHost(dir, "日本.TXT", "jp").string()});
    put("/Other long name.txt", "other");
    mustRun({"rm", path, "A very long file name.txt", "日本.TXT", "Other long name.txt"});

    const auto listed = nlohmann::json::parse(mustRun({"deleted", path, "--json"}).out);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0]["displayName"], "A very long file name.txt");
    EXPECT_EQ(listed[0]["longName"], "A very long file name.txt");
    EXPECT_EQ(listed[0]["shortName"], "?VERYL~1.TXT");
    EXPECT_EQ(listed[1]["displayName"], "?本.TXT");
    EXPECT_EQ(listed[1]["longName"], nullptr);
    const std::string latin = std::to_string(listed[0]["index"].get<int>());
    const std::string japanese = std::to_string(listed[1]["index"].get<int>());
    const std::string other = std::to_string(listed[2]["index"].get<int>());

    EXPECT_EQ(runCli({"undelete", path, latin, "--long-names", "sometimes"}).status, 2);
    expectFails({"undelete", path, japanese, "本"}, 1,
                "この文字は元の名前の2バイト目と一致しません: 本\n");
    mustRun({"undelete", path, latin});
    mustRun({"undelete", path, japanese, "日", "--long-names", "always"});
    mustRun({"undelete", path, other, "O", "--long-names", "never"});
    EXPECT_EQ(mtoolsTree(image, true), (Tree{{"A very long file name.txt", bytesOf("long")},
                                             {"日本.TXT", bytesOf("jp")},
                                             {"OTHERL~1.TXT", bytesOf("other")}}));
    EXPECT_TRUE(fsckAccepts(image));
}

// The engine words its own refusals; these catch numbers that are not deleted entries,
// a refusal or failed restore that still writes, and a listing of a missing directory
// that looks empty.
TEST_F(CliWriteCommand, UndeleteRefusalsLeaveTheImageAlone) {
    mkdir("/SUB");
    put("/SUB/A.TXT", "a");
    put("/SUB/B.TXT", "b");
    mustRun({"rm", path, "SUB/A.TXT"});
    mustRun({"rename", path, "SUB/B.TXT", "a.txt"});
    const std::string missing = "ディレクトリが見つかりません: /";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"undelete", path, "3", "a", "--in", "SUB"},
         "復元に失敗しました: " + clashText + "A.TXT\n"},
        {{"undelete", path, "3", "", "--in", "SUB"}, "先頭文字を入力してください\n"},
        // SUB is a live entry, not a deleted one.
        {{"undelete", path, "1", "O"}, "削除済みエントリの番号ではありません: 1\n"},
        {{"undelete", path, "2", "O", "--in", "NOPE"}, missing + "NOPE\n"},
        {{"deleted", path, "NOPE"}, missing + "NOPE\n"},
        {{"deleted", path, "SUB/A.TXT"}, missing + "SUB/A.TXT\n"},
    };
    for (const auto& [arguments, err] : cases) {
        expectFails(arguments, 1, err);
    }
    EXPECT_EQ(runCli({"undelete", path, "one", "O"}).status, 2);
}

// Catches a change written to a write-protected D88 or to an image another process holds
// open (which opens read-only), a refusal repeated per file, and reading refused along
// with writing. That every change is refused is the engine's.
TEST_F(CliWriteCommand, ProtectedImagesAreRefusedAndLeftUntouched) {
    const auto d88 = dir / "disk.d88";
    mustRun({"new", d88.string(), "--size", "1.44m"});
    const auto file = writeHost(dir, "f.txt", "contents").string();
    mustRun({"mkdir", d88.string(), "SUB"});
    mustRun({"put", d88.string(), file});
    mustRun({"put", d88.string(), file, "--to", "SUB"});
    mustRun({"rm", d88.string(), "SUB/F.TXT"});
    const auto held = dir / "held.d88";
    std::filesystem::copy_file(d88, held);
    Bytes bytes = readFile(d88);
    bytes[0x1A] = 0x10; // the write-protect flag of the header
    writeFile(d88, bytes);
    const int fd = ::open(held.c_str(), O_RDONLY | O_CLOEXEC); // another program reading it
    ASSERT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);

    const std::string protectedText = "ディスクイメージはライトプロテクトされています\n";
    for (const auto& protectedImage : {d88, held}) {
        image = protectedImage;
        const std::string p = protectedImage.string();
        expectFails({"put", p, file, "--overwrite"}, 1, protectedText);
        expectFails({"rm", p, "-r", "F.TXT", "SUB"}, 1, protectedText);
        expectFails({"undelete", p, "3", "F", "--in", "SUB"}, 1,
                    "ディスクイメージは読み取り専用です\n");
        EXPECT_EQ(mustRun({"deleted", p, "SUB"}).out.substr(0, 9), "3\t?.TXT\t8");
    }
    ::close(fd);
}

} // namespace
} // namespace tamberlane::test

namespace tamberlane::test {
namespace {

std::uint16_t u16At(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

Bytes readAt(const std::filesystem::path& path, std::int64_t offset, std::size_t length) {
    Bytes out(length);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read =
        fd >= 0 && pread(fd, out.data(), length, offset) == static_cast<ssize_t>(length);
    if (fd >= 0) {
        close(fd);
    }
    return read ? out : Bytes{};
}

// A hard disk of 3 GiB in FAT16's largest clusters (64 KiB): it was refused as bigger than
// an image held in memory, and files past 2 GiB need offsets that no 32-bit type holds.
TEST(BigVolume, AThreeGiBVolumeTakesAFilePastTwoGiBAndStaysClean) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mtools or dosfstools missing";
    }
    TempDir dir;
    const auto image = dir / "big.img";
    ASSERT_EQ(runCommand("truncate -s 3G " + shellQuote(image.string()) +
                         " && mkfs.fat -F 16 -s 128 " + shellQuote(image.string()))
                  .exitStatus,
              0);
    // One file of 2 GiB (holes, never written) takes the clusters below 2 GiB, so the next
    // file lands above them.
    const Bytes boot = readAt(image, 0, 512);
    ASSERT_EQ(boot.size(), 512u);
    const std::int64_t fatStart = std::int64_t{u16At(boot, 14)} * 512;
    const std::int64_t fatBytes = std::int64_t{u16At(boot, 22)} * 512;
    const std::int64_t rootStart = fatStart + boot[16] * fatBytes;
    constexpr std::uint32_t clusters = 32768;
    Bytes fat(2 * (clusters + 2));
    for (std::uint32_t c = 2; c < clusters + 2; ++c) {
        const std::uint32_t next = c + 1 == clusters + 2 ? 0xFFFF : c + 1;
        fat[2 * c] = static_cast<std::uint8_t>(next);
        fat[2 * c + 1] = static_cast<std::uint8_t>(next >> 8);
    }
    Bytes entry = bytesOf("HUGE    BIN");
    entry.resize(32, 0);
    entry[26] = 2;
    entry[31] = 0x80; // 2 GiB
    const int fd = open(image.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int copy = 0; copy < boot[16]; ++copy) {
        const Bytes firstEntries = readAt(image, fatStart + copy * fatBytes, 4);
        std::copy(firstEntries.begin(), firstEntries.end(), fat.begin());
        ASSERT_EQ(pwrite(fd, fat.data(), fat.size(), fatStart + copy * fatBytes),
                  static_cast<ssize_t>(fat.size()));
    }
    ASSERT_EQ(pwrite(fd, entry.data(), 32, rootStart), 32);
    close(fd);

    const std::string contents(100 * 1024, 'z');
    mustRun({"put", image.string(), writeHost(dir, "late.dat", contents).string()});
    EXPECT_EQ(mtoolsRead(image, "::/LATE.DAT"), Bytes(contents.begin(), contents.end()));
    EXPECT_EQ(runCli({"cat", image.string(), "/LATE.DAT"}).out, contents);
    EXPECT_TRUE(fsckAccepts(image));
    struct stat st {};
    ASSERT_EQ(stat(image.c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 16 << 20) << "the save kept the holes";
}

} // namespace
} // namespace tamberlane::test
