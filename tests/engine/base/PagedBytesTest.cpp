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
    EXPECT_EQ(image.slice(page - 4, 8),
              Bytes(expected.begin() + page - 4, expected.begin() + page + 4));
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
    EXPECT_EQ(zeros.toBytes(), [] {
        Bytes b(2 * page + 1, 0);
        b.back() = 9;
        return b;
    }());
    image = snapshot;
    EXPECT_EQ(image.pagesNotSharedWith(snapshot), 0u);
    EXPECT_TRUE(image == snapshot);

    EXPECT_THROW(image.write(3 * page + 99, Bytes{1, 2}), std::out_of_range);
    EXPECT_THROW(image.slice(3 * page + 101, 0), std::out_of_range);
}

// A file read on demand, whose bytes can be changed behind the buffer's back as another
// program would change the image file.
struct CountedFile {
    Bytes bytes;
    int reads = 0;
    bool failing = false;
    PagedBytes pages() {
        return PagedBytes::readOnDemand(
            bytes.size(), [this](std::size_t offset, std::span<std::uint8_t> out) {
                ++reads;
                if (failing) {
                    throw std::runtime_error("unreadable");
                }
                std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(),
                            out.begin());
            });
    }
};

// Every holder must read back the bytes a page had when it took the page. A page still
// unread that one holder replaced, even whole, would otherwise be read for the others from
// a file that no longer holds those bytes.
TEST(PagedBytes, APageReadOnDemandIsReadOnceForAllHoldersAndBeforeAnyoneReplacesIt) {
    CountedFile file{pattern(4 * page + 10)};
    const Bytes original = file.bytes;
    PagedBytes image = file.pages();
    const PagedBytes snapshot = image;
    EXPECT_EQ(image.pagesInMemory(), 0u);

    // Read through, pages stay unread: exporting a big file must not keep it in memory.
    Bytes through(page + 4);
    image.readThrough(page - 2, through);
    EXPECT_EQ(through, Bytes(original.begin() + page - 2, original.begin() + 2 * page + 2));
    EXPECT_EQ(image.pagesInMemory(), 0u);

    // Read in place once, for every holder, and in one call for a run of pages.
    file.reads = 0;
    image.forEachSegment(0, 2 * page, [](ByteView) {});
    EXPECT_EQ(file.reads, 1);
    EXPECT_EQ(snapshot[page + 1], original[page + 1]);
    EXPECT_EQ(file.reads, 1);

    // A write covering page 3 whole reads it first; then the file changes.
    image.write(3 * page, Bytes(page, 0xAB));
    std::fill(file.bytes.begin(), file.bytes.end(), std::uint8_t{0xEE});
    EXPECT_EQ(snapshot.slice(3 * page, page),
              Bytes(original.begin() + 3 * page, original.begin() + 4 * page));
    EXPECT_EQ(image[3 * page], 0xAB);
    EXPECT_EQ(image.pagesNotSharedWith(snapshot), 1u);

    // A failed read leaves the page unread, to be read again when next needed.
    CountedFile broken{pattern(page)};
    broken.failing = true;
    const PagedBytes unreadable = broken.pages();
    EXPECT_THROW(unreadable[0], std::runtime_error);
    broken.failing = false;
    EXPECT_EQ(unreadable[5], broken.bytes[5]);
}

} // namespace
} // namespace tamberlane
