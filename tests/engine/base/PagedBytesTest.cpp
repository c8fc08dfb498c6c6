#include "engine/base/PagedBytes.h"

#include <gtest/gtest.h>

namespace tamberlane {
namespace {

constexpr std::size_t page = PagedBytes::pageSize;

Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}

// Undo snapshots and rollback marks are copies of the image's bytes: a write through one
// holder that reached another would silently change what an undo puts back.
TEST(PagedBytes, CopiesNeverSeeEachOthersWritesAndShareWhatNeitherChanged) {
    const Bytes original = pattern(3 * page + 100);
    PagedBytes image(original);
    const PagedBytes snapshot = image;

    // Across a page boundary, and into the short last page.
    image.write(page - 3, Bytes{1, 2, 3, 4, 5, 6});
    image.fill(3 * page + 90, 10, 0xEE);
    EXPECT_TRUE(snapshot == original);
    Bytes expected = original;
    std::copy_n(Bytes{1, 2, 3, 4, 5, 6}.begin(), 6, expected.begin() + page - 3);
    std::fill_n(expected.begin() + 3 * page + 90, 10, 0xEE);
    EXPECT_EQ(image.toBytes(), expected);
    EXPECT_EQ(image.slice(page - 4, 8), Bytes(expected.begin() + page - 4, expected.begin() + page + 4));
    EXPECT_EQ(image.pagesNotSharedWith(snapshot), 3u) << "page 2 was never written";

    // Writing bytes that are already there copies nothing: the FAT is rewritten whole
    // on every change, and only the pages whose bytes differ may cost memory.
    PagedBytes same = snapshot;
    same.write(0, ByteView(original).first(2 * page));
    same.fill(3 * page, 0, 0);
    EXPECT_EQ(same.pagesNotSharedWith(snapshot), 0u);

    // A long write takes new pages for the ones it covers whole (here pages 1 and 2) and
    // copies the one it covers in part; the snapshot still sees none of it.
    PagedBytes big = snapshot;
    const Bytes run = pattern(2 * page + 10);
    big.write(page, run);
    Bytes bigExpected = original;
    std::copy(run.begin(), run.end(), bigExpected.begin() + page);
    EXPECT_EQ(big.toBytes(), bigExpected);
    EXPECT_TRUE(snapshot == original);

    // Zeros share one page until written; a rollback by assignment restores every page.
    PagedBytes zeros = PagedBytes::zeros(2 * page + 1);
    zeros.write(2 * page, Bytes{9});
    EXPECT_EQ(zeros.toBytes(), [] { Bytes b(2 * page + 1, 0); b.back() = 9; return b; }());
    image = snapshot;
    EXPECT_EQ(image.pagesNotSharedWith(snapshot), 0u);
    EXPECT_TRUE(image == snapshot);

    EXPECT_THROW(image.write(3 * page + 99, Bytes{1, 2}), std::out_of_range);
    EXPECT_THROW(image.slice(3 * page + 101, 0), std::out_of_range);
}

} // namespace
} // namespace tamberlane
