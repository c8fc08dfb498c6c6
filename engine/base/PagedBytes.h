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
// Holders never see each other's writes. Concurrent readers of distinct PagedBytes
// values sharing pages are safe; one value is not to be written and read at once.
class PagedBytes {
  public:
    static constexpr std::size_t pageSize = 16 * 1024;

    PagedBytes() = default;
    explicit PagedBytes(ByteView bytes);
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
    Bytes toBytes() const { return slice(0, size_); }
    // The whole buffer as one span, when its pages happen to lie one after another in
    // memory (as right after filledBy, before any write): parsers read it in place.
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
    using Page = std::shared_ptr<std::uint8_t[]>;
    std::size_t pageLength(std::size_t index) const;
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
};

} // namespace tamberlane
