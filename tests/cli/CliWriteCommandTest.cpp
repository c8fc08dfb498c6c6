#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

const std::string clashText = "文字エンコーディングエラー: 同名のファイルが既に存在します: ";
const std::string directoryClashText =
    "文字エンコーディングエラー: 同名のディレクトリが既に存在します: ";
const std::string notFoundText = "ファイルが見つかりません: /NOPE\n";

// The engine's operation tests cover allocation and directory updates; these check what
// the commands add: argument handling, batches saved once, messages, exit statuses, and
// failures that leave the image file byte for byte as it was.
class CliWriteCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!mtoolsAvailable()) {
            GTEST_SKIP() << "mtools or dosfstools missing";
        }
        image = makeVolume(dir, "v.img", 1440, 12);
        path = image.string();
    }

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
    const std::string multi(5000, 'm');
    const auto empty = writeHost(dir, "empty.txt", "").string();
    const auto big = writeHost(dir, "multi.dat", multi).string();
    mustRun({"put", path, empty, big});
    mustRun({"mkdir", path, "A"});
    mustRun({"mkdir", path, "/a/B"});
    mustRun({"put", path, empty, big, "--to", "A/b"});
    EXPECT_EQ(mdirPaths(image),
              (std::set<std::string>{"::/EMPTY.TXT", "::/MULTI.DAT", "::/A/", "::/A/B/",
                                     "::/A/B/EMPTY.TXT", "::/A/B/MULTI.DAT"}));
    EXPECT_EQ(mtype(image, "/A/B/MULTI.DAT"), multi);
    expectConsistent(image);

    expectFails({"mkdir", path, "a"}, 1, directoryClashText + "a\n");
    expectFails({"mkdir", path, "X/Y"}, 1,
                "ヘッダの解析に失敗しました: ディレクトリ 'X' が見つかりません\n");
    expectFails({"mkdir", path, "/"}, 2, "作成するディレクトリの名前がありません\n");
}

// Catches an import that replaces a file or a directory tree without being asked, a batch
// that drops the good files because one clashes, and a clash reported as success.
TEST_F(CliWriteCommand, NameClashesFailWithTheEngineMessageAndLeaveTheImageAlone) {
    copyIntoVolume(image, dir, "/A.TXT", "old contents");
    copyIntoVolume(image, dir, "/README", "old readme");
    makeDirectoryInVolume(image, "/SUB");
    const auto sub = writeHost(dir, "sub", "a file named like the directory").string();
    TempDir other;
    const auto a = writeHost(other, "a.txt", "new contents").string();
    const auto readme = writeHost(other, "README", "new readme").string();
    const auto b = writeHost(other, "b.txt", "b").string();

    expectFails({"put", path, a}, 1, clashText + "a.txt\n");
    // No extension: the full stop stays in the message.
    expectFails({"put", path, readme}, 1, clashText + "README.\n");
    // A directory is never replaced by a file, not even when asked.
    expectFails({"put", path, sub, "--overwrite"}, 1, directoryClashText + "sub\n");

    const CliRun batch = runCli({"put", path, a, b});
    EXPECT_EQ(batch.status, 1);
    EXPECT_EQ(batch.err, clashText + "a.txt\n");
    EXPECT_EQ(mtype(image, "/A.TXT"), "old contents");
    EXPECT_EQ(mtype(image, "/B.TXT"), "b");

    mustRun({"put", path, a, readme, "--overwrite"});
    EXPECT_EQ(mtype(image, "/A.TXT"), "new contents");
    EXPECT_EQ(mtype(image, "/README"), "new readme");
    expectConsistent(image);
}

// Catches a failure reported once per file, a missing destination that still saves, and
// a file that does not fit being written in part.
TEST_F(CliWriteCommand, PutFailuresNameTheFileOnceAndLeaveTheImageAlone) {
    TempDir hosts;
    const auto small = writeHost(hosts, "small.txt", "x").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"put", path, small, "--to", "NOPE"},
         "ヘッダの解析に失敗しました: ディレクトリ 'NOPE' が見つかりません\n"},
        {{"put", path, writeHost(hosts, "huge.bin", std::string(1500 * 1024, 'h')).string()},
         "huge.bin: ディスク容量が不足しています。必要: 1536000 バイト、空き: 1457664 バイト\n"},
        {{"put", path, (hosts / "nope.txt").string()},
         "nope.txt: I/Oエラーが発生しました: No such file or directory\n"},
    };
    for (const auto& [arguments, err] : cases) {
        expectFails(arguments, 1, err);
    }
    EXPECT_EQ(runCli({"put", path}).status, 2);
    EXPECT_TRUE(mdirPaths(image).empty());
}

// Catches a directory deleted without -r, a delete that leaves lost clusters, and the
// root being deletable.
TEST_F(CliWriteCommand, RmDeletesFilesAndTreesAndRefusesDirectoriesWithoutR) {
    copyIntoVolume(image, dir, "/A.TXT", std::string(3000, 'a'));
    makeDirectoryInVolume(image, "/TREE");
    makeDirectoryInVolume(image, "/TREE/INNER");
    copyIntoVolume(image, dir, "/TREE/INNER/TWO.TXT", std::string(2000, 't'));

    expectFails({"rm", path, "TREE"}, 1, "ディレクトリです (-r で中身ごと削除します): TREE\n");
    expectFails({"rm", path, "/NOPE"}, 1, notFoundText);
    expectFails({"rm", path, "/"}, 1, "ルートディレクトリは削除できません\n");
    mustRun({"rm", path, "-r", "tree", "/a.txt"});
    EXPECT_TRUE(mdirPaths(image).empty());
    expectConsistent(image);
    EXPECT_EQ(nlohmann::json::parse(mustRun({"info", "--json", path}).out)["usedClusters"], 0);
}

