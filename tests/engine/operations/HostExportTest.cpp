#include "engine/operations/HostExport.h"
#include "engine/fat/DiskImageService.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <set>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

// The volume opened from a file in `dir`, with its root entries.
struct OpenVolume {
    OpenVolume(const TempDir& dir, const VolumeBuilder& volume) {
        writeFile(dir / "raw.img", volume.build());
        image = service.open(dir / "raw.img");
        root = service.listDirectory(DiskPath::root());
    }
    DiskImageService service;
    std::shared_ptr<DiskImage> image;
    std::vector<FileEntry> root;
};

std::set<std::string> treeOf(const fs::path& root) {
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        names.insert(fs::relative(item.path(), root).string());
    }
    return names;
}

TEST(HostExport, HostileNamesStayInsideTheChosenFolder) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("A.TXT"), bytesOf("one"), u"../../escape.txt");
    volume.addFile(volume.root(), name83("C.TXT"), bytesOf("three"), u"/etc/passwd");
    const auto dots = volume.addDirectory(volume.root(), name83("D"), u"..");
    volume.addFile(dots, name83("E.TXT"), bytesOf("four"), u"../../../deep.txt");
    volume.addFile(dots, name83("B.TXT"), bytesOf("two"), u".");
    volume.addFile(volume.root(), name83("F.TXT"), bytesOf("five"), u"a/b");
    OpenVolume open(dir, volume);
    const fs::path out = dir / "nest" / "out";

    const ExportResult result = exportEntries(*open.image, open.root, out);
    EXPECT_TRUE(result.failedNames().empty());
    EXPECT_EQ(treeOf(dir.path()),
              (std::set<std::string>{"raw.img", "nest", "nest/out", "nest/out/.._.._escape.txt",
                                     "nest/out/_", "nest/out/_etc_passwd", "nest/out/a_b",
                                     "nest/out/_/.._.._.._deep.txt", "nest/out/_/_"}));
    EXPECT_EQ(readFile(out / "_" / ".._.._.._deep.txt"), bytesOf("four"));
}

// Catches a writer that opens through a link someone planted at the destination.
TEST(HostExport, SymbolicLinkPlantedAtADestinationIsNotFollowed) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("EVIL.TXT"), bytesOf("payload"));
    const auto sub = volume.addDirectory(volume.root(), name83("SUB"));
    volume.addFile(sub, name83("X.TXT"), bytesOf("x"));
    OpenVolume open(dir, volume);
    const fs::path out = dir / "out";
    fs::create_directories(dir / "elsewhere");
    fs::create_directory(out);
    writeFile(dir / "victim", bytesOf("ok"));
    fs::create_symlink(dir / "victim", out / "EVIL.TXT");
    fs::create_directory_symlink(dir / "elsewhere", out / "SUB");

    const ExportResult result = exportEntries(*open.image, open.root, out);
    EXPECT_EQ(result.failedNames(), (std::vector<std::string>{"EVIL.TXT", "SUB"}));
    for (const BatchItemResult& item : result.items) {
        EXPECT_EQ(item.error->kind(), DiskImageError::Kind::ioError) << item.name;
    }
    EXPECT_THROW(exportFileTo(*open.image, open.root[0], out / "EVIL.TXT"), DiskImageError);
    EXPECT_EQ(readFile(dir / "victim"), bytesOf("ok"));
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

// Catches a broken directory exported as an empty folder and reported as done.
TEST(HostExport, DirectoryWhoseListingFailsIsAFailedItemAndLeavesNoFolder) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addSlot(volume.root(), VolumeBuilder::shortEntry(name83("BROKEN"), 0x10, 4000, 0));
    const auto loop = volume.addDirectory(volume.root(), name83("LOOP"));
    volume.addSlot(loop,
                   VolumeBuilder::shortEntry(name83("AGAIN"), 0x10, volume.firstCluster(loop), 0));
    volume.addFile(volume.root(), name83("OK.TXT"), bytesOf("fine"));
    OpenVolume open(dir, volume);
    const fs::path out = dir / "out";

    const ExportResult result = exportEntries(*open.image, open.root, out);
    ASSERT_EQ(result.items.size(), 3u);
    EXPECT_EQ(result.failedNames(), (std::vector<std::string>{"BROKEN", "LOOP"}));
    EXPECT_EQ(result.items[1].error->chainErrorType(), ClusterChainErrorType::circularReference);
    EXPECT_EQ(treeOf(out), (std::set<std::string>{"OK.TXT"}));
}

TEST(HostExport, SkipLeavesAnExistingHostFileAloneAndCountsItDone) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("KEEP.TXT"), bytesOf("from disk"));
    const auto sub = volume.addDirectory(volume.root(), name83("SUB"));
    volume.addFile(sub, name83("OLD.TXT"), bytesOf("from disk"));
    volume.addFile(sub, name83("NEW.TXT"), bytesOf("new"));
    OpenVolume open(dir, volume);
    const fs::path out = dir / "out";
    fs::create_directories(out / "SUB");
    writeFile(out / "KEEP.TXT", bytesOf("host"));
    writeFile(out / "SUB" / "OLD.TXT", bytesOf("host"));
    EXPECT_EQ(existingHostNames(open.root, out), (std::vector<std::string>{"KEEP.TXT", "SUB"}));

    ExportOptions options;
    options.existing = ExistingHostFile::skip;
    const ExportResult skipped = exportEntries(*open.image, open.root, out, options);
    EXPECT_TRUE(skipped.failedNames().empty());
    EXPECT_EQ(readFile(out / "KEEP.TXT"), bytesOf("host"));
    EXPECT_EQ(readFile(out / "SUB" / "OLD.TXT"), bytesOf("host"));
    EXPECT_EQ(readFile(out / "SUB" / "NEW.TXT"), bytesOf("new"));

    exportEntries(*open.image, open.root, out);
    EXPECT_EQ(readFile(out / "KEEP.TXT"), bytesOf("from disk"));
}

TEST(HostExport, StopEndsAfterTheCurrentFileAndKeepsWhatWasWritten) {
    TempDir dir;
    VolumeBuilder volume;
    for (const char* name : {"ONE.TXT", "TWO.TXT", "THREE.TXT", "FOUR.TXT"}) {
        volume.addFile(volume.root(), name83(name), bytesOf(name));
    }
    OpenVolume open(dir, volume);
    std::stop_source stop;
    std::vector<std::pair<std::string, double>> reports;
    ExportOptions options;
    options.stop = stop.get_token();
    options.progress = [&](const std::string& name, double fraction) {
        reports.emplace_back(name, fraction);
        if (reports.size() == 2) {
            stop.request_stop();
        }
    };

    const ExportResult result = exportEntries(*open.image, open.root, dir / "out", options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.items.size(), 2u);
    EXPECT_EQ(treeOf(dir / "out"), (std::set<std::string>{"ONE.TXT", "TWO.TXT"}));
    EXPECT_EQ(readFile(dir / "out" / "TWO.TXT"), bytesOf("TWO.TXT"));
    EXPECT_EQ(reports,
              (std::vector<std::pair<std::string, double>>{{"ONE.TXT", 0.25}, {"TWO.TXT", 0.5}}));
}

} // namespace
} // namespace tamberlane::test
