// Volumes written by mkfs.fat and mtools must read through the command line exactly as
// mtools itself reads them.
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <sstream>

namespace tamberlane::test {
namespace {

// "::/A/B/" lines of `mdir -b -/`, without the drive prefix.
std::vector<std::string> mtoolsTree(const std::filesystem::path& image, bool shiftJIS = false) {
    const CommandResult result =
        runMtools("mdir -b -/ -i " + shellQuote(image.string()) + " ::", shiftJIS);
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    std::vector<std::string> lines;
    std::istringstream in(result.output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("::", 0) == 0) {
            lines.push_back(line.substr(2));
        }
    }
    return lines;
}

std::string mtoolsRead(const std::filesystem::path& image, const std::string& path,
                       bool shiftJIS = false) {
    const CommandResult result = runMtools(
        "mtype -i " + shellQuote(image.string()) + " " + shellQuote("::" + path), shiftJIS);
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    return result.output;
}

nlohmann::json listJson(const std::vector<std::string>& arguments) {
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    return nlohmann::json::parse(run.out);
}

// Our recursive listing in the shape of `mdir -b -/`.
std::vector<std::string> ourTree(const nlohmann::json& listing) {
    std::vector<std::string> lines;
    for (const auto& entry : listing) {
        lines.push_back(entry["path"].get<std::string>() +
                        (entry["directory"].get<bool>() ? "/" : ""));
    }
    return lines;
}

std::string patterned(std::size_t size, unsigned seed) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    }
    return text;
}

struct VolumeCase {
    const char* label;
    int kilobytes;
    int fatBits;
};

class MtoolsVolumeTest : public testing::TestWithParam<VolumeCase> {
  protected:
    void SetUp() override {
        if (!mtoolsAvailable()) {
            GTEST_SKIP() << "mtools or mkfs.fat missing";
        }
    }
};

// The FAT16 case is larger than any headerless size, so it opens with manual parameters.
INSTANTIATE_TEST_SUITE_P(Volumes, MtoolsVolumeTest,
                         testing::Values(VolumeCase{"fat12_1440k", 1440, 12},
                                         VolumeCase{"fat16_16m", 16384, 16}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_P(MtoolsVolumeTest, NestedDirectoriesAndLongNamesListAndReadAsMtoolsSeesThem) {
    TempDir dir;
    const VolumeCase& volume = GetParam();
    const auto image = makeVolume(dir, "volume.img", volume.kilobytes, volume.fatBits);
    std::map<std::string, std::string> files = {
        {"/EMPTY.TXT", ""},
        {"/ONE.BIN", patterned(1, 1)},
        {"/CLUSTER.BIN", patterned(512, 2)},
        {"/A much longer file name.data", patterned(70000, 3)},
        {"/Docs/Read me first.txt", "line one\r\nline two\r\n"},
        {"/Docs/Deeper/Still Deeper/LEAF.TXT", patterned(3000, 4)},
        {"/Docs/Deeper/UPPER.TXT", "upper"},
        {"/Mixed Case.txt", "mixed case long name"},
        // A lower-case name that fits 8.3 is kept by mtools as case flags in byte 12, which
        // this reader does not interpret, so such names are left out here.
    };
    makeDirectoryInVolume(image, "/Docs");
    makeDirectoryInVolume(image, "/Docs/Deeper");
    makeDirectoryInVolume(image, "/Docs/Deeper/Still Deeper");
    makeDirectoryInVolume(image, "/EMPTYDIR");
    for (const auto& [path, contents] : files) {
        copyIntoVolume(image, dir, path, contents);
    }
    std::vector<std::string> global;
    if (volume.fatBits == 16) {
        global = {"--manual", "fat=16"};
    }
    const auto withGlobal = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), global.begin(), global.end());
        return arguments;
    };

    const nlohmann::json listing = listJson(withGlobal({"ls", "-R", "--json", image.string()}));
    EXPECT_EQ(ourTree(listing), mtoolsTree(image));

    for (const auto& entry : listing) {
        const std::string path = entry["path"];
        if (entry["directory"].get<bool>()) {
            continue;
        }
        const CliRun cat = runCli(withGlobal({"cat", image.string(), path}));
        ASSERT_EQ(cat.status, 0) << path << ": " << cat.err;
        EXPECT_EQ(cat.out, mtoolsRead(image, path)) << path;
        EXPECT_EQ(cat.out, files.at(path)) << path;
        EXPECT_EQ(entry["size"].get<std::size_t>(), files.at(path).size()) << path;
        EXPECT_EQ(entry["modified"], "2000-01-01T00:00:00+09:00") << path;
        EXPECT_EQ(entry["attributes"], 0x20) << path;
    }
    // Long names keep their short alias; short names written in upper case have no long name.
    for (const auto& entry : listing) {
        if (entry["path"] == "/A much longer file name.data") {
            EXPECT_EQ(entry["shortName"], "AMUCHL~1.DAT");
            EXPECT_EQ(entry["longName"], "A much longer file name.data");
        }
        if (entry["path"] == "/ONE.BIN") {
            EXPECT_TRUE(entry["longName"].is_null());
            EXPECT_EQ(entry["shortName"], "ONE.BIN");
        }
    }
}

