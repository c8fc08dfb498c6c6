#include "cli/CliSupport.h"
#include "engine/image/DiskImageError.h"
#include "engine/image/DiskImageService.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <map>
#include <set>
#include <sstream>

namespace tamberlane::test {
namespace {

// A blank 1.44 MB FAT12 volume built byte by byte, so that tests can write directory
// entries no tool would write: 512-byte sectors, 1 reserved, 2 FATs of 9, 224 root entries.
class RawVolume {
  public:
    static constexpr std::size_t rootOffset = 19 * 512;

    RawVolume() : bytes_(1474560, 0) {
        const std::uint8_t boot[] = {0xEB, 0x3C, 0x90, 'T', 'E', 'S', 'T', ' ', ' ', ' ', ' '};
        std::copy(std::begin(boot), std::end(boot), bytes_.begin());
        writeU16LE(bytes_, 11, 512);
        bytes_[13] = 1;
        writeU16LE(bytes_, 14, 1);
        bytes_[16] = 2;
        writeU16LE(bytes_, 17, 224);
        writeU16LE(bytes_, 19, 2880);
        bytes_[21] = 0xF0;
        writeU16LE(bytes_, 22, 9);
        bytes_[510] = 0x55;
        bytes_[511] = 0xAA;
        setLink(0, 0xFF0);
        setLink(1, 0xFFF);
    }

    static std::size_t clusterOffset(std::uint16_t cluster) {
        return static_cast<std::size_t>(33 + cluster - 2) * 512;
    }

    void setLink(std::uint16_t cluster, std::uint16_t value) {
        for (std::size_t fat = 0; fat < 2; ++fat) {
            const std::size_t at = 512 + fat * 9 * 512 + cluster * 3 / 2;
            if (cluster % 2 == 0) {
                bytes_[at] = static_cast<std::uint8_t>(value & 0xFF);
                bytes_[at + 1] = static_cast<std::uint8_t>((bytes_[at + 1] & 0xF0) | (value >> 8));
            } else {
                bytes_[at] = static_cast<std::uint8_t>((bytes_[at] & 0x0F) | ((value & 0x0F) << 4));
                bytes_[at + 1] = static_cast<std::uint8_t>(value >> 4);
            }
        }
    }

    // Appends slots to the directory at `offset` (the root or a cluster), in order.
    void addSlots(std::size_t offset, const std::vector<Bytes>& slots) {
        std::size_t& used = used_[offset];
        for (const Bytes& slot : slots) {
            std::copy(slot.begin(), slot.end(), bytes_.begin() + static_cast<long>(offset + used));
            used += 32;
        }
    }

    // An entry with a short name of exactly 11 bytes, preceded by long-name slots when
    // `longName` (ASCII) is given. Dated 2000-01-01 00:00.
    void addEntry(std::size_t offset, const std::string& name11, std::uint8_t attributes,
                  std::uint16_t cluster, std::uint32_t size, const std::string& longName = "") {
        Bytes slot(32, 0);
        std::copy(name11.begin(), name11.end(), slot.begin());
        slot[11] = attributes;
        writeU16LE(slot, 24, static_cast<std::uint16_t>((20 << 9) | (1 << 5) | 1));
        writeU16LE(slot, 26, cluster);
        writeU32LE(slot, 28, size);
        std::vector<Bytes> slots;
        if (!longName.empty()) {
            std::uint8_t sum = 0;
            for (char c : name11) {
                sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) +
                                                static_cast<std::uint8_t>(c));
            }
            const std::size_t count = (longName.size() + 12) / 13;
            static const int positions[] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
            for (std::size_t n = count; n >= 1; --n) {
                Bytes lfn(32, 0);
                lfn[0] = static_cast<std::uint8_t>(n | (n == count ? 0x40 : 0));
                lfn[11] = 0x0F;
                lfn[13] = sum;
                for (std::size_t k = 0; k < 13; ++k) {
                    const std::size_t i = (n - 1) * 13 + k;
                    std::uint16_t unit = 0xFFFF;
                    if (i < longName.size()) {
                        unit = static_cast<std::uint8_t>(longName[i]);
                    } else if (i == longName.size()) {
                        unit = 0;
                    }
                    writeU16LE(lfn, static_cast<std::size_t>(positions[k]), unit);
                }
                slots.push_back(lfn);
            }
        }
        slots.push_back(slot);
        addSlots(offset, slots);
    }

