// Conversion of a headerless image into every target it offers, and back to a headerless
// image: the volume must come back byte for byte, and real FAT tools must accept it.

#include "ContainerTestSupport.h"

#include "engine/fat/DiskImageService.h"

#include <gtest/gtest.h>

#include <map>

namespace tamberlane::test {
namespace {

struct ConversionCase {
    DiskSize size;
    NewImageFormat source;
    ConvertFormat target;
};

std::string caseName(const ConversionCase& c) {
    return sizeTag(c.size) + "_" + rawValue(c.source) + "_to_" + rawValue(c.target);
}

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << caseName(c);
}

// Every container once as a target of a headerless image and once as a source converted
// back: a conversion takes the same flat volume whatever the target, so the pairs between
// two header containers would find nothing these do not.
std::vector<ConversionCase> conversionCases() {
    std::vector<ConversionCase> cases;
    for (const OfferedCombination& source : offeredCombinations()) {
        if (source.format != NewImageFormat::bin) {
            continue;
        }
        for (ConvertFormat target : availableFormats(sizeSpec(source.size).geometry)) {
            cases.push_back({source.size, source.format, target});
        }
    }
    return cases;
}

struct Reference {
    Bytes volume;
    std::string listing;
};

// A new volume of the size with files in the root and in a subdirectory, put there by
// mtools so that the engine is not checked against itself.
const Reference& referenceVolume(DiskSize size) {
    static std::map<DiskSize, Reference> cache;
    if (auto found = cache.find(size); found != cache.end()) {
        return found->second;
    }
    TempDir dir;
    const auto image = dir / "ref.bin";
    writeFile(image, createNewImage({NewImageFormat::bin, size}));
    writeFile(dir / "big.dat", patternBytes(40000, 7));
    writeFile(dir / "small.txt", bytesOf("hello"));
    mtoolsMkdir(image, "::SUB");
    mtoolsPut(image, dir / "big.dat", "::BIG.DAT");
    mtoolsPut(image, dir / "small.txt", "::SUB/SMALL.TXT");
    Reference made{readFile(image), mdirListing(image)};
    EXPECT_NE(made.listing.find("SMALL    TXT"), std::string::npos) << made.listing;
    EXPECT_TRUE(fsckAccepts(image));
    return cache[size] = std::move(made);
}

class Conversion : public ::testing::TestWithParam<ConversionCase> {
  protected:
    // Opens `path`, converts it, writes `to`; returns the written bytes.
    Bytes convert(const std::filesystem::path& path, ConvertFormat format,
                  const std::filesystem::path& to) {
        DiskImageService service;
        convertImage(*service.open(path), format, to);
        return readFile(to);
    }

    TempDir dir;
};

TEST_P(Conversion, VolumeComesBackByteForByteAndPassesFATTools) {
    if (!toolAvailable("mcopy") || !toolAvailable("fsck.fat")) {
        GTEST_SKIP() << "mtools or dosfstools missing";
    }
    const ConversionCase c = GetParam();
    const Reference& reference = referenceVolume(c.size);
    const auto refPath = dir / "ref.bin";
    writeFile(refPath, reference.volume);

    const auto sourcePath = dir / ("source." + fileExtension(c.source));
    convert(refPath, c.source, sourcePath);
    const auto targetPath = dir / ("target." + fileExtension(c.target));
    convert(sourcePath, c.target, targetPath);
    const auto backPath = dir / "back.bin";
    const Bytes back = convert(targetPath, ConvertFormat::bin, backPath);

    // Exactly: a target whose header reads back another geometry grows or cuts the volume.
    EXPECT_TRUE(back == reference.volume);
    EXPECT_TRUE(fsckAccepts(backPath));
    EXPECT_EQ(mdirListing(backPath), reference.listing);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedTarget, Conversion, ::testing::ValuesIn(conversionCases()),
                         [](const auto& info) { return caseName(info.param); });

TEST(ConversionOffer, TargetNotOfferedForTheGeometryIsRefused) {
    TempDir dir;
    const auto path = dir / "hd.nhd";
    writeImageFile(path, createNewImage({NewImageFormat::nhd, DiskSize::mb20}));
    DiskImageService service;
    const auto image = service.open(path);
    try {
        convertImage(*image, ConvertFormat::d88, dir / "hd.d88");
        FAIL() << "a 20 MB disk became a D88";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::unsupportedFormat);
        EXPECT_EQ(e.text(),
                  "このディスクイメージはD88形式に変換できません（変換できる形式: BIN, HDI, NHD）");
    }
}

// Manual parameters may state fewer cylinders than the boot sector's volume has: the
// conversion would write only those and lose the files at the end.
TEST(ConversionOffer, GeometrySmallerThanTheVolumeIsRefused) {
    TempDir dir;
    const auto path = dir / "disk.bin";
    writeImageFile(path, createNewImage({NewImageFormat::bin, DiskSize::mb1_44}));
    ManualParameters params;
    params.cylinders = 79;
    DiskImageService service;
    const auto image = service.open(path, params);
    try {
        convertImage(*image, ConvertFormat::bin, dir / "cut.bin");
        FAIL() << "the last cylinder was cut";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.errorDescription(), "BPBの値が不正です: ボリューム（1474560 バイト）が"
                                        "変換先のジオメトリ（1456128 バイト）に収まりません");
    }
    params.cylinders = 80;
    EXPECT_FALSE(std::filesystem::exists(dir / "cut.bin"));
    EXPECT_EQ(convertedBytes(*service.open(path, params), ConvertFormat::bin, dir), readFile(path));
}

TEST(ConversionHeaders, ConvertedFDIHasNoTypeCodeAndStatesTheFlatSize) {
    TempDir dir;
    const auto path = dir / "disk.fdi";
    writeImageFile(path, createNewImage({NewImageFormat::fdi, DiskSize::mb1_44}));
    DiskImageService service;
    const Bytes converted = convertedBytes(*service.open(path), ConvertFormat::fdi, dir);
    EXPECT_EQ(readU32LE(converted, 0), 0u);
    EXPECT_EQ(readU32LE(converted, 12), 1474560u);
    const Bytes d88 = convertedBytes(*service.currentImage(), ConvertFormat::d88, dir);
    EXPECT_EQ(d88[0x1B], 0x20) << "18 sectors of 512 bytes is not 2DD";
}

} // namespace
} // namespace tamberlane::test
