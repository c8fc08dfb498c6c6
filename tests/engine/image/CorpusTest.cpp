#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImageService.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;

struct CorpusVolume {
    const char* file;
    FATType fatType;
    std::size_t entryCount; // clusters + 2
};

class CorpusLongNameTest : public ::testing::TestWithParam<CorpusVolume> {};

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// Volumes made by another program: long names, nested directories, a volume label.
TEST_P(CorpusLongNameTest, OpensWithManualParametersAndListsTheLongNames) {
    const fs::path corpus = test::corpusDirectory();
    if (corpus.empty() || !fs::exists(corpus / GetParam().file)) {
        GTEST_SKIP() << "corpus absent";
    }
    const fs::path path = corpus / GetParam().file;
    DiskImageService service;
    // Not one of the listed headerless sizes: the automatic open goes by the boot sector
    // and finds what the manual one does.
    const auto automatic = service.open(path);
    EXPECT_EQ(automatic->layout().fatType, GetParam().fatType);
    EXPECT_EQ(automatic->fatTable().entries().size(), GetParam().entryCount);

    ManualParameters params;
    params.fatType = GetParam().fatType;
    const auto image = service.open(path, params);
    EXPECT_EQ(image->layout().fatType, GetParam().fatType);
    EXPECT_EQ(image->fatTable().entries().size(), GetParam().entryCount);
    // The corpus folder is read-only for ordinary users; root may still write it.
    if (image->layout().isReadOnly) {
        EXPECT_THROW(image->saveToFile(), DiskImageError);
    }

    const auto root = service.listDirectory(DiskPath::root());
    std::vector<std::string> names;
    for (const FileEntry& e : root) {
        names.push_back(e.directoryEntry.displayName());
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"long.txt", "short.txt", "very", "very-long-dir-name"}));
    EXPECT_EQ(root[0].directoryEntry.shortName(), "LONG.TXT");
    EXPECT_EQ(root[3].directoryEntry.shortName(), "VERY-L~1");
    EXPECT_TRUE(root[2].directoryEntry.isDirectory());

    const std::string line = "Rust is cool!\n";
    EXPECT_EQ(text(service.readFile(root[1])), line);
    EXPECT_EQ(root[0].directoryEntry.size, 14000u);
    EXPECT_EQ(text(service.readFile(root[0])), repeated(line, 1000));

    const auto deep = service.listDirectory(DiskPath::fromString("/very/long/path"));
    ASSERT_EQ(deep.size(), 1u);
    EXPECT_EQ(deep[0].path.displayString(), "/very/long/path/test.txt");
    EXPECT_EQ(text(service.readFile(deep[0])), line);

    const auto other = service.listDirectory(DiskPath::fromString("/VERY-LONG-DIR-NAME"));
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].directoryEntry.displayName(), "very-long-file-name.txt");
    EXPECT_EQ(text(service.readFile(other[0])), line);
}

INSTANTIATE_TEST_SUITE_P(Images, CorpusLongNameTest,
                         ::testing::Values(CorpusVolume{"lfn_fat12.img", FATType::fat12, 1955 + 2},
                                           CorpusVolume{"lfn_fat16.img", FATType::fat16, 4927 + 2}),
                         [](const auto& info) {
                             return std::string(info.param.fatType == FATType::fat12 ? "fat12"
                                                                                     : "fat16");
                         });

} // namespace
} // namespace tamberlane