    // A one-cluster file at `cluster` holding `contents`.
    void addFile(std::size_t directory, const std::string& name11, std::uint16_t cluster,
                 const std::string& contents, const std::string& longName = "") {
        std::copy(contents.begin(), contents.end(),
                  bytes_.begin() + static_cast<long>(clusterOffset(cluster)));
        setLink(cluster, 0xFFF);
        addEntry(directory, name11, 0x20, cluster, static_cast<std::uint32_t>(contents.size()),
                 longName);
    }

    void addDirectory(std::size_t parent, const std::string& name11, std::uint16_t cluster,
                      const std::string& longName = "") {
        setLink(cluster, 0xFFF);
        addEntry(parent, name11, 0x10, cluster, 0, longName);
    }

    std::filesystem::path save(const TempDir& dir, const std::string& name = "raw.img") const {
        const auto path = dir / name;
        writeFile(path, bytes_);
        return path;
    }

  private:
    Bytes bytes_;
    std::map<std::size_t, std::size_t> used_;
};

std::string engineMessage(const std::filesystem::path& image) {
    try {
        DiskImageService service;
        service.open(image);
    } catch (const DiskImageError& e) {
        return e.errorDescription() + "\n";
    }
    return "(opened)";
}

TEST(ExitStatus, UsageMistakesExitTwoAndEngineFailuresExitOneWithTheEngineWords) {
    TempDir dir;
    RawVolume volume;
    volume.addFile(RawVolume::rootOffset, "HELLO   TXT", 2, "hello");
    const std::string image = volume.save(dir).string();
    const auto zeros = dir / "zeros.img";
    writeFile(zeros, Bytes(1474560, 0));
    const auto shortFile = dir / "short.img";
    writeFile(shortFile, Bytes(1000, 0));
    const auto unknown = dir / "disk.xyz";
    writeFile(unknown, Bytes(1474560, 0));

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
        {{"sector", image, "0", "0"}, 2, ""},
        {{"--disk", "0", "info", image}, 2, ""},
        {{"--manual", "fat=32", "info", image},
         2,
         "--manual の指定が正しくありません: fat: 12 または 16 を指定してください\n"},
        {{"--manual", "heads=257", "info", image},
         2,
         "--manual の指定が正しくありません: heads: 1〜256の範囲で入力してください\n"},
        {{"--manual", "offset= 512", "info", image},
         2,
         "--manual の指定が正しくありません: offset: 整数を入力してください\n"},
        {{"--manual", "colour=1", "info", image},
         2,
         "--manual の指定が正しくありません: 不明なキーです: colour\n"},
        {{"info", (dir / "missing.img").string()},
         1,
         "I/Oエラーが発生しました: No such file or directory\n"},
        {{"info", zeros.string()}, 1, engineMessage(zeros)},
        {{"info", shortFile.string()}, 1, engineMessage(shortFile)},
        {{"ls", unknown.string()}, 1, engineMessage(unknown)},
        {{"ls", image, "/NOPE"},
         1,
         "ヘッダの解析に失敗しました: ディレクトリが見つかりません: NOPE\n"},
        {{"ls", image, "/NOPE/DEEPER"},
         1,
         "ヘッダの解析に失敗しました: ディレクトリが見つかりません: NOPE\n"},
        {{"cat", image, "/nope.txt"}, 1, "ファイルが見つかりません: /nope.txt\n"},
        {{"cat", image, "/"}, 1, "ディレクトリは出力できません: /\n"},
        {{"--manual", "offset=2000000", "info", image},
         1,
         "ヘッダの解析に失敗しました: 指定されたデータオフセットでブートセクタを読み取れません\n"},
        {{"info", image}, 0, ""},
        {{"--help"}, 0, ""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.arguments) {
            line += a + " ";
        }
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.status, c.status) << line << "\n" << run.err;
        if (!c.err.empty()) {
            EXPECT_EQ(run.err, c.err) << line;
        }
        if (c.status != 0) {
            EXPECT_FALSE(run.err.empty()) << line;
        }
    }
    // The engine's words reach stderr byte for byte: check that the table compared them.
    EXPECT_NE(engineMessage(zeros), "(opened)");
}

