#include "engine/fat/FatArea.h"

#include "engine/base/DiskImageError.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

struct FatVolume {
    const char* name;
    VolumeParameters parameters;
    FATType fatType;
};

// The volume starts past a 512-byte header, so an area that ignores where the volume
// starts reads and writes the wrong bytes.
constexpr std::int64_t headerBytes = 512;

class FatAreaTest : public ::testing::TestWithParam<FatVolume> {
  protected:
    FatAreaTest()
        : builder_(GetParam().parameters),
          bpb_(parseBPB(ByteView(builder_.build()).first(GetParam().parameters.bytesPerSector))),
          area_(bpb_) {}

    Bytes file() const {
        return builder_.build({.dataOffset = headerBytes, .fileSize = std::nullopt});
    }
    Bytes copyBytes(const Bytes& data, std::int64_t copy) const {
        const auto start = static_cast<std::size_t>(headerBytes + area_.copyOffset(copy));
        return Bytes(data.begin() + static_cast<std::ptrdiff_t>(start),
                     data.begin() + static_cast<std::ptrdiff_t>(start) +
                         static_cast<std::ptrdiff_t>(area_.bytesPerCopy()));
    }

    VolumeBuilder builder_;
    BIOSParameterBlock bpb_;
    FatArea area_;
};

TEST_P(FatAreaTest, AChangedTableReachesEveryCopyAndDecodesBack) {
    Bytes data = file();
    FATTable table = area_.decode(PagedBytes(data), headerBytes, GetParam().fatType);
    const auto last = static_cast<std::uint16_t>(table.entries().size() - 1);
    table.setEntry(2, 3);
    table.setEntry(3, table.endOfChainValue());
    table.setEntry(last, table.endOfChainValue());
    area_.write(table, [&](std::int64_t lba, ByteView bytes) {
        const auto at = static_cast<std::size_t>(headerBytes + lba * bpb_.bytesPerSector);
        std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(at), bpb_.bytesPerSector, 0);
        std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
    });
    EXPECT_TRUE(area_.copiesAgree(PagedBytes(data), headerBytes));
    EXPECT_EQ(copyBytes(data, 1), copyBytes(data, 0));
    EXPECT_EQ(area_.decode(PagedBytes(data), headerBytes, GetParam().fatType), table);
    // The header in front and the root directory behind are not written.
    EXPECT_EQ(Bytes(data.begin(), data.begin() + headerBytes), Bytes(headerBytes, 0));
    EXPECT_EQ(area_.endSector(), bpb_.reservedSectors + 2 * bpb_.sectorsPerFAT);
}

TEST_P(FatAreaTest, CopiesThatDifferInTheirLastByteOrAreCutShortDisagree) {
    const Bytes data = file();
    EXPECT_TRUE(area_.copiesAgree(PagedBytes(data), headerBytes));
    Bytes differing = data;
    differing[static_cast<std::size_t>(headerBytes + area_.copyOffset(2) - 1)] ^= 0x01;
    EXPECT_FALSE(area_.copiesAgree(PagedBytes(differing), headerBytes));
    const Bytes cut(data.begin(), data.begin() + headerBytes + area_.copyOffset(2) - 1);
    EXPECT_FALSE(area_.copiesAgree(PagedBytes(cut), headerBytes));
}

TEST_P(FatAreaTest, AFirstCopyCutShortIsReportedNotReadPastTheEnd) {
    const Bytes data = file();
    const Bytes cut(data.begin(), data.begin() + headerBytes + area_.copyOffset(1) - 1);
    try {
        area_.decode(PagedBytes(cut), headerBytes, GetParam().fatType);
        FAIL() << "decoded";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.kind(), DiskImageError::Kind::fatCorruption);
        EXPECT_NE(e.errorDescription().find("FATテーブル領域がファイルサイズを超えています"),
                  std::string::npos)
            << e.errorDescription();
    }
}

TEST_P(FatAreaTest, EveryCopyIsInTheArea) {
    const std::int64_t first = bpb_.reservedSectors;
    const std::int64_t second = first + bpb_.sectorsPerFAT;
    EXPECT_FALSE(area_.contains(first - 1));
    EXPECT_TRUE(area_.contains(second - 1));
    EXPECT_TRUE(area_.contains(second));
    EXPECT_FALSE(area_.contains(area_.endSector()));
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, FatAreaTest,
    ::testing::Values(FatVolume{"fat12", VolumeParameters::floppy144(), FATType::fat12},
                      FatVolume{"fat16", VolumeParameters::withClusters(5000), FATType::fat16}),
    [](const ::testing::TestParamInfo<FatVolume>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tamberlane::test
