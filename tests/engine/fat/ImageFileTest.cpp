// The file behind an open image: another program that holds it open for writing, a host file
// system without room for the save, and our own saves, which must never look like another
// program's change.

#include "engine/base/AtomicFile.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImageService.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

const std::string openForWritingText =
    "ディスクイメージは他のプログラムが書き込み用に開いています。"
    "そのプログラムを閉じてから変更してください。";
const std::string hostSpacePrefix =
    "ディスクイメージを保存できませんでした。ホストの空き容量が不足しています（必要: ";

Bytes floppy() {
    VolumeBuilder v;
    v.addFile(v.root(), name83("HELLO.TXT"), bytesOf("hello"));
    return v.build();
}

std::string saveError(DiskImage& image) {
    try {
        image.writeCluster(2, Bytes(10, 0x42));
        image.saveToFile();
    } catch (const DiskImageError& error) {
        return error.what();
    }
    return {};
}

TEST(ImageFileTest, AnImageAnotherProgramHoldsOpenForWritingOpensForReadingWithTheReason) {
    TempDir dir;
    const fs::path path = dir / "held.img";
    writeFile(path, floppy());
    if (!leasesWorkOn(path)) {
        GTEST_SKIP() << "the file system cannot tell about other writers";
    }
    const Bytes before = readFile(path);
    const int writer = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    {
        DiskImageService service;
        const auto image = service.open(path);
        ASSERT_TRUE(image->file().refusal().has_value());
        EXPECT_EQ(image->file().refusal()->errorDescription(), openForWritingText);
        EXPECT_EQ(saveError(*image), openForWritingText);
    }
    close(writer);
    EXPECT_EQ(readFile(path), before);

    // Once the other program has let go, the file opens for changes again.
    DiskImageService service;
    const auto image = service.open(path);
    EXPECT_FALSE(image->file().refusal().has_value());
    EXPECT_EQ(saveError(*image), "");
}