TEST(Help, DescribesEveryCommandAndTheGlobalOptions) {
    const CliRun run = runCli({"--help"});
    ASSERT_EQ(run.status, 0);
    for (const char* text :
         {"info IMAGE [--json]", "ls IMAGE [PATH] [-l] [-R] [--json]", "cat IMAGE PATH",
          "get IMAGE PATH... [-o DIR]", "sector IMAGE LBA [COUNT]", "--manual", "--disk"}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    }
    for (const char* command : {"info", "ls", "cat", "get", "sector"}) {
        EXPECT_EQ(runCli({command, "--help"}).status, 0) << command;
    }
}

TEST(ManualParameters, EveryKeyIsReadAndOmittedKeysKeepTheDefaults) {
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

    for (const char* bad :
         {"", "fat", "fat=", "bps=500", "spc=3", "offset=-1", "offset=0x200", "heads=0",
          "cylinders=65536", "spt=256", "fat=12,", "fat=99999999999999999999"}) {
        EXPECT_THROW(cli::parseManualParameters(bad), cli::UsageError) << bad;
    }
}

TEST(ListFormats, SizesDatesAndAttributesAsTheFileListShowsThem) {
    using namespace std::chrono;
    EXPECT_EQ(cli::formatGroupedNumber(1200000), "1,200,000");
    EXPECT_EQ(cli::formatGroupedNumber(999), "999");
    EXPECT_EQ(cli::formatGroupedNumber(1000), "1,000");
    EXPECT_EQ(cli::formatGroupedNumber(0), "0");
    EXPECT_EQ(cli::formatGroupedNumber(4294967295), "4,294,967,295");
    // 1990-01-01 00:00 in Tokyo is 1989-12-31 15:00 UTC.
    const Timestamp newYear = sys_days(year(1989) / December / 31) + hours(15);
    EXPECT_EQ(cli::formatListDate(newYear), "1990/01/01 00:00");
    EXPECT_EQ(cli::formatIsoDate(newYear + seconds(62)), "1990-01-01T00:01:02+09:00");
    EXPECT_EQ(cli::formatAttributes(0x21), "R A");
    EXPECT_EQ(cli::formatAttributes(0x00), "");
    EXPECT_EQ(cli::formatAttributes(0x37), "R H S A");
    EXPECT_EQ(cli::formatLabel("D88"), "D88 (Neko Project 2)");
    EXPECT_EQ(cli::formatLabel("HDI"), "HDI (Anex86/T98-Next)");
    EXPECT_EQ(cli::formatLabel("XDF"), "XDF");
    EXPECT_EQ(cli::upperExtension("/a/b/disk.hdm"), "HDM");
}

