// The advisory lock across saves, and writes of new or converted images over files
// that are in use.

#include "ContainerTestSupport.h"

#include "engine/image/DiskImageService.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

bool anotherProcessCanLock(const std::filesystem::path& path) {
    return runCommand("flock -n -x " + shellQuote(path.string()) + " true").exitStatus == 0;
}

// Another process holding an exclusive lock on a file until the object goes.
class LockingChild {
  public:
    explicit LockingChild(const std::filesystem::path& path) {
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            const int fd = open(path.c_str(), O_RDONLY);
            const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
            (void)!write(ready[1], &ok, 1);
            char ignored;
            (void)!read(release[0], &ignored, 1); // returns at EOF, when the parent lets go
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        releaseFd_ = release[1];
        char ok = 'n';
        (void)!read(ready[0], &ok, 1);
        close(ready[0]);
        locked_ = ok == 'y';
    }
    ~LockingChild() {
        close(releaseFd_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    bool locked() const { return locked_; }

  private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool locked_ = false;
};

struct SaveCase {
    NewImageFormat format;
    DiskSize size;
};

class LockAfterSave : public ::testing::TestWithParam<SaveCase> {
  protected:
    std::filesystem::path makeImage(const std::string& name) {
        const auto path = dir / (name + "." + fileExtension(GetParam().format));
        writeImageFile(path, createNewImage({GetParam().format, GetParam().size}));
        return path;
    }
    TempDir dir;
};

// The atomic write replaces the file; a lock left on the old file would let a second
// program open and overwrite the new one.
TEST_P(LockAfterSave, AnotherProcessCannotLockTheImageAfterASave) {
    if (!toolAvailable("flock")) {
        GTEST_SKIP() << "flock missing";
    }
    const auto path = makeImage("disk");
    DiskImageService service;
    const auto image = service.open(path);
    ASSERT_FALSE(anotherProcessCanLock(path));
    image->writeCluster(2, Bytes(10, 0x42));
    image->saveToFile();
    EXPECT_FALSE(anotherProcessCanLock(path)) << "after one save";
    image->saveToFile();
    EXPECT_FALSE(anotherProcessCanLock(path)) << "after two saves";
    EXPECT_TRUE(service.currentImage()->lock->refersTo(path));
    EXPECT_EQ(kindOf([&] { DiskImageService().open(path); }), DiskImageError::Kind::lockConflict);
    service.close();
    EXPECT_TRUE(anotherProcessCanLock(path)) << "closing releases the lock";
}

TEST_P(LockAfterSave, SaveKeepsThePermissionBits) {
    const auto path = makeImage("mode");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    DiskImageService service;
    const auto image = service.open(path);
    image->writeCluster(2, Bytes(10, 0x42));
    image->saveToFile();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_P(LockAfterSave, SymlinkedImageIsSavedThroughTheLink) {
    const auto target = makeImage("target");
    const auto link = dir / ("link." + fileExtension(GetParam().format));
    std::filesystem::create_symlink(target, link);
    const Bytes before = slurp(target);
    DiskImageService service;
    const auto image = service.open(link);
    image->writeCluster(2, Bytes(10, 0x42));
    image->saveToFile();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(slurp(target), before);
    EXPECT_EQ(slurp(link), slurp(target));
}

INSTANTIATE_TEST_SUITE_P(HeaderlessAndD88, LockAfterSave,
                         ::testing::Values(SaveCase{NewImageFormat::bin, DiskSize::mb1_44},
                                           SaveCase{NewImageFormat::d88, DiskSize::kb640},
                                           SaveCase{NewImageFormat::nhd, DiskSize::mb10}),
                         [](const auto& info) { return rawValue(info.param.format); });

TEST(WriteOverFileInUse, NewImageOverAFileLockedByAnotherProcessIsRefused) {
    TempDir dir;
    const auto path = dir / "busy.bin";
    const Bytes original(1474560, 0x5A);
    writeFile(path, original);
    LockingChild child(path);
    ASSERT_TRUE(child.locked());
    try {
        writeImageFile(path, createNewImage({NewImageFormat::bin, DiskSize::mb1_44}));
        FAIL() << "overwrote a locked file";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::lockConflict);
        EXPECT_EQ(e.text(), "ファイルのロックを取得できませんでした。他のプロセスが使用中です。");
    }
    EXPECT_EQ(slurp(path), original);
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
    EXPECT_EQ(kindOf([&] { writeImageFile(path, convertImage(*image, ConvertFormat::d88)); }),
              DiskImageError::Kind::lockConflict);
    EXPECT_EQ(kindOf([&] {
                  writeImageFile(path, createNewImage({NewImageFormat::d88, DiskSize::mb1_44}));
              }),
              DiskImageError::Kind::lockConflict);
    EXPECT_EQ(slurp(path), original);
    // The open image is still locked and can still be saved.
    image->writeCluster(2, Bytes(4, 1));
    EXPECT_NO_THROW(image->saveToFile());
}

TEST(WriteOverFileInUse, NewImageOverAnUnusedFileReplacesIt) {
    TempDir dir;
    const auto path = dir / "old.bin";
    writeFile(path, Bytes(100, 1));
    const Bytes fresh = createNewImage({NewImageFormat::bin, DiskSize::kb640});
    writeImageFile(path, fresh);
    EXPECT_EQ(slurp(path), fresh);
}

} // namespace
} // namespace tamberlane::test