TEST_P(MtoolsVolumeTest, InfoCountsFreeSpaceAsMtoolsDoes) {
    TempDir dir;
    const VolumeCase& volume = GetParam();
    const auto image = makeVolume(dir, "volume.img", volume.kilobytes, volume.fatBits);
    copyIntoVolume(image, dir, "/BIG.BIN", patterned(100000, 9));
    makeDirectoryInVolume(image, "/SUB");
    std::vector<std::string> arguments = {"info", "--json", image.string()};
    if (volume.fatBits == 16) {
        arguments.insert(arguments.begin(), {"--manual", "fat=16"});
    }
    const CliRun run = runCli(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto info = nlohmann::json::parse(run.out);

    // mdir's last line: "<n> bytes free", digits grouped with blanks.
    const CommandResult mdir = runMtools("mdir -i " + shellQuote(image.string()) + " ::");
    const auto at = mdir.output.rfind("bytes free");
    ASSERT_NE(at, std::string::npos) << mdir.output;
    std::string digits;
    for (std::size_t i = mdir.output.rfind('\n', at) + 1; i < at; ++i) {
        if (std::isdigit(static_cast<unsigned char>(mdir.output[i]))) {
            digits += mdir.output[i];
        }
    }
    EXPECT_EQ(info["freeBytes"].get<std::int64_t>(), std::stoll(digits));
    EXPECT_EQ(info["fileSystem"], volume.fatBits == 16 ? "FAT16" : "FAT12");
    EXPECT_EQ(info["format"], "IMG");
    EXPECT_EQ(info["formatLabel"], "IMG (Raw Image)");
    EXPECT_EQ(info["usedClusters"].get<std::int64_t>() + info["freeClusters"].get<std::int64_t>(),
              info["dataClusters"].get<std::int64_t>());
    EXPECT_EQ(info["totalBytes"].get<std::int64_t>(),
              info["dataClusters"].get<std::int64_t>() *
                  info["bytesPerCluster"].get<std::int64_t>());
    EXPECT_EQ(info["bpb"]["bytesPerSector"], 512);
    EXPECT_FALSE(info["writeProtected"].get<bool>());
    EXPECT_FALSE(info["readOnly"].get<bool>());
}

TEST(ShiftJISShortNames, ReadAlikeByUsAndByMtoolsWithCodePage932) {
    if (!mtoolsAvailable()) {
        GTEST_SKIP() << "mtools or mkfs.fat missing";
    }
    TempDir dir;
    const auto image = makeVolume(dir, "sjis.img", 1440, 12);
    // mcopy shortens multi-byte names it writes, so the names are patched in as raw bytes.
    makeDirectoryInVolume(image, "/DIRNAME");
    copyIntoVolume(image, dir, "/PLACEHLD.TXT", "kanji name\r\n");
    copyIntoVolume(image, dir, "/DIRNAME/KANANAME.DAT", "half-width kana\r\n");
    patchFile(image, "PLACEHLDTXT", "\x83\x65\x83\x58\x83\x67  TXT"); // テスト.TXT
    patchFile(image, "DIRNAME    ", "\x93\xfa\x96\x7b\x8c\xea     "); // 日本語
    patchFile(image, "KANANAMEDAT", "\xb1\xb2\xb3     DAT");          // ｱｲｳ.DAT

    const nlohmann::json listing = listJson({"ls", "-R", "--json", image.string()});
    const std::vector<std::string> expected = {"/日本語/", "/テスト.TXT", "/日本語/ｱｲｳ.DAT"};
    EXPECT_EQ(ourTree(listing), expected);
    EXPECT_EQ(ourTree(listing), mtoolsTree(image, true));
    EXPECT_EQ(listing[1]["shortName"], "テスト.TXT");

    EXPECT_EQ(runCli({"cat", image.string(), "/テスト.txt"}).out,
              mtoolsRead(image, "/テスト.TXT", true));
    EXPECT_EQ(runCli({"cat", image.string(), "/日本語/ｱｲｳ.dat"}).out,
              mtoolsRead(image, "/日本語/ｱｲｳ.DAT", true));
    EXPECT_EQ(runCli({"cat", image.string(), "/日本語/ｱｲｳ.dat"}).out, "half-width kana\r\n");
}

// The two corpus volumes hold the same tree; they open only with manual parameters.
struct CorpusCase {
    const char* file;
    const char* manual;
    const char* fileSystem;
};

class CorpusVolumeTest : public testing::TestWithParam<CorpusCase> {};

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusVolumeTest,
                         testing::Values(CorpusCase{"lfn_fat12.img", "fat=12", "FAT12"},
                                         CorpusCase{"lfn_fat16.img", "fat=16", "FAT16"}),
                         [](const auto& info) { return std::string(info.param.fileSystem); });

