// The reader every container parser goes through: a part of the file reads its own bytes,
// wherever the pages of a paged file lie, and a read past the end is a header cut short.

#include "engine/image/ImageFileReader.h"
#include "engine/base/DiskImageError.h"
#include "engine/base/PagedBytes.h"
#include "tests/support/FatTools.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tamberlane::test {
namespace {

constexpr std::size_t page = PagedBytes::pageSize;

// Run over both sources a reader has: a span and a paged buffer.
class ImageFileReaderTest : public ::testing::TestWithParam<bool> {
  protected:
    ImageFileReader reader() const {
        return GetParam() ? ImageFileReader(paged, "D88") : ImageFileReader(ByteView(file), "D88");
    }
    Bytes bytesAt(std::size_t offset, std::size_t length) const {
        return Bytes(file.begin() + static_cast<std::ptrdiff_t>(offset),
                     file.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }

    Bytes file = patternBytes(3 * page + 100);
    // Read on demand, as an image file is: the pages never lie one after another.
    PagedBytes paged = PagedBytes::readOnDemand(file.size(), [this](std::size_t offset,
                                                                    std::span<std::uint8_t> out) {
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    });
};

TEST_P(ImageFileReaderTest, APartReadsItsOwnBytesAcrossPageBoundaries) {
    ASSERT_FALSE(paged.contiguousView());
    const ImageFileReader part = reader().part(page - 10, page + 40);
    EXPECT_EQ(part.size(), static_cast<std::int64_t>(page + 40));
    EXPECT_EQ(part.read(0, page + 40), bytesAt(page - 10, page + 40));
    EXPECT_EQ(part.read(5, 20), bytesAt(page - 5, 20));
    EXPECT_EQ(part.part(page, 40).read(0, 40), bytesAt(2 * page - 10, 40));
    EXPECT_EQ(part.named("NHD").read(10, 4), bytesAt(page, 4));
}

TEST_P(ImageFileReaderTest, AReadPastTheEndOfAPartIsAHeaderCutShortCountedInItsOwnBytes) {
    const ImageFileReader part = reader().part(1000, 700);
    EXPECT_TRUE(part.holds(0, 700));
    EXPECT_FALSE(part.holds(1, 700));
    EXPECT_FALSE(part.holds(-1, 2));
    EXPECT_EQ(errorText([&] { part.read(12, 700); }),
              "ヘッダの解析に失敗しました: "
              "D88ヘッダに必要なデータが不足しています（必要: 712バイト、実際: 700バイト）");
    // A part is cut from what the caller has checked; one outside the file is a fault of
    // the caller, never a read past the buffer.
    EXPECT_THROW(reader().part(static_cast<std::int64_t>(file.size()) - 10, 11), std::out_of_range);
    EXPECT_THROW(part.part(-1, 5), std::out_of_range);
}

TEST_P(ImageFileReaderTest, ABootSectorCutByTheEndOfTheFileReadsOnlyWhatTheFileHolds) {
    const auto size = static_cast<std::int64_t>(file.size());
    EXPECT_EQ(reader().readUpTo(size - 100, 512), bytesAt(file.size() - 100, 100));
    EXPECT_EQ(reader().readUpTo(page, 512), bytesAt(page, 512));
    EXPECT_TRUE(reader().readUpTo(size, 512).empty());
    EXPECT_TRUE(reader().readUpTo(size + 1, 512).empty());
    EXPECT_TRUE(reader().readUpTo(-1, 512).empty());
}

INSTANTIATE_TEST_SUITE_P(Sources, ImageFileReaderTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "paged" : "span"; });

} // namespace
} // namespace tamberlane::test
