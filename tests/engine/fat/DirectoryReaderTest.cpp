#include "engine/fat/DiskImageService.h"
#include "engine/fat/PathResolver.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

using test::VolumeBuilder;
using test::VolumeParameters;

class DirectoryReaderTest : public ::testing::Test {
  protected:
    void open(const VolumeBuilder& v, const std::string& name = "disk.img") {
        test::writeFile(dir / name, v.build());
        service.open(dir / name);
    }
    std::vector<std::string> names(const std::string& path) {
        std::vector<std::string> out;
        for (const FileEntry& e : service.listDirectory(DiskPath::fromString(path))) {
            out.push_back(e.directoryEntry.displayName());
        }
        return out;
    }
    std::string errorOf(const std::string& path) {
        return test::errorText([&] { service.listDirectory(DiskPath::fromString(path)); });
    }

    test::TempDir dir;
    DiskImageService service;
};

TEST_F(DirectoryReaderTest, EmptyAndAllDeletedRootsListNothing) {
    VolumeBuilder v;
    for (int i = 0; i < 224; ++i) {
        Bytes slot = VolumeBuilder::shortEntry(test::name83("GONE.TXT"), 0x20, 0, 0);
        slot[0] = 0xE5;
        v.addSlot(v.root(), slot);
    }
    open(v);
    EXPECT_TRUE(names("/").empty());
    open(VolumeBuilder(), "empty.img");
    EXPECT_TRUE(names("/").empty());
}

TEST_F(DirectoryReaderTest, EndMarkerStopsTheWalkAndLabelsAreHidden) {
    VolumeBuilder v;
    v.addSlot(v.root(), VolumeBuilder::shortEntry(test::bytesOf("MY VOLUME  "), 0x08, 0, 0));
    v.addFile(v.root(), test::name83("FIRST.TXT"), {});
    v.addSlot(v.root(), Bytes(32, 0));
    v.addFile(v.root(), test::name83("HIDDEN.TXT"), {});
    open(v);
    EXPECT_EQ(names("/"), (std::vector<std::string>{"FIRST.TXT"}));
}

// A component picks the display name exactly, then the 8.3 alias exactly, then the one
// entry equal ignoring case; taking the first match ignoring case listed the wrong
// directory (and deleted the wrong file) when another entry matched exactly.
TEST_F(DirectoryReaderTest, PathComponentPicksTheExactNameBeforeOneEqualIgnoringCase) {
    VolumeBuilder v;
    v.addFile(v.root(), test::name83("DOCS"), test::bytesOf("a file named DOCS"));
    const auto docs = v.addDirectory(v.root(), test::name83("DOCS"));
    v.addFile(docs, test::name83("IN.TXT"), {});
    const auto lower = v.addDirectory(v.root(), test::name83("DOCS2"), u"docs");
    v.addFile(lower, test::name83("LOWER.TXT"), {});
    const auto longDir = v.addDirectory(v.root(), test::name83("LONGDI~1"), u"Long Directory");
    v.addFile(longDir, test::name83("X.TXT"), {}, u"x file.txt");
    const auto inner = v.addDirectory(docs, test::name83("A"));
    v.addFile(inner, test::name83("DEEP.TXT"), {});
    open(v);
    const std::vector<std::pair<std::string, std::vector<std::string>>> listed = {
        {"/DOCS", {"IN.TXT", "A"}},    {"/docs", {"LOWER.TXT"}},
        {"/DOCS2", {"LOWER.TXT"}},     {"/docs2", {"LOWER.TXT"}},
        {"/DOCS/a", {"DEEP.TXT"}},     {"/long directory", {"x file.txt"}},
        {"/LONGDI~1", {"x file.txt"}}, {"/longdi~1", {"x file.txt"}},
    };
    for (const auto& [path, expected] : listed) {
        EXPECT_EQ(names(path), expected) << path;
    }
    const std::string notFound = "ヘッダの解析に失敗しました: ディレクトリが見つかりません: ";
    EXPECT_EQ(errorOf("/Docs"),
              "ヘッダの解析に失敗しました: 名前が複数のエントリに一致します: Docs");
    EXPECT_EQ(errorOf("/DOCS/B"), notFound + "B");
    EXPECT_EQ(errorOf("/DOCS/IN.TXT"), notFound + "IN.TXT");
    const auto entries = service.listDirectory(DiskPath::fromString("/DOCS/A"));
    EXPECT_EQ(entries[0].path.displayString(), "/DOCS/A/DEEP.TXT");
}

