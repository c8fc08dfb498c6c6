#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

namespace tamberlane::test {
namespace {

const std::string clashText = "文字エンコーディングエラー: 同名のファイルが既に存在します: ";
const std::string directoryClashText =
    "文字エンコーディングエラー: 同名のディレクトリが既に存在します: ";
const std::string writeProtectedText = "ディスクイメージはライトプロテクトされています\n";

std::string hostText(std::size_t size, char seed) {
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('A' + (static_cast<std::size_t>(seed) + i * 7) % 26);
    }
    return text;
}

std::filesystem::path writeHost(const TempDir& dir, const std::string& name,
                                const std::string& contents) {
    const auto path = dir / name;
    writeFile(path, Bytes(contents.begin(), contents.end()));
    return path;
}

// Every path of the volume as mdir lists it ("::/SUB/" for directories).
std::set<std::string> mdirPaths(const std::filesystem::path& image) {
    const CommandResult r = runMtools("mdir -/ -b -i " + shellQuote(image.string()) + " ::");
    std::set<std::string> paths;
    std::size_t start = 0;
    while (start < r.output.size()) {
        const std::size_t end = r.output.find('\n', start);
        const std::string line = r.output.substr(start, end - start);
        if (!line.empty()) {
            paths.insert(line);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return paths;
}

std::string mtype(const std::filesystem::path& image, const std::string& diskPath) {
    const CommandResult r =
        runMtools("mtype -i " + shellQuote(image.string()) + " " + shellQuote("::" + diskPath));
    EXPECT_EQ(r.exitStatus, 0) << diskPath << ": " << r.errors;
    return r.output;
}

// The "bytes free" line of mdir.
std::string freeBytes(const std::filesystem::path& image) {
    const CommandResult r = runMtools("mdir -i " + shellQuote(image.string()) + " ::");
    const std::size_t at = r.output.find("bytes free");
    const std::size_t start = r.output.rfind('\n', at);
    return at == std::string::npos ? r.output : r.output.substr(start + 1, at - start - 1);
}

void expectConsistent(const std::filesystem::path& image) {
    const CommandResult r = runCommand("fsck.fat -n " + shellQuote(image.string()));
    EXPECT_EQ(r.exitStatus, 0) << r.output << r.errors;
}

CliRun mustRun(const std::vector<std::string>& arguments) {
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 0) << arguments.front() << ": " << run.err;
    return run;
}

class CliWriteCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!mtoolsAvailable() || !toolAvailable("fsck.fat")) {
            GTEST_SKIP() << "mtools or dosfstools missing";
        }
        image = makeVolume(dir, "v.img", 1440, 12);
    }

    // A failed command must leave the image file exactly as it was.
    void expectFailsUntouched(const std::vector<std::string>& arguments, int status,
                              const std::string& err) {
        const Bytes before = readFile(image);
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, status) << arguments.front();
        EXPECT_EQ(run.err, err) << arguments.front();
        EXPECT_TRUE(readFile(image) == before) << arguments.front() << " changed the image";
    }

    TempDir dir;
    std::filesystem::path image;
};

// --- put -------------------------------------------------------------------------------

// Catches a batch that loses, truncates or misplaces files of awkward sizes (empty, an
// exact cluster, several clusters) in the root and in a nested directory, on FAT12 and FAT16.
TEST_F(CliWriteCommand, PutBatchIsReadBackByMtoolsAndPassesFsck) {
    const std::vector<std::pair<int, int>> volumes = {{1440, 12}, {10404, 16}};
    for (const auto& [kilobytes, fatBits] : volumes) {
        const auto volume =
            makeVolume(dir, "put" + std::to_string(fatBits) + ".img", kilobytes, fatBits);
        const std::vector<std::pair<std::string, std::string>> files = {
            {"empty.txt", ""},
            {"one.bin", hostText(512, 'a')},
            {"multi.dat", hostText(5000, 'b')},
            {"noext", hostText(33, 'c')},
        };
        std::vector<std::string> arguments = {"put", volume.string()};
        for (const auto& [name, contents] : files) {
            arguments.push_back(writeHost(dir, name, contents).string());
        }
        mustRun(arguments);
        mustRun({"mkdir", volume.string(), "SUB"});
        mustRun({"mkdir", volume.string(), "/SUB/DEEP"});
        arguments[1] = volume.string();
        arguments.insert(arguments.end(), {"--to", "SUB/DEEP"});
        mustRun(arguments);

        std::set<std::string> expected = {"::/SUB/", "::/SUB/DEEP/"};
        for (const auto& [name, contents] : files) {
            std::string upper = name;
            for (char& c : upper) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            expected.insert("::/" + upper);
            expected.insert("::/SUB/DEEP/" + upper);
            EXPECT_EQ(mtype(volume, "/" + upper), contents) << name << " FAT" << fatBits;
            EXPECT_EQ(mtype(volume, "/SUB/DEEP/" + upper), contents) << name << " FAT" << fatBits;
        }
        EXPECT_EQ(mdirPaths(volume), expected) << "FAT" << fatBits;
        expectConsistent(volume);
    }
}