// Catches a new name split at the wrong full stop, a rename onto a taken name, and a
// rename that touches the data.
TEST_F(CliWriteCommand, RenameSplitsAtTheLastFullStopAndRefusesTakenNames) {
    copyIntoVolume(image, dir, "/A.TXT", "alpha");
    copyIntoVolume(image, dir, "/B.TXT", "beta");
    const std::vector<std::array<std::string, 3>> cases = {
        {"/A.TXT", "archive.tar.gz", "/ARCHIVE_.GZ"},
        {"/ARCHIVE_.GZ", ".profile", "/_PROFILE"},
    };
    for (const auto& [from, to, listed] : cases) {
        mustRun({"rename", path, from, to});
        EXPECT_EQ(mdirPaths(image), (std::set<std::string>{"::" + listed, "::/B.TXT"})) << to;
        EXPECT_EQ(mtype(image, listed), "alpha") << to;
    }
    expectConsistent(image);
    expectFails({"rename", path, "_PROFILE", "b.txt"}, 1, clashText + "b.txt\n");
    expectFails({"rename", path, "/NOPE", "x"}, 1, notFoundText);
    expectFails({"rename", path, "/", "x"}, 2, "ルートディレクトリの名前は変更できません\n");
}

// Catches a listing with missing or renamed keys, a restore that brings back other bytes,
// and numbers that shift after a restore so the next undelete restores another entry.
TEST_F(CliWriteCommand, DeletedListsAndUndeleteRestoresWithStableNumbers) {
    const std::string contents(1500, 'd');
    makeDirectoryInVolume(image, "/Long Directory");
    makeDirectoryInVolume(image, "/Long Directory/INNER");
    copyIntoVolume(image, dir, "/Long Directory/DATA.BIN", contents);
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
        "directory": false})"));
    const std::string text = mustRun({"deleted", path, "/LONG DIRECTORY"}).out;
    EXPECT_NE(text.find("\n4\t?ATA.BIN\t1500\t"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("\t100%\n")) << text;

    EXPECT_EQ(mustRun({"undelete", path, "3", "I", "--in", "Long Directory"}).out,
              "ファイルを復元しました\n");
    mustRun({"undelete", path, "4", "D", "--in", "/long directory/"});
    EXPECT_EQ(mtype(image, "/Long Directory/DATA.BIN"), contents);
    EXPECT_EQ(mustRun({"deleted", path, "Long Directory", "--json"}).out, "[]\n");
    expectConsistent(image);
}

// Catches a restore over clusters another file now uses or onto a live name, bad indexes
// and first characters, and a listing of a missing directory that looks empty.
TEST_F(CliWriteCommand, UndeleteRefusalsLeaveTheImageAlone) {
    makeDirectoryInVolume(image, "/SUB");
    copyIntoVolume(image, dir, "/OLD.BIN", std::string(1500, 'o'));
    copyIntoVolume(image, dir, "/SUB/A.TXT", "a");
    copyIntoVolume(image, dir, "/SUB/B.TXT", "b");
    mustRun({"rm", path, "OLD.BIN"});
    // Takes the deleted file's first cluster but not its root slot.
    mustRun({"put", path, writeHost(dir, "taker.bin", "t").string(), "--to", "SUB"});
    mustRun({"rm", path, "SUB/A.TXT"});
    mustRun({"rename", path, "SUB/B.TXT", "a.txt"});
    const std::string missing = "ディレクトリが見つかりません: /";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"undelete", path, "2", "O"},
         "クラスタチェーンに使用中のクラスタが1個含まれるため、復元できません\n"},
        {{"undelete", path, "3", "a", "--in", "SUB"},
         "復元に失敗しました: " + clashText + "A.TXT\n"},
        // SUB is a live entry, not a deleted one.
        {{"undelete", path, "1", "O"}, "削除済みエントリの番号ではありません: 1\n"},
        {{"undelete", path, "0", "O"}, "削除済みエントリの番号ではありません: 0\n"},
        {{"undelete", path, "2", ""}, "先頭文字を入力してください\n"},
        {{"undelete", path, "2", "あ"},
         "先頭文字はASCII表示可能文字（0x20〜0x7E）を入力してください\n"},
        {{"undelete", path, "2", "O", "--in", "NOPE"}, missing + "NOPE\n"},
        {{"deleted", path, "NOPE"}, missing + "NOPE\n"},
        {{"deleted", path, "SUB/TAKER.BIN"}, missing + "SUB/TAKER.BIN\n"},
    };
    for (const auto& [arguments, err] : cases) {
        expectFails(arguments, 1, err);
    }
    EXPECT_EQ(runCli({"undelete", path, "one", "O"}).status, 2);
    EXPECT_EQ(mtype(image, "/SUB/A.TXT"), "b");
}

// Catches a change written to a write-protected D88 or to an image another process holds
// open (which opens read-only), and reading refused along with writing.
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
        expectFails({"mkdir", p, "NEW"}, 1, protectedText);
        expectFails({"rename", p, "F.TXT", "g.txt"}, 1, protectedText);
        expectFails({"undelete", p, "3", "F", "--in", "SUB"}, 1,
                    "ディスクイメージは読み取り専用です\n");
        EXPECT_EQ(mustRun({"deleted", p, "SUB"}).out.substr(0, 9), "3\t?.TXT\t8");
    }
    ::close(fd);
}

} // namespace
} // namespace tamberlane::test