TEST_P(CorpusVolumeTest, OpensWithManualParametersAndListsTheDescribedTree) {
    const auto corpus = corpusDirectory();
    if (corpus.empty()) {
        GTEST_SKIP() << "corpus absent";
    }
    const auto image = (corpus / GetParam().file).string();

    // Not one of the headerless sizes: the automatic open refuses it with the size message.
    const CliRun automatic = runCli({"info", image});
    EXPECT_EQ(automatic.status, 1);
    EXPECT_EQ(automatic.err.rfind("ファイルサイズが不正です。", 0), 0u) << automatic.err;

    const nlohmann::json listing =
        listJson({"--manual", GetParam().manual, "ls", "-R", "--json", image});
    const std::vector<std::string> tree = {"/long.txt",
                                           "/short.txt",
                                           "/very/",
                                           "/very-long-dir-name/",
                                           "/very/long/",
                                           "/very/long/path/",
                                           "/very/long/path/test.txt",
                                           "/very-long-dir-name/very-long-file-name.txt"};
    EXPECT_EQ(ourTree(listing), tree);
    std::map<std::string, std::pair<std::string, std::int64_t>> expected = {
        {"/long.txt", {"LONG.TXT", 14000}},
        {"/short.txt", {"SHORT.TXT", 14}},
        {"/very", {"VERY", 0}},
        {"/very-long-dir-name", {"VERY-L~1", 0}},
        {"/very/long/path/test.txt", {"TEST.TXT", 14}},
        {"/very-long-dir-name/very-long-file-name.txt", {"VERY-L~1.TXT", 14}},
    };
    for (const auto& entry : listing) {
        const auto it = expected.find(entry["path"]);
        if (it != expected.end()) {
            EXPECT_EQ(entry["shortName"], it->second.first) << it->first;
            EXPECT_EQ(entry["size"].get<std::int64_t>(), it->second.second) << it->first;
        }
    }
    const CliRun info = runCli({"--manual", GetParam().manual, "info", "--json", image});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(nlohmann::json::parse(info.out)["fileSystem"], GetParam().fileSystem);

    const CliRun test =
        runCli({"--manual", GetParam().manual, "cat", image, "/VERY/Long/PATH/Test.TXT"});
    EXPECT_EQ(test.status, 0) << test.err;
    EXPECT_EQ(test.out.size(), 14u);
    const CliRun longFile = runCli({"--manual", GetParam().manual, "cat", image, "/long.txt"});
    EXPECT_EQ(longFile.out.size(), 14000u);
    if (mtoolsAvailable()) {
        EXPECT_EQ(test.out, mtoolsRead(image, "/very/long/path/test.txt"));
        EXPECT_EQ(longFile.out, mtoolsRead(image, "/long.txt"));
        EXPECT_EQ(ourTree(listing), mtoolsTree(image));
    }
}

} // namespace
} // namespace tamberlane::test