TEST(ImageFileTest, OurOwnSavesAreNeverTakenForAnotherProgramsChange) {
    TempDir dir;
    const fs::path path = dir / "own.img";
    writeFile(path, floppy());
    DiskImageService service;
    const auto image = service.open(path);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(saveError(*image), "") << "save " << i;
        EXPECT_FALSE(image->file().check().has_value()) << "after save " << i;
    }
    // The lock moved to the new file with a descriptor that cannot write: one that could
    // would hide every other writer from the kernel.
    EXPECT_EQ(fcntl(image->file().lock()->fileDescriptor(), F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_TRUE(image->file().lock()->refersTo(path));
}

// An emulator writes the image in place while it is open here: a page read afterwards would
// mix its version with ours, so the read is refused and so is every change from then on.
TEST(ImageFileTest, APageReadAfterAnotherProgramWroteTheFileRefusesTheImage) {
    TempDir dir;
    const fs::path path = dir / "emulated.img";
    writeFile(path, floppy());
    DiskImageService service;
    const auto image = service.open(path);
    const Bytes bootSector = image->readSector(0);
    const std::int64_t lastSector = image->layout().bpb.volumeSectorCount() - 1;

    const int emulator = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(emulator, 0);
    ASSERT_EQ(pwrite(emulator, "X", 1, lastSector * 512), 1);
    close(emulator);

    EXPECT_EQ(image->readSector(0), bootSector) << "what was read stays as it was read";
    try {
        image->readSector(lastSector);
        ADD_FAILURE() << "a page of the changed file was read";
    } catch (const DiskImageError& error) {
        EXPECT_EQ(error.reason(), DiskImageError::Reason::imageFileChanged);
    }
    ASSERT_TRUE(image->file().refusal().has_value());
    EXPECT_EQ(image->file().refusal()->reason(), DiskImageError::Reason::imageFileChanged);
    EXPECT_THROW(image->checkWritable(), DiskImageError);
}

// A reader opened while the application holds the image: that program's save renames a new
// file over the path, which the old file feels only as a new change time. Pages read after
// the save come from the old file, whole; one written there in place is still refused.
TEST(ImageFileTest, AReaderKeepsReadingTheFileItOpenedAcrossAnotherProgramsSave) {
    TempDir dir;
    const fs::path path = dir / "held.img";
    writeFile(path, floppy());
    const Bytes original = readFile(path);
    DiskImageService application;
    const auto held = application.open(path);
    ASSERT_FALSE(held->layout().isReadOnly);

    DiskImageService reader;
    const auto image = reader.open(path, std::nullopt, {}, /*readOnly=*/true);
    EXPECT_EQ(image->file().lock()->mode(), FileLock::Mode::unlocked);
    EXPECT_EQ(saveError(*image), "ディスクイメージはライトプロテクトされています");
    const std::int64_t last = image->layout().bpb.volumeSectorCount() - 1;
    const std::int64_t middle = last / 2;
    const auto originalSector = [&](std::int64_t lba) {
        return Bytes(original.begin() + lba * 512, original.begin() + (lba + 1) * 512);
    };

    held->writeSector(last, Bytes(512, 0x77));
    held->saveToFile();
    EXPECT_EQ(image->readSector(last), originalSector(last));
    EXPECT_FALSE(image->file().refusal().has_value());

    // The old file has no name left, but a descriptor opened before can still write it.
    const std::string oldFile =
        "/proc/self/fd/" + std::to_string(image->file().lock()->fileDescriptor());
    const int writer = open(oldFile.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(pwrite(writer, "X", 1, middle * 512), 1);
    close(writer);
    EXPECT_EQ(errorText([&] { image->readSector(middle); }),
              errorText([] { throw DiskImageError::imageFileChanged(); }));
    EXPECT_TRUE(image->file().refusal().has_value());
}

std::int64_t allocatedBytes(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

// A 32 MiB FAT16 volume as mkfs.fat leaves it in a sparse file: only its metadata is
// allocated. Saves must keep it so, write the image's bytes exactly, and after an undo
// write back every page that differs from the file as it now is.
void checkSaveKeepsHolesAndWritesWhatChanged(const fs::path& path) {
    ASSERT_EQ(runCommand("truncate -s 32M " + shellQuote(path.string()) + " && mkfs.fat -F 16 " +
                         shellQuote(path.string()))
                  .exitStatus,
              0);
    // Keeps the blocks the saves start from in use, so that sharing them can be seen.
    fs::create_hard_link(path, path.string() + ".before");
    const Bytes original = readFile(path);
    const std::int64_t allocatedBefore = allocatedBytes(path);
    DiskImageService service;
    const auto image = service.open(path);
    // Opening reads the boot sector, the FATs and the root, not the data area.
    EXPECT_LT(image->data().pagesInMemory(), image->data().size() / PagedBytes::pageSize / 50);
    const PagedBytes beforeChange = image->data();
    image->writeCluster(100, Bytes(2048, 0x5A));
    image->saveToFile();
    EXPECT_TRUE(readFile(path) == image->data().toBytes());
    EXPECT_LE(allocatedBytes(path) - allocatedBefore, 64 * 1024)
        << "one cluster written, the rest of the holes kept";

    image->restore(beforeChange);
    image->saveToFile();
    EXPECT_TRUE(readFile(path) == original) << "the page changed by the first save is written back";
    EXPECT_FALSE(image->file().check().has_value());
}

TEST(ImageSaveTest, ASaveKeepsTheHolesOfASparseImageAndWritesOnlyWhatChanged) {
    TempDir dir;
    checkSaveKeepsHolesAndWritesWhatChanged(dir / "sparse.img");
}

TEST(ImageSaveTest, OnAFileSystemWithReflinksTheSavedFileSharesTheOldOnesBlocks) {
    TempDir dir;
    const fs::path backing = dir / "xfs.img";
    const fs::path mount = dir / "xfs";
    fs::create_directories(mount);
    if (geteuid() != 0 ||
        runCommand("truncate -s 320M " + shellQuote(backing.string()) +
                   " && mkfs.xfs -q -m reflink=1 " + shellQuote(backing.string()) +
                   " && mount -o loop " + shellQuote(backing.string()) + " " +
                   shellQuote(mount.string()))
                .exitStatus != 0) {
        GTEST_SKIP() << "no file system with reflinks can be mounted here";
    }
    struct Unmount {
        fs::path at;
        ~Unmount() { runCommand("umount " + shellQuote(at.string())); }
    } unmount{mount};
    const fs::path path = mount / "image.img";
    checkSaveKeepsHolesAndWritesWhatChanged(path);
    // Written whole, nothing would be shared with the file the saves started from.
    const CommandResult extents = runCommand("filefrag -v " + shellQuote(path.string()));
    EXPECT_NE(extents.output.find("shared"), std::string::npos) << extents.output;
}

class HostSpaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mount = dir / "small";
        fs::create_directories(mount);
        if (geteuid() != 0 ||
            runCommand("mount -t tmpfs -o size=2m tmpfs " + shellQuote(mount.string()))
                    .exitStatus != 0) {
            GTEST_SKIP() << "no small file system can be mounted here";
        }
        mounted = true;
    }
    void TearDown() override {
        setAtomicWriteFaultHook(nullptr);
        if (mounted) {
            runCommand("umount " + shellQuote(mount.string()));
        }
    }
    TempDir dir;
    fs::path mount;
    bool mounted = false;
};

TEST_F(HostSpaceTest, ASaveTheHostHasNoRoomForSaysSoAndLeavesTheImage) {
    // 1.44 MB on 2 MB: the new file cannot stand beside the old one.
    const fs::path path = mount / "full.img";
    writeFile(path, floppy());
    const Bytes before = readFile(path);
    DiskImageService service;
    const auto image = service.open(path);
    const std::string message = saveError(*image);
    EXPECT_EQ(message.rfind(hostSpacePrefix + std::to_string(before.size()) + " バイト、空き: ", 0),
              0u)
        << message;
    EXPECT_EQ(message.substr(message.size() - 12), "バイト）");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(mount), fs::directory_iterator()), 1)
        << "a temporary file was left behind";
}

TEST(HostSpaceWriteTest, SpaceRunningOutDuringTheWriteIsReportedAsTheHostsNotTheFiles) {
    TempDir dir;
    const fs::path path = dir / "img.img";
    writeFile(path, floppy());
    const Bytes before = readFile(path);
    DiskImageService service;
    const auto image = service.open(path);
    setAtomicWriteFaultHook(
        [](AtomicWriteStep step) { return step == AtomicWriteStep::write ? ENOSPC : 0; });
    const std::string message = saveError(*image);
    setAtomicWriteFaultHook(nullptr);
    EXPECT_EQ(message.rfind(hostSpacePrefix + std::to_string(before.size()) + " バイト", 0), 0u)
        << message;
    EXPECT_EQ(readFile(path), before);
}

} // namespace
} // namespace tamberlane::test