// Catches an import that replaces an existing file (or a directory and its tree) without
// being asked, or that writes the image although it fails.
TEST_F(CliWriteCommand, NameClashesFailWithTheEngineMessageAndLeaveTheImageAlone) {
    copyIntoVolume(image, dir, "/A.TXT", "old contents");
    copyIntoVolume(image, dir, "/README", "old readme");
    makeDirectoryInVolume(image, "/SUB");
    copyIntoVolume(image, dir, "/SUB/KEEP.TXT", "inside");
    const auto sub = writeHost(dir, "sub", "a file named like the directory");
    TempDir other;
    const auto a = writeHost(other, "a.txt", "new contents");
    const auto readme = writeHost(other, "README", "new readme");

    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"put", image.string(), a.string()}, clashText + "a.txt\n"},
        // No extension: the full stop stays in the message.
        {{"put", image.string(), readme.string()}, clashText + "README.\n"},
        // A directory is never replaced by a file, not even when asked.
        {{"put", image.string(), sub.string()}, directoryClashText + "sub\n"},
        {{"put", image.string(), sub.string(), "--overwrite"}, directoryClashText + "sub\n"},
    };
    for (const Case& c : cases) {
        expectFailsUntouched(c.arguments, 1, c.err);
    }
    EXPECT_EQ(mtype(image, "/A.TXT"), "old contents");
    EXPECT_EQ(mtype(image, "/SUB/KEEP.TXT"), "inside");

    mustRun({"put", image.string(), a.string(), readme.string(), "--overwrite"});
    EXPECT_EQ(mtype(image, "/A.TXT"), "new contents");
    EXPECT_EQ(mtype(image, "/README"), "new readme");
    EXPECT_EQ(mdirPaths(image),
              (std::set<std::string>{"::/A.TXT", "::/README", "::/SUB/", "::/SUB/KEEP.TXT"}));
    expectConsistent(image);
}

// Catches a batch that drops the good files because one clashes, or reports success.
TEST_F(CliWriteCommand, PutBatchWithOneClashImportsTheOthersAndFails) {
    copyIntoVolume(image, dir, "/A.TXT", "old contents");
    TempDir hosts;
    const auto a = writeHost(hosts, "a.txt", "new contents");
    const auto b = writeHost(hosts, "b.txt", hostText(1500, 'x'));
    const CliRun run = runCli({"put", image.string(), a.string(), b.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, clashText + "a.txt\n");
    EXPECT_EQ(mtype(image, "/A.TXT"), "old contents");
    EXPECT_EQ(mtype(image, "/B.TXT"), hostText(1500, 'x'));
    expectConsistent(image);
}

// Catches failures reported once per file, a missing destination that still saves, and
// files that do not fit being written in part.
TEST_F(CliWriteCommand, PutFailuresNameTheFileAndLeaveTheImageAlone) {
    TempDir hosts;
    const auto small = writeHost(hosts, "small.txt", "x");
    const auto huge = writeHost(hosts, "huge.bin", std::string(1500 * 1024, 'h'));
    std::filesystem::create_directory(hosts / "folder");
    const std::string missing = (hosts / "nope.txt").string();

    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"put", image.string(), small.string(), "--to", "NOPE"},
         "ヘッダの解析に失敗しました: ディレクトリ 'NOPE' が見つかりません\n"},
        {{"put", image.string(), huge.string()},
         "huge.bin: ディスク容量が不足しています。必要: 1536000 バイト、空き: 1457664 バイト\n"},
        {{"put", image.string(), (hosts / "folder").string()},
         "I/Oエラーが発生しました: 通常のファイルではありません: folder\n"},
        {{"put", image.string(), missing},
         "nope.txt: I/Oエラーが発生しました: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        expectFailsUntouched(c.arguments, 1, c.err);
    }
    expectFailsUntouched({"put", image.string()}, 2,
                         runCli({"put", image.string()}).err); // usage: no host file
    EXPECT_TRUE(mdirPaths(image).empty());
}

// --- rm, mkdir, rename -----------------------------------------------------------------