TEST(ListCommand, LongFormatShowsGroupedSizeTokyoDateAndAttributes) {
    TempDir dir;
    RawVolume volume;
    volume.addFile(RawVolume::rootOffset, "HELLO   TXT", 2, "hello", "Hello World.txt");
    volume.addEntry(RawVolume::rootOffset, "BIG     DAT", 0x21, 0, 1200000);
    volume.addDirectory(RawVolume::rootOffset, "SUB        ", 3);
    volume.addFile(RawVolume::clusterOffset(3), "INNER   TXT", 4, "inner");
    const auto image = volume.save(dir).string();

    const CliRun run = runCli({"ls", "-l", image});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "            5  2000/01/01 00:00  A        Hello World.txt\n"
                       "    1,200,000  2000/01/01 00:00  R A      BIG.DAT\n"
                       "        <DIR>  2000/01/01 00:00           SUB\n");
    const CliRun recursive = runCli({"ls", "-R", image});
    EXPECT_EQ(recursive.out, "/:\nHello World.txt\nBIG.DAT\nSUB\n\n/SUB:\nINNER.TXT\n");
    // A path names the directory whatever the case; a file path lists the file alone.
    EXPECT_EQ(runCli({"ls", image, "/sub"}).out, "INNER.TXT\n");
    EXPECT_EQ(runCli({"ls", image, "hello world.TXT"}).out, "Hello World.txt\n");

    const auto listing = nlohmann::json::parse(runCli({"ls", "--json", "-R", image}).out);
    ASSERT_EQ(listing.size(), 4u);
    EXPECT_EQ(listing[0]["path"], "/Hello World.txt");
    EXPECT_EQ(listing[0]["shortName"], "HELLO.TXT");
    EXPECT_EQ(listing[0]["longName"], "Hello World.txt");
    EXPECT_EQ(listing[0]["modified"], "2000-01-01T00:00:00+09:00");
    EXPECT_EQ(listing[0]["startCluster"], 2);
    EXPECT_EQ(listing[1]["attributes"], 0x21);
    EXPECT_TRUE(listing[2]["directory"].get<bool>());
    EXPECT_TRUE(listing[1]["longName"].is_null());
    EXPECT_EQ(listing[3]["path"], "/SUB/INNER.TXT");
}

TEST(ListCommand, DirectoryLoopEndsWithTheCircularReferenceError) {
    TempDir dir;
    RawVolume volume;
    volume.addDirectory(RawVolume::rootOffset, "LOOP       ", 3);
    volume.addDirectory(RawVolume::clusterOffset(3), "AGAIN      ", 3);
    const auto image = volume.save(dir).string();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"ls", "-R", image},
          {"ls", "-R", "--json", image},
          {"get", image, "/", "-o", (dir / "out").string()}}) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_EQ(run.err, "クラスタチェーンに循環参照があります（クラスタ: 3）\n") << arguments[0];
    }
}

// Directories nested `levels` deep under the root, each in cluster 3, 4, ...
std::filesystem::path nestedVolume(const TempDir& dir, int levels) {
    RawVolume volume;
    std::size_t parent = RawVolume::rootOffset;
    for (int i = 0; i < levels; ++i) {
        const auto cluster = static_cast<std::uint16_t>(3 + i);
        volume.addDirectory(parent, "D          ", cluster);
        parent = RawVolume::clusterOffset(cluster);
    }
    volume.addFile(parent, "LEAF    TXT", 2, "leaf");
    return volume.save(dir, "nested" + std::to_string(levels) + ".img");
}

TEST(ListCommand, RecursionStopsPastSixtyFourLevels) {
    TempDir dir;
    const CliRun deepest = runCli({"ls", "-R", "--json", nestedVolume(dir, 64).string()});
    ASSERT_EQ(deepest.status, 0) << deepest.err;
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

// Every regular file and directory below `root`, relative to it.
std::set<std::string> treeOf(const std::filesystem::path& root) {
    std::set<std::string> names;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        names.insert(std::filesystem::relative(item.path(), root).string());
    }
    return names;
}

