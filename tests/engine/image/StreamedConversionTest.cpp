// Conversions of big disks write the new file as they go: the disk's bytes reach the
// result unchanged and its holes stay holes, and a conversion that fails or is stopped
// on the way leaves neither the result nor its temporary file.

#include "ContainerTestSupport.h"

#include "engine/base/AtomicFile.h"
#include "engine/fat/DiskImageService.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stop_token>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t bigDisk = std::int64_t{256} << 20;
// Written past the FAT area, where only a byte-for-byte copy carries it.
constexpr std::int64_t markOffset = std::int64_t{200} << 20;

std::int64_t allocatedBytes(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

// `length` bytes of `path` from `offset`, read a chunk at a time against `expected`.
::testing::AssertionResult sameBytes(const fs::path& path, std::int64_t offset,
                                     const fs::path& expected, std::int64_t expectedOffset,
                                     std::int64_t length) {
    const int a = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int b = open(expected.c_str(), O_RDONLY | O_CLOEXEC);
    Bytes left(1 << 20);
    Bytes right(1 << 20);
    for (std::int64_t done = 0; a >= 0 && b >= 0 && done < length;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length - done, 1 << 20));
        if (pread(a, left.data(), n, offset + done) != static_cast<ssize_t>(n) ||
            pread(b, right.data(), n, expectedOffset + done) != static_cast<ssize_t>(n) ||
            !std::equal(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(n),
                        right.begin())) {
            close(a);
            close(b);
            return ::testing::AssertionFailure() << "differs in the MiB from " << done;
        }
        done += static_cast<std::int64_t>(n);
    }
    close(a);
    close(b);
    return ::testing::AssertionSuccess();
}

std::size_t filesIn(const TempDir& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

TEST(StreamedConversion, BigSparseDiskKeepsEveryByteAndItsHolesThroughHDIAndNHD) {
    if (!toolAvailable("mkfs.fat")) {
        GTEST_SKIP() << "mkfs.fat missing";
    }
    TempDir dir;
    const fs::path bin = dir / "big.img";
    // 64 heads x 32 sectors: whole cylinders, a geometry the boot sector states.
    ASSERT_EQ(runCommand("truncate -s " + std::to_string(bigDisk) + " " + shellQuote(bin) +
                         " && mkfs.fat -F 16 -h 0 -g 64/32 " + shellQuote(bin))
                  .exitStatus,
              0);
    {
        const int fd = open(bin.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_EQ(pwrite(fd, "the middle of the disk", 22, markOffset), 22);
        close(fd);
    }
    const std::int64_t sourceBlocks = allocatedBytes(bin);

    const fs::path hdi = dir / "big.hdi";
    const fs::path nhd = dir / "big.nhd";
    {
        DiskImageService service;
        ASSERT_TRUE(convertImage(*service.open(bin), ConvertFormat::hdi, hdi));
    }
    {
        DiskImageService service;
        ASSERT_TRUE(convertImage(*service.open(hdi), ConvertFormat::nhd, nhd));
    }
    EXPECT_EQ(fs::file_size(hdi), 4096 + bigDisk);
    EXPECT_EQ(fs::file_size(nhd), 296 + bigDisk);
    EXPECT_TRUE(sameBytes(hdi, 4096, bin, 0, bigDisk));
    EXPECT_TRUE(sameBytes(nhd, 296, bin, 0, bigDisk));
    // The source's holes, not 256 MiB of written zeros (a block or two more where the
    // header moves the data across block boundaries).
    EXPECT_LE(allocatedBytes(hdi), sourceBlocks + (std::int64_t{1} << 20));
    EXPECT_LE(allocatedBytes(nhd), sourceBlocks + (std::int64_t{2} << 20));
    EXPECT_EQ(filesIn(dir), 3u);
}

// A 10 MB disk: big enough to need a header, small enough to make at once.
class ConversionInterrupted : public ::testing::TestWithParam<AtomicWriteStep> {
  protected:
    void SetUp() override {
        writeImageFile(source, createNewImage({NewImageFormat::bin, DiskSize::mb10}));
    }
    void TearDown() override { setAtomicWriteFaultHook(nullptr); }

    TempDir dir;
    fs::path source = dir / "disk.img";
    fs::path output = dir / "disk.nhd";
};

TEST_P(ConversionInterrupted, FailedStepLeavesNoFileAndNoTemporary) {
    // The file's size is set and the header written first; what fails is the copy of the
    // disk after them.
    int writes = 0;
    setAtomicWriteFaultHook([&](AtomicWriteStep step) {
        if (step != GetParam()) {
            return 0;
        }
        return step != AtomicWriteStep::write || ++writes == 3 ? EIO : 0;
    });
    DiskImageService service;
    const auto image = service.open(source);
    EXPECT_EQ(errorKind([&] { convertImage(*image, ConvertFormat::nhd, output); }),
              DiskImageError::Kind::ioError);
    EXPECT_FALSE(fs::exists(output));
    EXPECT_EQ(filesIn(dir), 1u) << "no temporary file left behind";
}

std::string stepName(const ::testing::TestParamInfo<AtomicWriteStep>& info) {
    switch (info.param) {
    case AtomicWriteStep::setMode:
        return "setMode";
    case AtomicWriteStep::write:
        return "write";
    case AtomicWriteStep::sync:
        return "sync";
    default:
        return "rename";
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, ConversionInterrupted,
                         ::testing::Values(AtomicWriteStep::setMode, AtomicWriteStep::write,
                                           AtomicWriteStep::sync, AtomicWriteStep::rename),
                         stepName);

// An emulator writing the image in place while it is copied would leave a result that is
// neither the old disk nor the new one.
TEST_F(ConversionInterrupted, SourceWrittenByAnotherProgramMeanwhileLeavesNoFile) {
    DiskImageService service;
    const auto image = service.open(source);
    bool written = false;
    setAtomicWriteFaultHook([&](AtomicWriteStep step) {
        if (step == AtomicWriteStep::write && !written) {
            writeInPlace(source, 600000, bytesOf("X"));
            written = true;
        }
        return 0;
    });
    EXPECT_EQ(errorText([&] { convertImage(*image, ConvertFormat::nhd, output); }),
              DiskImageError::imageFileChanged().errorDescription());
    EXPECT_FALSE(fs::exists(output));
    EXPECT_EQ(filesIn(dir), 1u);
}

TEST_F(ConversionInterrupted, StoppedConversionLeavesNoFile) {
    DiskImageService service;
    const auto image = service.open(source);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(
        convertImage(*image, ConvertFormat::nhd, output, ExistingTarget::keep, stop.get_token()));
    EXPECT_FALSE(fs::exists(output));
    EXPECT_EQ(filesIn(dir), 1u);
}

} // namespace
} // namespace tamberlane::test
