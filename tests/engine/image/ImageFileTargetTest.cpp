// Where a new or converted image is written: an existing file is replaced only when the
// caller says the user allowed it, even one that appears while the image is being written,
// and a conversion is never written over its own source.

#include "engine/base/AtomicFile.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/NewImageFile.h"
#include "tests/support/FatTools.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

const Bytes newFloppy = createNewImage({NewImageFormat::bin, DiskSize::kb640});

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What already sits at the target: a file, a link to one, or a link to nothing.
struct ExistingCase {
    std::string name;
    std::function<void(const fs::path& target, const fs::path& other)> make;
};

void PrintTo(const ExistingCase& c, std::ostream* os) {
    *os << c.name;
}

class ExistingTargetTest : public ::testing::TestWithParam<ExistingCase> {
  protected:
    TempDir dir;
};

TEST_P(ExistingTargetTest, IsKeptUnlessReplacingWasAllowed) {
    const fs::path target = dir / "mine.bin";
    const fs::path other = dir / "other.bin";
    GetParam().make(target, other);
    const auto before = filesIn(dir.path());
    const Bytes otherBytes = fs::exists(other) ? readFile(other) : Bytes{};

    EXPECT_EQ(errorText([&] { writeImageFile(target, newFloppy); }),
              "I/Oエラーが発生しました: ファイルが既に存在します: " + target.string());
    EXPECT_EQ(filesIn(dir.path()), before);
    EXPECT_TRUE((fs::exists(other) ? readFile(other) : Bytes{}) == otherBytes);

    writeImageFile(target, newFloppy, ExistingTarget::replace);
    EXPECT_TRUE(readFile(target) == newFloppy);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ExistingTargetTest,
    ::testing::Values(ExistingCase{"file",
                                   [](const fs::path& target, const fs::path&) {
                                       writeFile(target, bytesOf("my only copy"));
                                   }},
                      ExistingCase{"linkToAFile",
                                   [](const fs::path& target, const fs::path& other) {
                                       writeFile(other, bytesOf("my only copy"));
                                       fs::create_symlink(other.filename(), target);
                                   }},
                      ExistingCase{"linkToNothing",
                                   [](const fs::path& target, const fs::path& other) {
                                       fs::create_symlink(other.filename(), target);
                                   }}),
    [](const auto& info) { return info.param.name; });

// The check before writing cannot see a file made meanwhile; the final rename must.
TEST(ExistingTarget, AFileThatAppearsWhileTheImageIsWrittenIsKept) {
    TempDir dir;
    const fs::path target = dir / "new.bin";
    setAtomicWriteFaultHook([&](AtomicWriteStep step) {
        if (step == AtomicWriteStep::rename) {
            writeFile(target, bytesOf("written by someone else"));
        }
        return 0;
    });
    const std::string error = errorText([&] { writeImageFile(target, newFloppy); });
    setAtomicWriteFaultHook(nullptr);
    EXPECT_EQ(error, "I/Oエラーが発生しました: ファイルが既に存在します: " + target.string());
    EXPECT_EQ(readFile(target), bytesOf("written by someone else"));
    EXPECT_EQ(filesIn(dir.path()), std::vector<fs::path>{"new.bin"})
        << "temporary file left behind";
}

// However the output names the source, it is the same file: refused, even when replacing
// was allowed, rather than blamed on another program's lock.
struct SameFileCase {
    std::string name;
    std::function<fs::path(const fs::path& source)> outputFor;
};

void PrintTo(const SameFileCase& c, std::ostream* os) {
    *os << c.name;
}

class ConversionOntoItsSource : public ::testing::TestWithParam<SameFileCase> {};

TEST_P(ConversionOntoItsSource, IsRefusedAsTheSameFile) {
    TempDir dir;
    const fs::path source = dir / "disk.bin";
    writeImageFile(source, newFloppy);
    const fs::path output = GetParam().outputFor(source);
    DiskImageService service;
    const auto image = service.open(source);
    for (ExistingTarget existing : {ExistingTarget::keep, ExistingTarget::replace}) {
        EXPECT_EQ(errorText([&] { convertImage(*image, ConvertFormat::bin, output, existing); }),
                  "I/Oエラーが発生しました: 変換先は変換元と同じファイルです: " + output.string());
    }
    EXPECT_TRUE(readFile(source) == newFloppy);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ConversionOntoItsSource,
    ::testing::Values(SameFileCase{"samePath", [](const fs::path& source) { return source; }},
                      SameFileCase{"symbolicLink",
                                   [](const fs::path& source) {
                                       const auto link = source.parent_path() / "link.bin";
                                       fs::create_symlink(source, link);
                                       return link;
                                   }},
                      SameFileCase{"hardLink",
                                   [](const fs::path& source) {
                                       const auto link = source.parent_path() / "hard.bin";
                                       fs::create_hard_link(source, link);
                                       return link;
                                   }},
                      SameFileCase{"dotDotPath",
                                   [](const fs::path& source) {
                                       return source.parent_path() / ".." /
                                              source.parent_path().filename() / source.filename();
                                   }}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace tamberlane::test