// The NEC and the IBM code of one character, and names that differ only by a blank,
// display alike; before, only the first of each could be reached. Each is listed under a
// printed name that a path can name again, directories included.
TEST_F(DirectoryReaderTest, EntriesThatDisplayAlikeAreListedAndReachedByPrintedNames) {
    VolumeBuilder v;
    v.addFile(v.root(), test::bytesOf("\x87\x54      TXT"), test::bytesOf("nec"));
    v.addFile(v.root(), test::bytesOf("\xFA\x4A      TXT"), test::bytesOf("ibm"));
    const auto spaced = v.addDirectory(v.root(), test::bytesOf("A B        "));
    v.addFile(spaced, test::name83("IN.TXT"), test::bytesOf("in spaced"));
    const auto plain = v.addDirectory(v.root(), test::bytesOf("AB         "));
    v.addFile(plain, test::name83("IN.TXT"), test::bytesOf("in plain"));
    v.addFile(v.root(), test::name83("ONE.TXT"), test::bytesOf("one"));
    open(v);
    std::vector<std::string> printed;
    for (const FileEntry& e : service.listDirectory(DiskPath::root())) {
        printed.push_back(e.path.displayString());
    }
    EXPECT_EQ(printed, (std::vector<std::string>{"/\\x87\\x54.TXT", "/\\xFA\\x4A.TXT", "/A\\x20B",
                                                 "/AB", "/ONE.TXT"}));
    const PathResolver resolver(*service.currentImage());
    const auto contents = [&](const std::string& path) {
        const std::optional<FileEntry> entry = resolver.entry(DiskPath::fromString(path));
        return entry ? service.readFile(*entry) : test::bytesOf("(none)");
    };
    EXPECT_EQ(contents("/\\x87\\x54.TXT"), test::bytesOf("nec"));
    EXPECT_EQ(contents("/\\xFA\\x4A.TXT"), test::bytesOf("ibm"));
    EXPECT_EQ(contents("/A\\x20B/IN.TXT"), test::bytesOf("in spaced"));
    EXPECT_EQ(contents("/AB/IN.TXT"), test::bytesOf("in plain"));
    EXPECT_EQ(contents("/one.txt"), test::bytesOf("one"));
    EXPECT_THROW(resolver.entry(DiskPath::fromString("/\u2160.TXT")), DiskImageError);
}

TEST_F(DirectoryReaderTest, DirectoryEndingOnABadClusterListsTheClustersBefore) {
    VolumeBuilder v;
    const auto sub = v.addDirectory(v.root(), test::name83("SUB"));
    for (int i = 0; i < 20; ++i) { // 16 slots per cluster: the directory grows to 2 clusters
        v.addFile(sub, test::name83("F" + std::to_string(i) + ".TXT"), {});
    }
    const std::uint16_t first = v.firstCluster(sub);
    v.setFAT(v.fat(first), 0xFF7);
    open(v);
    EXPECT_EQ(names("/SUB").size(), 14u); // 16 slots minus "." and ".."
}

// A garbage chain through the whole data area would be read whole (up to 4 GiB on a big
// disk) for one listing; a directory holds at most 65,536 slots, and no more are read.
TEST_F(DirectoryReaderTest, AChainLongerThanADirectoryCanBeIsReadOnlyAsFarAsOne) {
    VolumeBuilder v(VolumeParameters::withClusters(1100, 2048));
    const auto sub = v.addDirectory(v.root(), test::name83("SUB"));
    const std::uint16_t first = v.firstCluster(sub);
    Bytes slots;
    for (int i = 0; i < 64; ++i) {
        const Bytes slot = VolumeBuilder::shortEntry(test::name83("A.TXT"), 0x20, 0, 0);
        slots.insert(slots.end(), slot.begin(), slot.end());
    }
    // 1,060 clusters of 64 slots: 67,840 slots, past what a directory can hold.
    for (std::uint16_t c = first; c < first + 1060; ++c) {
        v.writeCluster(c, slots);
        v.setFAT(c, c + 1 < first + 1060 ? c + 1 : 0xFFF);
    }
    open(v);
    EXPECT_EQ(names("/SUB").size(), 65536u);
}

// Catches a read that runs past a chain cut short or past the size the entry states.
TEST_F(DirectoryReaderTest, FileReadStopsAtTheShorterOfChainAndSize) {
    const Bytes content = test::patternBytes(6 * 1024);
    for (const auto& [chainClusters, expectedBytes] :
         std::vector<std::pair<std::size_t, std::ptrdiff_t>>{{3, 3072}, {6, 5000}, {5, 5000}}) {
        VolumeBuilder v(VolumeParameters::floppy2HD());
        const auto chain = v.addFile(v.root(), test::name83("FILE.BIN"), content);
        v.setFAT(chain[chainClusters - 1], 0xFFF);
        v.setSlot(v.root(), 0,
                  VolumeBuilder::shortEntry(test::name83("FILE.BIN"), 0x20, chain[0], 5000));
        open(v, "chain" + std::to_string(chainClusters) + ".img");
        EXPECT_EQ(service.readFile(service.listDirectory(DiskPath::root())[0]),
                  Bytes(content.begin(), content.begin() + expectedBytes))
            << chainClusters;
    }
}

TEST_F(DirectoryReaderTest, EmptyFileIgnoresItsStartClusterAndTruncatedClusterReadsZeros) {
    VolumeBuilder v;
    v.addSlot(v.root(), VolumeBuilder::shortEntry(test::name83("EMPTY.TXT"), 0x20, 0xFFFF, 0));
    v.addSlot(v.root(), VolumeBuilder::shortEntry(test::name83("ONE.TXT"), 0x20, 2, 1));
    v.setFAT(2, 0xFFF);
    v.writeCluster(2, test::bytesOf("Z"));
    v.setFAT(3, 0xFFF);
    v.addSlot(v.root(), VolumeBuilder::shortEntry(test::name83("CUT.BIN"), 0x20, 3, 512));
    v.writeCluster(3, Bytes(512, 0x77));
    ManualParameters params; // a file cut in the middle of cluster 3 opens by hand
    test::writeFile(dir / "cut.bin", v.build({.fileSize = v.clusterOffset(3) + 100}));
    service.open(dir / "cut.bin", params);
    const auto root = service.listDirectory(DiskPath::root());
    ASSERT_EQ(root.size(), 3u);
    EXPECT_TRUE(service.readFile(root[0]).empty());
    EXPECT_EQ(service.readFile(root[1]), test::bytesOf("Z"));
    EXPECT_EQ(service.readFile(root[2]), Bytes(512, 0));
}

} // namespace
} // namespace tamberlane