// Catches a delete that leaves lost clusters or orphans a tree, and a directory deleted
// without -r.
TEST_F(CliWriteCommand, RmDeletesFilesAndTreesAndRefusesDirectoriesWithoutR) {
    copyIntoVolume(image, dir, "/A.TXT", hostText(3000, 'a'));
    copyIntoVolume(image, dir, "/B.TXT", "b");
    makeDirectoryInVolume(image, "/TREE");
    makeDirectoryInVolume(image, "/TREE/INNER");
    copyIntoVolume(image, dir, "/TREE/ONE.TXT", hostText(700, 'o'));
    copyIntoVolume(image, dir, "/TREE/INNER/TWO.TXT", hostText(2000, 't'));

    expectFailsUntouched({"rm", image.string(), "TREE"}, 1,
                         "ディレクトリです (-r で中身ごと削除します): TREE\n");
    expectFailsUntouched({"rm", image.string(), "/NOPE"}, 1, "ファイルが見つかりません: /NOPE\n");
    expectFailsUntouched({"rm", image.string(), "/"}, 1, "ルートディレクトリは削除できません\n");

    mustRun({"rm", image.string(), "a.txt"});
    EXPECT_EQ(mdirPaths(image),
              (std::set<std::string>{"::/B.TXT", "::/TREE/", "::/TREE/INNER/",
                                     "::/TREE/INNER/TWO.TXT", "::/TREE/ONE.TXT"}));
    expectConsistent(image);

    mustRun({"rm", image.string(), "-r", "tree", "/B.TXT"});
    EXPECT_TRUE(mdirPaths(image).empty());
    expectConsistent(image);
    // Every cluster of the tree came back.
    EXPECT_EQ(freeBytes(image), freeBytes(makeVolume(dir, "fresh.img", 1440, 12)));
}

// Catches nested directories that fsck finds broken ("." and ".." wrong) and clashes that
// create a second entry.
TEST_F(CliWriteCommand, MkdirBuildsNestedDirectoriesMtoolsCanUse) {
    mustRun({"mkdir", image.string(), "A"});
    mustRun({"mkdir", image.string(), "A/B"});
    mustRun({"mkdir", image.string(), "/a/b/C"});
    const auto file = writeHost(dir, "f.txt", hostText(1024, 'f'));
    mustRun({"put", image.string(), file.string(), "--to", "A/B/C"});
    EXPECT_EQ(mdirPaths(image),
              (std::set<std::string>{"::/A/", "::/A/B/", "::/A/B/C/", "::/A/B/C/F.TXT"}));
    EXPECT_EQ(mtype(image, "/A/B/C/F.TXT"), hostText(1024, 'f'));
    expectConsistent(image);

    expectFailsUntouched({"mkdir", image.string(), "a"}, 1, directoryClashText + "a\n");
    expectFailsUntouched({"mkdir", image.string(), "X/Y"}, 1,
                         "ヘッダの解析に失敗しました: ディレクトリ 'X' が見つかりません\n");
    expectFailsUntouched({"mkdir", image.string(), "/"}, 2,
                         "作成するディレクトリの名前がありません\n");
}

// Catches a new name split at the wrong full stop, a rename onto an existing name, and a
// rename that touches the data.
TEST_F(CliWriteCommand, RenameSplitsAtTheLastFullStopAndRefusesTakenNames) {
    copyIntoVolume(image, dir, "/A.TXT", "alpha");
    copyIntoVolume(image, dir, "/B.TXT", "beta");
    struct Case {
        std::string from;
        std::string to;
        std::string listed;
    };
    const std::vector<Case> cases = {
        {"/A.TXT", "c.dat", "::/C.DAT"},
        {"/C.DAT", "archive.tar.gz", "::/ARCHIVE_.GZ"},
        {"/ARCHIVE_.GZ", "plain", "::/PLAIN"},
        {"/PLAIN", ".profile", "::/_PROFILE"},
    };
    for (const Case& c : cases) {
        mustRun({"rename", image.string(), c.from, c.to});
        EXPECT_EQ(mdirPaths(image), (std::set<std::string>{c.listed, "::/B.TXT"})) << c.to;
        EXPECT_EQ(mtype(image, c.listed.substr(2)), "alpha") << c.to;
    }
    expectConsistent(image);
    expectFailsUntouched({"rename", image.string(), "_PROFILE", "b.txt"}, 1, clashText + "b.txt\n");
    expectFailsUntouched({"rename", image.string(), "/NOPE", "x"}, 1,
                         "ファイルが見つかりません: /NOPE\n");
    expectFailsUntouched({"rename", image.string(), "/", "x"}, 2,
                         "ルートディレクトリの名前は変更できません\n");
}