TEST(GetCommand, HostileNamesNeverLeaveTheChosenFolder) {
    TempDir dir;
    RawVolume volume;
    volume.addFile(RawVolume::rootOffset, "A       TXT", 2, "one", "../../escape.txt");
    volume.addFile(RawVolume::rootOffset, "C       TXT", 5, "three", "/etc/passwd");
    volume.addDirectory(RawVolume::rootOffset, "D          ", 3, "..");
    volume.addFile(RawVolume::clusterOffset(3), "E       TXT", 6, "four", "../../../deep.txt");
    volume.addFile(RawVolume::clusterOffset(3), "B       TXT", 4, "two", ".");
    volume.addFile(RawVolume::rootOffset, "F       TXT", 7, "five", "tab\there");
    const auto image = volume.save(dir).string();
    std::filesystem::create_directory(dir / "nest");
    const auto out = dir / "nest" / "out";

    const CliRun run = runCli({"get", image, "/", "-o", out.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(treeOf(dir.path()),
              (std::set<std::string>{"raw.img", "nest", "nest/out", "nest/out/.._.._escape.txt",
                                     "nest/out/_", "nest/out/_etc_passwd", "nest/out/tab_here",
                                     "nest/out/_/.._.._.._deep.txt", "nest/out/_/_"}))
        << run.err;
    const Bytes deep = readFile(out / "_" / ".._.._.._deep.txt");
    EXPECT_EQ(std::string(deep.begin(), deep.end()), "four");
}

TEST(GetCommand, ExistingSymbolicLinkIsNotFollowed) {
    TempDir dir;
    RawVolume volume;
    volume.addFile(RawVolume::rootOffset, "EVIL    TXT", 2, "payload");
    volume.addDirectory(RawVolume::rootOffset, "SUB        ", 3);
    volume.addFile(RawVolume::clusterOffset(3), "X       TXT", 4, "x");
    const auto image = volume.save(dir).string();
    const auto out = dir / "out";
    std::filesystem::create_directory(out);
    std::filesystem::create_directory(dir / "elsewhere");
    writeFile(dir / "victim", Bytes{'o', 'k'});
    std::filesystem::create_symlink(dir / "victim", out / "EVIL.TXT");
    std::filesystem::create_directory_symlink(dir / "elsewhere", out / "SUB");

    const CliRun run = runCli({"get", image, "/EVIL.TXT", "/SUB", "-o", out.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("I/Oエラーが発生しました: "), std::string::npos) << run.err;
    EXPECT_EQ(readFile(dir / "victim"), (Bytes{'o', 'k'}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "elsewhere"));
}

TEST(GetCommand, ExportsFilesAndWholeDirectoriesWithTheirBytes) {
    TempDir dir;
    RawVolume volume;
    volume.addFile(RawVolume::rootOffset, "ONE     TXT", 2, "one");
    volume.addEntry(RawVolume::rootOffset, "EMPTY   TXT", 0x20, 0, 0);
    volume.addDirectory(RawVolume::rootOffset, "SUB        ", 3, "Sub Folder");
    volume.addDirectory(RawVolume::clusterOffset(3), "INNER      ", 4);
    volume.addFile(RawVolume::clusterOffset(4), "TWO     BIN", 5, std::string("t\0o", 3));
    const auto image = volume.save(dir).string();

    const CliRun run = runCli(
        {"get", image, "/one.txt", "/EMPTY.TXT", "/sub folder", "-o", (dir / "out").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(dir / "out" / "ONE.TXT"), (Bytes{'o', 'n', 'e'}));
    EXPECT_TRUE(readFile(dir / "out" / "EMPTY.TXT").empty());
    EXPECT_EQ(readFile(dir / "out" / "Sub Folder" / "INNER" / "TWO.BIN"), (Bytes{'t', 0, 'o'}));

    // A missing path is reported; the others are still exported.
    const CliRun partial = runCli({"get", image, "/NOPE", "/ONE.TXT", "-o", (dir / "p").string()});
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(partial.err, "ファイルが見つかりません: /NOPE\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "p" / "ONE.TXT"));
}

TEST(SectorCommand, DumpsInTheHexViewerLineLayout) {
    TempDir dir;
    RawVolume volume;
    volume.addFile(RawVolume::rootOffset, "HELLO   TXT", 2, "Hello, sector!\x01\x7f");
    const auto image = volume.save(dir).string();
    const CliRun run = runCli({"sector", image, "33", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream in(run.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2u + 32u + 32u + 1u);
    EXPECT_EQ(lines[0], "セクタ 33");
    EXPECT_EQ(lines[1],
              "00000000  48 65 6C 6C 6F 2C 20 73 65 63 74 6F 72 21 01 7F  Hello, sector!..");
    EXPECT_EQ(lines[2],
              "00000010  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  ................");
    EXPECT_EQ(lines[32],
              "000001F0  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  ................");
    EXPECT_EQ(lines[33], "");
    EXPECT_EQ(lines[34], "セクタ 34");
    // Past the end of the image a sector reads as zeros.
    const CliRun beyond = runCli({"sector", image, "5000"});
    EXPECT_EQ(beyond.status, 0);
    EXPECT_NE(beyond.out.find("000001F0  00 00"), std::string::npos);
}

TEST(InfoCommand, TextShowsTheImageInformationLabels) {
    TempDir dir;
    RawVolume volume;
    volume.addFile(RawVolume::rootOffset, "HELLO   TXT", 2, "hello");
    const auto image = volume.save(dir, "disk.xdf").string();
    const CliRun run = runCli({"info", image});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* line :
         {"ファイル名: disk.xdf\n", "イメージ形式: XDF\n", "ファイルシステム: FAT12\n",
          "バイト/セクタ: 512 Byte\n", "使用中: 0 KB (1 クラスタ)\n",
          "空き容量: 1,423 KB (2846 クラスタ)\n", "全容量: 1,423 KB (2847 クラスタ)\n",
          "メディアID: 0xF0\n", "ライトプロテクト: 無効\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    }
}

// Through the built program, with a locale that knows nothing of UTF-8.
TEST(EndToEnd, ProgramWritesUtf8AndRawBytesWhateverTheLocale) {
    TempDir dir;
    RawVolume volume;
    std::string binary;
    for (int i = 0; i < 256; ++i) {
        binary += static_cast<char>(i);
    }
    volume.addFile(RawVolume::rootOffset, "\x83\x65\x83\x58\x83\x67  BIN", 2, binary);
    const auto image = volume.save(dir).string();

    const CommandResult listing = runCliBinary({"ls", image}, "LC_ALL=C LANG=C");
    EXPECT_EQ(listing.exitStatus, 0) << listing.errors;
    EXPECT_EQ(listing.output, "テスト.BIN\n");
    const CommandResult cat = runCliBinary({"cat", image, "/テスト.bin"}, "LC_ALL=C LANG=C");
    EXPECT_EQ(cat.exitStatus, 0);
    EXPECT_EQ(cat.output, binary);

    const CommandResult usage = runCliBinary({"ls"});
    EXPECT_EQ(usage.exitStatus, 2);
    const CommandResult failure = runCliBinary({"info", (dir / "missing.img").string()});
    EXPECT_EQ(failure.exitStatus, 1);
    EXPECT_EQ(failure.errors, "I/Oエラーが発生しました: No such file or directory\n");
    const CommandResult help = runCliBinary({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.output.find("sector IMAGE LBA [COUNT]"), std::string::npos);
}

std::string sourceDirectory() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
}

TEST(EndToEnd, DemoImageScriptMakesAVolumeWeRead) {
    if (!mtoolsAvailable()) {
        GTEST_SKIP() << "mtools or mkfs.fat missing";
    }
    TempDir dir;
    const auto image = dir / "demo.img";
    const CommandResult made =
        runCommand(shellQuote(sourceDirectory() + "/tools/make-demo-image.sh") + " " +
                   shellQuote(image.string()));
    ASSERT_EQ(made.exitStatus, 0) << made.errors;
    const CliRun run = runCli({"ls", "-R", "--json", image.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    std::set<std::string> paths;
    for (const auto& entry : nlohmann::json::parse(run.out)) {
        paths.insert(entry["path"]);
    }
    EXPECT_TRUE(paths.count("/テスト.TXT"));
    EXPECT_TRUE(paths.count("/Long file name.txt"));
    EXPECT_TRUE(paths.count("/DOCS/SUB/README.TXT"));
    EXPECT_EQ(runCli({"info", image.string()}).status, 0);
}

} // namespace
} // namespace tamberlane::test
