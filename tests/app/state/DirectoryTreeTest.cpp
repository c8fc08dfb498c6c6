#include "app/state/DirectoryTree.h"

#include "engine/fat/DiskImageService.h"
#include "tests/app/state/StateTestSupport.h"
#include "tests/support/VolumeBuilder.h"

#include <functional>
#include <random>

namespace tamberlane::test {
namespace {

using Paths = std::vector<std::string>;

DiskPath at(const std::string& path) {
    return DiskPath::fromString(path);
}

// A tree over a volume stated byte by byte, noting each directory it reads.
class DirectoryTreeTest : public ::testing::Test {
  protected:
    DirectoryTree open(const VolumeBuilder& volume) {
        const auto path = dir / "tree.img";
        writeFile(path, volume.build());
        image = service.open(path);
        const DirectoryTree::Lister read = DirectoryTree::listerOf(image);
        return DirectoryTree(
            [this, read](const DiskPath& directory, std::optional<std::uint16_t> cluster) {
                reads.push_back(directory.displayString());
                return read(directory, cluster);
            });
    }

    TempDir dir;
    DiskImageService service;
    std::shared_ptr<DiskImage> image;
    Paths reads;
};

// Catches the tree reading the whole volume at open, or more than the rows the user opened
// after a change.
TEST_F(DirectoryTreeTest, OpeningAThousandDirectoriesReadsTheRootAndEachExpansionOneMore) {
    VolumeBuilder volume;
    for (int d = 0; d < 10; ++d) {
        const auto group = volume.addDirectory(volume.root(), name83("D" + std::to_string(d)));
        for (int s = 0; s < 100; ++s) {
            volume.addDirectory(group, name83("S" + std::to_string(s)));
        }
    }
    DirectoryTree tree = open(volume);
    EXPECT_EQ(reads, Paths{"/"});
    EXPECT_EQ(treeShape(tree.roots()), "/{D0,D1,D2,D3,D4,D5,D6,D7,D8,D9}");
    EXPECT_TRUE(tree.roots().front().children.front().mayHaveChildren());

    EXPECT_TRUE(tree.expand(at("D3")));
    EXPECT_FALSE(tree.expand(at("D3")));
    EXPECT_FALSE(tree.expand(at("D4/S1"))) << "a row that is not shown was opened";
    EXPECT_EQ(reads, (Paths{"/", "/D3"}));
    EXPECT_EQ(tree.roots().front().children[3].children.size(), 100u);

    reads.clear();
    tree.refresh();
    EXPECT_EQ(reads, (Paths{"/", "/D3"}));
    EXPECT_TRUE(tree.collapse(at("D3")));
    reads.clear();
    tree.refresh();
    EXPECT_EQ(reads, Paths{"/"});
    EXPECT_EQ(treeShape(tree.roots()), "/{D0,D1,D2,D3,D4,D5,D6,D7,D8,D9}");
}

// Catches a typed path the list resolves but the tree does not highlight, and a reveal
// that lists more than the directories on the way.
TEST_F(DirectoryTreeTest, ARevealListsOnlyTheWayThereAndSpellsThePathAsTheTreeDoes) {
    VolumeBuilder volume;
    const auto docs = volume.addDirectory(volume.root(), name83("DOCS"));
    const auto named = volume.addDirectory(docs, name83("LONGDI~1"), u"Long directory");
    volume.addDirectory(named, name83("DEEP"));
    volume.addDirectory(volume.root(), name83("OTHER"));
    DirectoryTree tree = open(volume);
    reads.clear();

    EXPECT_EQ(tree.reveal(at("docs/LONGDI~1/deep")), at("DOCS/Long directory/DEEP"));
    EXPECT_EQ(reads, (Paths{"/DOCS", "/DOCS/Long directory"}));
    EXPECT_EQ(treeShape(tree.roots()), "/{DOCS{Long directory{DEEP}},OTHER}");
    EXPECT_EQ(tree.reveal(at("OTHER/NONE")), std::nullopt);
    EXPECT_EQ(tree.reveal(DiskPath::root()), DiskPath::root());
}

// A volume whose directory LOOP holds what the case is about.
struct DamagedDirectory {
    const char* fault;
    std::function<void(VolumeBuilder&)> build;
    // The rows opened, each under the one before.
    const char* opened;
    const char* shape;
};

void PrintTo(const DamagedDirectory& damaged, std::ostream* out) {
    *out << damaged.fault;
}

Bytes directorySlot(const std::string& name, std::uint16_t cluster) {
    return VolumeBuilder::shortEntry(name83(name), 0x10, cluster, 0);
}

const DamagedDirectory damagedDirectories[] = {
    {"a subdirectory naming its own directory",
     [](VolumeBuilder& v) {
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         v.addSlot(loop, directorySlot("SELF", v.firstCluster(loop)));
     },
     "LOOP", "/{LOOP{SELF~}}"},
    {"two subdirectories naming their own directory, which doubled a walk at each level",
     [](VolumeBuilder& v) {
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         v.addSlot(loop, directorySlot("SELF1", v.firstCluster(loop)));
         v.addSlot(loop, directorySlot("SELF2", v.firstCluster(loop)));
     },
     "LOOP", "/{LOOP{SELF1~,SELF2~}}"},
    {"a subdirectory naming the root",
     [](VolumeBuilder& v) {
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         v.addSlot(loop, directorySlot("UP", 0));
     },
     "LOOP", "/{LOOP{UP~}}"},
    {"a subdirectory naming the directory two levels up",
     [](VolumeBuilder& v) {
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         const auto in = v.addDirectory(loop, name83("IN"));
         v.addSlot(in, directorySlot("BACK", v.firstCluster(loop)));
     },
     "LOOP/IN", "/{LOOP{IN{BACK~}}}"},
    {"'.' and '..' naming other directories",
     [](VolumeBuilder& v) {
         const auto other = v.addDirectory(v.root(), name83("OTHER"));
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         v.setSlot(
             loop, 0,
             VolumeBuilder::shortEntry(bytesOf(".          "), 0x10, v.firstCluster(other), 0));
         v.setSlot(
             loop, 1,
             VolumeBuilder::shortEntry(bytesOf("..         "), 0x10, v.firstCluster(loop), 0));
         v.addDirectory(loop, name83("REAL"));
     },
     "LOOP", "/{OTHER,LOOP{REAL}}"},
    {"a subdirectory sharing the cluster of a directory beside it, which is no loop",
     [](VolumeBuilder& v) {
         const auto other = v.addDirectory(v.root(), name83("OTHER"));
         v.addDirectory(other, name83("INSIDE"));
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         v.addSlot(loop, directorySlot("TWIN", v.firstCluster(other)));
     },
     "LOOP/TWIN", "/{OTHER,LOOP{TWIN{INSIDE}}}"},
    {"a directory whose cluster chain loops",
     [](VolumeBuilder& v) {
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         v.addDirectory(loop, name83("INNER"));
         v.setFAT(v.firstCluster(loop), v.firstCluster(loop));
     },
     "LOOP", "/{LOOP{}}"},
    {"a subdirectory starting past the volume",
     [](VolumeBuilder& v) {
         const auto loop = v.addDirectory(v.root(), name83("LOOP"));
         v.addSlot(loop, directorySlot("FAR", 0xFF0));
     },
     "LOOP/FAR", "/{LOOP{FAR{}}}"},
};

class DamagedDirectoryTest : public DirectoryTreeTest,
                             public ::testing::WithParamInterface<DamagedDirectory> {};

// Catches a damaged directory making the tree read without end, or more than the rows
// the user opened: each opened row is one read, at open, on opening and after a change.
TEST_P(DamagedDirectoryTest, ShowsWhatIsThereAndReadsOnlyTheRowsOpened) {
    VolumeBuilder volume;
    GetParam().build(volume);
    DirectoryTree tree = open(volume);
    Paths opened{"/"};
    DiskPath path;
    for (const std::string& component : at(GetParam().opened).components) {
        path = path.appending(component);
        EXPECT_TRUE(tree.expand(path)) << path.displayString();
        opened.push_back(path.displayString());
    }
    EXPECT_EQ(treeShape(tree.roots()), GetParam().shape);
    EXPECT_EQ(reads, opened);

    reads.clear();
    tree.refresh();
    EXPECT_EQ(reads, opened);
    EXPECT_EQ(treeShape(tree.roots()), GetParam().shape);
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedDirectoryTest, ::testing::ValuesIn(damagedDirectories),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// Catches a loop followed without the user: a repeated directory opens only as far as the
// user goes, and a change opens nothing below that.
TEST_F(DirectoryTreeTest, ARepeatedDirectoryOpensOnlyAsFarAsTheUserGoes) {
    VolumeBuilder volume;
    const auto loop = volume.addDirectory(volume.root(), name83("LOOP"));
    volume.addSlot(loop, directorySlot("SELF", volume.firstCluster(loop)));
    DirectoryTree tree = open(volume);

    EXPECT_EQ(tree.reveal(at("LOOP/SELF/SELF")), at("LOOP/SELF/SELF"));
    EXPECT_EQ(treeShape(tree.roots()), "/{LOOP{SELF~{SELF~}}}");
    EXPECT_TRUE(tree.expand(at("LOOP/SELF/SELF")));
    EXPECT_EQ(treeShape(tree.roots()), "/{LOOP{SELF~{SELF~{SELF~}}}}");
    const Paths opened{"/", "/LOOP", "/LOOP/SELF", "/LOOP/SELF/SELF"};
    EXPECT_EQ(reads, opened);
    reads.clear();
    tree.refresh();
    EXPECT_EQ(reads, opened);
}

// Catches random bytes read as a directory making the tree walk what they point at: the
// worst garbage, where every slot claims to be a subdirectory.
TEST_F(DirectoryTreeTest, AGarbageDirectoryCostsOneReadPerRowOpened) {
    VolumeBuilder volume;
    const auto garbage = volume.addDirectory(volume.root(), name83("GARBAGE"));
    std::mt19937 random(20);
    Bytes bytes(static_cast<std::size_t>(volume.bytesPerCluster()));
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (std::size_t slot = 0; slot < bytes.size(); slot += 32) {
        bytes[slot] = static_cast<std::uint8_t>('A' + slot / 32 % 26);
        bytes[slot + 11] = 0x10;
    }
    volume.writeCluster(volume.firstCluster(garbage), bytes);
    DirectoryTree tree = open(volume);

    EXPECT_TRUE(tree.expand(at("GARBAGE")));
    const std::vector<DirectoryTreeNode> rows = tree.roots().front().children.front().children;
    ASSERT_GE(rows.size(), 8u);
    for (const DirectoryTreeNode& row : rows) {
        tree.expand(row.path);
    }
    EXPECT_EQ(reads.size(), 2 + rows.size());
    reads.clear();
    tree.refresh();
    EXPECT_EQ(reads.size(), 2 + rows.size());
}

} // namespace
} // namespace tamberlane::test