// --- deleted and undelete ----------------------------------------------------------------

// Catches a listing with missing or renamed keys, wrong recoverability, and a restore
// that brings back other bytes or leaves the chain unmarked.
TEST_F(CliWriteCommand, DeletedListsAndUndeleteRestoresTheBytes) {
    const std::string data = hostText(1500, 'd');
    makeDirectoryInVolume(image, "/SUB");
    copyIntoVolume(image, dir, "/SUB/DATA.BIN", data);
    copyIntoVolume(image, dir, "/SUB/KEEP.TXT", "keep");
    mustRun({"rm", image.string(), "SUB/DATA.BIN"});
    EXPECT_EQ(mdirPaths(image), (std::set<std::string>{"::/SUB/", "::/SUB/KEEP.TXT"}));

    const CliRun json = mustRun({"deleted", image.string(), "sub", "--json"});
    const nlohmann::json listed = nlohmann::json::parse(json.out);
    ASSERT_EQ(listed.size(), 1u) << json.out;
    std::vector<std::string> keys;
    for (const auto& [key, value] : listed[0].items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(
        std::set<std::string>(keys.begin(), keys.end()),
        (std::set<std::string>{"index", "displayName", "size", "modified", "recoverability",
                               "requiredClusters", "freeClusters", "startCluster", "directory"}));
    // The slot's place in the directory, after "." and "..".
    EXPECT_EQ(listed[0]["index"], 3);
    EXPECT_EQ(listed[0]["displayName"], "?ATA.BIN");
    EXPECT_EQ(listed[0]["size"], 1500);
    EXPECT_EQ(listed[0]["recoverability"], 100);
    EXPECT_EQ(listed[0]["requiredClusters"], 3);
    EXPECT_EQ(listed[0]["freeClusters"], 3);
    EXPECT_GE(listed[0]["startCluster"], 2);
    EXPECT_EQ(listed[0]["directory"], false);

    const CliRun text = mustRun({"deleted", image.string(), "/SUB"});
    EXPECT_EQ(text.out.substr(0, text.out.find('\t', text.out.find("1500"))), "3\t?ATA.BIN\t1500");
    EXPECT_TRUE(text.out.ends_with("\t100%\n")) << text.out;

    const CliRun restored = mustRun({"undelete", image.string(), "3", "d", "--in", "SUB"});
    EXPECT_EQ(restored.out, "ファイルを復元しました\n");
    EXPECT_EQ(mtype(image, "/SUB/DATA.BIN"), data);
    expectConsistent(image);
    EXPECT_EQ(mustRun({"deleted", image.string(), "SUB", "--json"}).out, "[]\n");
}

// Catches directories reached by their long names being unlisted or unrestorable, and a
// restored directory whose cluster stays free.
TEST_F(CliWriteCommand, LongNamedDirectoriesListAndRestoreTheirDeletedEntries) {
    makeDirectoryInVolume(image, "/Long Directory");
    makeDirectoryInVolume(image, "/Long Directory/INNER");
    copyIntoVolume(image, dir, "/Long Directory/H.TXT", "hello");
    mustRun({"rm", image.string(), "-r", "long directory/H.TXT", "Long Directory/INNER"});
    const nlohmann::json listed =
        nlohmann::json::parse(mustRun({"deleted", image.string(), "Long Directory", "--json"}).out);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["displayName"], "?NNER");
    EXPECT_EQ(listed[0]["directory"], true);
    EXPECT_EQ(listed[1]["displayName"], "?.TXT");
    EXPECT_EQ(listed[0]["index"], 3);
    EXPECT_EQ(listed[1]["index"], 4);
    // The numbers stay valid after a restore: the second one still names H.TXT.
    mustRun({"undelete", image.string(), "3", "i", "--in", "Long Directory"});
    mustRun({"undelete", image.string(), "4", "H", "--in", "/long directory/"});
    EXPECT_EQ(mtype(image, "/Long Directory/H.TXT"), "hello");
    expectConsistent(image);
    // The restored directory's cluster is taken: a new file must not land on it.
    mustRun({"put", image.string(), writeHost(dir, "n.txt", "new").string(), "--to",
             "Long Directory/INNER"});
    EXPECT_EQ(mtype(image, "/Long Directory/INNER/N.TXT"), "new");
    EXPECT_EQ(mtype(image, "/Long Directory/H.TXT"), "hello");
    expectConsistent(image);
}

