#pragma once

#include "engine/base/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tamberlane {

// A byte buffer that behaves as a value but is held in fixed-size pages that copies
// share until one of them writes: a write copies only the pages it changes. An undo
// snapshot or a rollback mark of a whole disk image therefore costs what the change
// after it touched, not the size of the image.
//
// A buffer can also be read on demand from a file: a page is read the first time someone
// needs it, and then once for every holder of it. Every holder reads back the bytes a page
// had when it took the page, so a page still unread is read before any holder replaces
// it, even by a write that covers it whole.
//
// Holders never see each other's writes. Concurrent readers of distinct PagedBytes
// values sharing pages are safe; one value is not to be written and read at once.
class PagedBytes {
  public:
    static constexpr std::size_t pageSize = 16 * 1024;

    PagedBytes() = default;
    explicit PagedBytes(ByteView bytes);
    // Fills `destination` with the bytes at `offset`, all of them, or throws.
    using Reader = std::function<void(std::size_t offset, std::span<std::uint8_t> destination)>;
    // `size` bytes that `read` supplies when first needed. It is called with whole pages
    // (the last one short), one call at a time for all the copies of the buffer.
    static PagedBytes readOnDemand(std::size_t size, Reader read);
    // `size` zero bytes; they take no memory until written.
    static PagedBytes zeros(std::size_t size);
    // Fills a buffer of `size` bytes by calling `fill` with consecutive spans covering it
    // in order, each written straight into its final place; `fill` may throw.
    using Filler = std::function<void(std::span<std::uint8_t> destination, std::size_t offset)>;
    static PagedBytes filledBy(std::size_t size, const Filler& fill);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    std::uint8_t operator[](std::size_t offset) const;
    // Bytes [offset, offset + length); the range must lie inside the buffer.
    Bytes slice(std::size_t offset, std::size_t length) const;
    void copyTo(std::size_t offset, std::span<std::uint8_t> destination) const;
    // The same, but pages not read yet are read straight into `destination` and stay
    // unread, so that exporting a big file does not keep it in memory.
    void readThrough(std::size_t offset, std::span<std::uint8_t> destination) const;
    // How many pages have been read or written: the memory the buffer's pages take.
    std::size_t pagesInMemory() const;
    Bytes toBytes() const { return slice(0, size_); }
    // The whole buffer as one span, when its pages happen to lie one after another in
    // memory (as right after filledBy, before any write).
    std::optional<ByteView> contiguousView() const;
    // The whole buffer as one span: in place when contiguous, else copied into `copy`.
    ByteView viewUsing(Bytes& copy) const;
    // Calls `visit` with the contiguous pieces of [offset, offset + length), in order.
    void forEachSegment(std::size_t offset, std::size_t length,
                        const std::function<void(ByteView)>& visit) const;

    // Writes `bytes` at `offset`; the range must lie inside the buffer. A page whose bytes
    // would not change is neither copied nor touched.
    void write(std::size_t offset, ByteView bytes);
    void fill(std::size_t offset, std::size_t length, std::uint8_t value);

    // How many of this buffer's pages are held by no other buffer: the memory a copy of
    // it would keep alive on its own.
    std::size_t pagesNotSharedWith(const PagedBytes& other) const;
    // Calls `visit` with the offset and bytes of each of those pages, in order.
    void forEachPageNotSharedWith(const PagedBytes& other,
                                  const std::function<void(std::size_t, ByteView)>& visit) const;

    friend bool operator==(const PagedBytes& a, const PagedBytes& b);
    friend bool operator==(const PagedBytes& a, ByteView b);

  private:
    // One page as all its holders see it: its bytes are set once, when it is read, and
    // changed afterwards only by a holder that owns the page alone.
    struct Cell;
    struct Source;
    using Page = std::shared_ptr<Cell>;
    static Page loadedPage(std::shared_ptr<std::uint8_t[]> block, std::uint8_t* bytes);
    std::size_t pageLength(std::size_t index) const;
    // The page's bytes, read first if need be.
    std::uint8_t* bytesOf(std::size_t index) const;
    // Reads the pages of [first, end) not read yet, runs of them at a time.
    void load(std::size_t first, std::size_t end) const;
    // The page, made this buffer's own first; `keepContents` false when the caller
    // overwrites all of it, so a shared page is not copied only to be overwritten.
    std::uint8_t* ownPage(std::size_t index, bool keepContents);
    void checkRange(std::size_t offset, std::size_t length) const;
    // The shared pages a long write changes whole get new pages from one block: one
    // allocation rather than one per page.
    void replaceWholePages(std::size_t offset, ByteView bytes);
    template <typename Change>
    void changeRange(std::size_t offset, std::size_t length, Change&& change);

    std::vector<Page> pages_;
    std::size_t size_ = 0;
    // Where unread pages come from; shared by every copy of a buffer read on demand.
    std::shared_ptr<Source> source_;
};

} // namespace tamberlane
