// The advisory lock across saves, and writes of new or converted images over files
// that are in use.

#include "ContainerTestSupport.h"

#include "engine/fat/DiskImageService.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

class LockAfterSave : public ::testing::TestWithParam<OfferedCombination> {
  protected:
    std::filesystem::path makeImage(const std::string& name) {
        const auto path = dir / (name + "." + fileExtension(GetParam().format));
        writeImageFile(path, createNewImage({GetParam().format, GetParam().size}));
        return path;
    }
    TempDir dir;
};

// The atomic write replaces the file: a lock left on the old file would let a second
// program open and overwrite the new one, and the new file must keep the old one's
// permission bits and stay behind the link the image was opened through.
TEST_P(LockAfterSave, SaveThroughALinkKeepsTheLockThePermissionsAndTheLink) {
    const auto target = makeImage("target");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const auto link = dir / ("link." + fileExtension(GetParam().format));
    std::filesystem::create_symlink(target, link);
    const Bytes before = readFile(target);
    DiskImageService service;
    const auto image = service.open(link);
    ASSERT_TRUE(isLocked(target));
    image->writeCluster(2, Bytes(10, 0x42));
    image->saveToFile();
    EXPECT_TRUE(isLocked(target)) << "after one save";
    image->saveToFile();
    EXPECT_TRUE(isLocked(target)) << "after two saves";
    EXPECT_TRUE(service.currentImage()->file().lock()->refersTo(target));
    EXPECT_EQ(errorKind([&] { DiskImageService().open(target); }),
              DiskImageError::Kind::lockConflict);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(readFile(target), before);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    service.close();
    EXPECT_FALSE(isLocked(target)) << "closing releases the lock";
}

INSTANTIATE_TEST_SUITE_P(HeaderlessAndD88, LockAfterSave,
                         ::testing::Values(OfferedCombination{NewImageFormat::bin,
                                                              DiskSize::mb1_44},
                                           OfferedCombination{NewImageFormat::d88, DiskSize::kb640},
                                           OfferedCombination{NewImageFormat::nhd, DiskSize::mb10}),
                         [](const auto& info) { return rawValue(info.param.format); });

// As root (as CI runs): a save gave another user's image to root, so its owner could no
// longer read it, and a file whose mode lets nobody write it was written all the same.
TEST(SaveAsRoot, TheOwnerStaysAndAModeWithoutWriteBitsOpensReadOnly) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    TempDir dir;
    const auto path = dir / "owned.bin";
    writeImageFile(path, createNewImage({NewImageFormat::bin, DiskSize::mb1_44}));
    ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
    {
        DiskImageService service;
        const auto image = service.open(path);
        image->writeCluster(2, Bytes(10, 0x42));
        image->saveToFile();
    }
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);

    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const Bytes before = readFile(path);
    DiskImageService service;
    const auto image = service.open(path);
    EXPECT_TRUE(image->layout().isReadOnly);
    EXPECT_EQ(errorKind([&] { image->writeCluster(2, Bytes(10, 0x43)); }),
              DiskImageError::Kind::writeProtected);
    EXPECT_EQ(readFile(path), before);
}

TEST(WriteOverFileInUse, NewImageOverAFileLockedByAnotherProcessIsRefused) {
    TempDir dir;
    const auto path = dir / "busy.bin";
    const Bytes original(1474560, 0x5A);
    writeFile(path, original);
    OtherProcessLock child(path, LOCK_EX);
    ASSERT_TRUE(child.acquired());
    try {
        writeImageFile(path, createNewImage({NewImageFormat::bin, DiskSize::mb1_44}),
                       ExistingTarget::replace);
        FAIL() << "overwrote a locked file";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::lockConflict);
        EXPECT_EQ(e.text(), "ファイルのロックを取得できませんでした。他のプロセスが使用中です。");
    }
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file left behind";
}

TEST(WriteOverFileInUse, ConversionOverTheOpenImageIsRefused) {
    TempDir dir;
    const auto path = dir / "open.d88";
    const Bytes original = createNewImage({NewImageFormat::d88, DiskSize::kb640});
    writeImageFile(path, original);
    DiskImageService service;
    const auto image = service.open(path);
    EXPECT_EQ(errorKind([&] {
                  convertImage(*image, ConvertFormat::d88, dir / "other.d88");
                  writeImageFile(path, readFile(dir / "other.d88"), ExistingTarget::replace);
              }),
              DiskImageError::Kind::lockConflict);
    EXPECT_EQ(errorKind([&] {
                  writeImageFile(path, createNewImage({NewImageFormat::d88, DiskSize::mb1_44}),
                                 ExistingTarget::replace);
              }),
              DiskImageError::Kind::lockConflict);
    EXPECT_EQ(readFile(path), original);
    // The open image is still locked and can still be saved.
    image->writeCluster(2, Bytes(4, 1));
    EXPECT_NO_THROW(image->saveToFile());
}

} // namespace
} // namespace tamberlane::test