// Catches a restore over clusters another file now uses, bad indexes and first characters
// that would write an invalid name, and a listing of a missing directory that looks empty.
TEST_F(CliWriteCommand, UndeleteRefusalsLeaveTheImageAlone) {
    makeDirectoryInVolume(image, "/SUB");
    copyIntoVolume(image, dir, "/OLD.BIN", hostText(1500, 'o'));
    mustRun({"rm", image.string(), "OLD.BIN"});
    // Takes the deleted file's first cluster but not its root slot.
    const auto taker = writeHost(dir, "taker.bin", "t");
    mustRun({"put", image.string(), taker.string(), "--to", "SUB"});

    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"undelete", image.string(), "2", "O"},
         "クラスタチェーンに使用中のクラスタが1個含まれるため、復元できません\n"},
        // SUB is a live entry, not a deleted one.
        {{"undelete", image.string(), "1", "O"}, "削除済みエントリの番号ではありません: 1\n"},
        {{"undelete", image.string(), "0", "O"}, "削除済みエントリの番号ではありません: 0\n"},
        {{"undelete", image.string(), "2", ""}, "先頭文字を入力してください\n"},
        {{"undelete", image.string(), "2", "あ"},
         "先頭文字はASCII表示可能文字（0x20〜0x7E）を入力してください\n"},
        {{"undelete", image.string(), "2", "O", "--in", "NOPE"},
         "ディレクトリが見つかりません: /NOPE\n"},
        {{"deleted", image.string(), "NOPE"}, "ディレクトリが見つかりません: /NOPE\n"},
        {{"deleted", image.string(), "SUB/TAKER.BIN"},
         "ディレクトリが見つかりません: /SUB/TAKER.BIN\n"},
    };
    for (const Case& c : cases) {
        expectFailsUntouched(c.arguments, 1, c.err);
    }
    expectFailsUntouched({"undelete", image.string(), "one", "O"}, 2,
                         runCli({"undelete", image.string(), "one", "O"}).err);
}

// Catches a restore that creates a second entry of a name already in use.
TEST_F(CliWriteCommand, UndeleteOntoALiveNameFails) {
    copyIntoVolume(image, dir, "/A.TXT", "first");
    copyIntoVolume(image, dir, "/B.TXT", "second");
    mustRun({"rm", image.string(), "A.TXT"});
    mustRun({"rename", image.string(), "B.TXT", "a.txt"});
    const Bytes before = readFile(image);
    const CliRun run = runCli({"undelete", image.string(), "1", "a"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "復元に失敗しました: " + clashText + "A.TXT\n");
    EXPECT_TRUE(readFile(image) == before);
    EXPECT_EQ(mtype(image, "/A.TXT"), "second");
}

// --- protection ---------------------------------------------------------------------------

// Catches any change written to an image that must not be written: a write-protected D88
// and an image another process holds open (opened read-only).
TEST_F(CliWriteCommand, ProtectedImagesAreRefusedAndLeftUntouched) {
    const auto d88 = dir / "disk.d88";
    mustRun({"new", d88.string(), "--size", "1.44m"});
    const auto file = writeHost(dir, "f.txt", "contents");
    mustRun({"put", d88.string(), file.string()});
    mustRun({"mkdir", d88.string(), "SUB"});
    mustRun({"put", d88.string(), file.string(), "--to", "SUB"});
    mustRun({"rm", d88.string(), "SUB/F.TXT"});
    Bytes bytes = readFile(d88);
    bytes[0x1A] = 0x10; // the write-protect flag of the header
    writeFile(d88, bytes);
    std::filesystem::copy_file(d88, dir / "held.d88");
    bytes[0x1A] = 0x00;
    writeFile(dir / "held.d88", bytes);

    const auto held = dir / "held.d88";
    const int fd = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);

    for (const auto& protectedImage : {d88, held}) {
        image = protectedImage;
        const std::string path = protectedImage.string();
        expectFailsUntouched({"put", path, file.string(), "--overwrite"}, 1, writeProtectedText);
        expectFailsUntouched({"rm", path, "F.TXT"}, 1, writeProtectedText);
        expectFailsUntouched({"rm", path, "-r", "SUB"}, 1, writeProtectedText);
        expectFailsUntouched({"mkdir", path, "NEW"}, 1, writeProtectedText);
        expectFailsUntouched({"rename", path, "F.TXT", "g.txt"}, 1, writeProtectedText);
        expectFailsUntouched({"undelete", path, "3", "F", "--in", "SUB"}, 1,
                             "ディスクイメージは読み取り専用です\n");
        // Reading still works.
        EXPECT_EQ(mustRun({"deleted", path, "SUB"}).out.substr(0, 9), "3\t?.TXT\t8");
    }
    ::close(fd);
}

} // namespace
} // namespace tamberlane::test
