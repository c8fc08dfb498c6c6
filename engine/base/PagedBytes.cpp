#include "engine/base/PagedBytes.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <sys/mman.h>

namespace tamberlane {

namespace {

// From this size on a block is mapped on its own, so that the kernel can back it with
// huge pages and fault it in at once: reading a big image or writing a big file then
// faults a few times rather than once per 4 KiB.
constexpr std::size_t mappedBlockThreshold = std::size_t{256} << 10;

std::shared_ptr<std::uint8_t[]> allocateBlock(std::size_t size) {
    if (size < mappedBlockThreshold) {
        return std::make_shared_for_overwrite<std::uint8_t[]>(size);
    }
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        throw std::bad_alloc();
    }
    madvise(block, size, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    // Faulting the block in one call rather than page by page while it is read into:
    // on a virtual machine every fault is a trip through the hypervisor.
    madvise(block, size, MADV_POPULATE_WRITE);
#endif
    return std::shared_ptr<std::uint8_t[]>(static_cast<std::uint8_t*>(block),
                                           [size](std::uint8_t* p) { munmap(p, size); });
}

const std::shared_ptr<std::uint8_t[]>& zeroPage() {
    static const auto page = std::make_shared<std::uint8_t[]>(PagedBytes::pageSize);
    return page;
}

std::size_t pageCountFor(std::size_t size) {
    return (size + PagedBytes::pageSize - 1) / PagedBytes::pageSize;
}

} // namespace

PagedBytes::PagedBytes(ByteView bytes)
    : PagedBytes(filledBy(bytes.size(), [&](std::span<std::uint8_t> out, std::size_t offset) {
          std::memcpy(out.data(), bytes.data() + offset, out.size());
      })) {}

PagedBytes PagedBytes::zeros(std::size_t size) {
    PagedBytes result;
    result.size_ = size;
    result.pages_.assign(pageCountFor(size), zeroPage());
    return result;
}

PagedBytes PagedBytes::filledBy(std::size_t size, const Filler& fill) {
    PagedBytes result;
    if (size == 0) {
        return result;
    }
    // One block for all pages, each page an alias into it: the first write to a page
    // moves that page out, and the block goes when its last page does.
    const std::shared_ptr<std::uint8_t[]> block = allocateBlock(pageCountFor(size) * pageSize);
    fill(std::span<std::uint8_t>(block.get(), size), 0);
    result.size_ = size;
    result.pages_.reserve(pageCountFor(size));
    for (std::size_t i = 0; i < pageCountFor(size); ++i) {
        result.pages_.emplace_back(block, block.get() + i * pageSize);
    }
    return result;
}

std::size_t PagedBytes::pageLength(std::size_t index) const {
    return std::min(pageSize, size_ - index * pageSize);
}

void PagedBytes::checkRange(std::size_t offset, std::size_t length) const {
    if (offset > size_ || length > size_ - offset) {
        throw std::out_of_range("range past the end of a paged byte buffer");
    }
}

std::uint8_t PagedBytes::operator[](std::size_t offset) const {
    checkRange(offset, 1);
    return pages_[offset / pageSize][offset % pageSize];
}

void PagedBytes::forEachSegment(std::size_t offset, std::size_t length,
                                const std::function<void(ByteView)>& visit) const {
    checkRange(offset, length);
    while (length > 0) {
        const std::size_t inPage = offset % pageSize;
        const std::size_t n = std::min(length, pageSize - inPage);
        visit(ByteView(pages_[offset / pageSize].get() + inPage, n));
        offset += n;
        length -= n;
    }
}

std::optional<ByteView> PagedBytes::contiguousView() const {
    if (pages_.empty()) {
        return ByteView();
    }
    const std::uint8_t* first = pages_.front().get();
    for (std::size_t i = 1; i < pages_.size(); ++i) {
        if (pages_[i].get() != first + i * pageSize) {
            return std::nullopt;
        }
    }
    return ByteView(first, size_);
}

ByteView PagedBytes::viewUsing(Bytes& copy) const {
    if (const auto view = contiguousView()) {
        return *view;
    }
    copy = toBytes();
    return copy;
}

void PagedBytes::copyTo(std::size_t offset, std::span<std::uint8_t> destination) const {
    std::size_t done = 0;
    forEachSegment(offset, destination.size(), [&](ByteView piece) {
        std::memcpy(destination.data() + done, piece.data(), piece.size());
        done += piece.size();
    });
}

Bytes PagedBytes::slice(std::size_t offset, std::size_t length) const {
    checkRange(offset, length);
    Bytes out(length);
    copyTo(offset, out);
    return out;
}

std::uint8_t* PagedBytes::ownPage(std::size_t index, bool keepContents) {
    Page& page = pages_[index];
    if (page.use_count() != 1) {
        auto copy = std::make_shared_for_overwrite<std::uint8_t[]>(pageSize);
        if (keepContents) {
            std::memcpy(copy.get(), page.get(), pageLength(index));
        }
        page = std::move(copy);
    }
    return page.get();
}

template <typename Change>
void PagedBytes::changeRange(std::size_t offset, std::size_t length, Change&& change) {
    checkRange(offset, length);
    std::size_t done = 0;
    while (done < length) {
        const std::size_t at = offset + done;
        const std::size_t index = at / pageSize;
        const std::size_t inPage = at % pageSize;
        const std::size_t n = std::min(length - done, pageSize - inPage);
        // `change(page, count, done, dryRun)` answers whether the bytes would differ.
        if (change(pages_[index].get() + inPage, n, done, true)) {
            const bool wholePage = inPage == 0 && n == pageLength(index);
            change(ownPage(index, !wholePage) + inPage, n, done, false);
        }
        done += n;
    }
}

void PagedBytes::replaceWholePages(std::size_t offset, ByteView bytes) {
    const std::size_t first = (offset + pageSize - 1) / pageSize;
    const std::size_t end = (offset + bytes.size()) / pageSize;
    std::vector<std::size_t> fresh;
    for (std::size_t i = first; i < end; ++i) {
        const std::uint8_t* from = bytes.data() + (i * pageSize - offset);
        if (pages_[i].use_count() != 1 && std::memcmp(pages_[i].get(), from, pageSize) != 0) {
            fresh.push_back(i);
        }
    }
    if (fresh.size() < 2) {
        return;
    }
    const std::shared_ptr<std::uint8_t[]> block = allocateBlock(fresh.size() * pageSize);
    for (std::size_t k = 0; k < fresh.size(); ++k) {
        std::uint8_t* to = block.get() + k * pageSize;
        std::memcpy(to, bytes.data() + (fresh[k] * pageSize - offset), pageSize);
        pages_[fresh[k]] = Page(block, to);
    }
}

void PagedBytes::write(std::size_t offset, ByteView bytes) {
    checkRange(offset, bytes.size());
    replaceWholePages(offset, bytes);
    changeRange(offset, bytes.size(),
                [&](std::uint8_t* to, std::size_t n, std::size_t from, bool dryRun) {
                    if (dryRun) {
                        return std::memcmp(to, bytes.data() + from, n) != 0;
                    }
                    std::memcpy(to, bytes.data() + from, n);
                    return true;
                });
}

void PagedBytes::fill(std::size_t offset, std::size_t length, std::uint8_t value) {
    changeRange(offset, length, [&](std::uint8_t* to, std::size_t n, std::size_t, bool dryRun) {
        if (dryRun) {
            return std::any_of(to, to + n, [&](std::uint8_t b) { return b != value; });
        }
        std::memset(to, value, n);
        return true;
    });
}

std::size_t PagedBytes::pagesNotSharedWith(const PagedBytes& other) const {
    std::size_t count = 0;
    forEachPageNotSharedWith(other, [&](std::size_t, ByteView) { ++count; });
    return count;
}

void PagedBytes::forEachPageNotSharedWith(
    const PagedBytes& other, const std::function<void(std::size_t, ByteView)>& visit) const {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (i >= other.pages_.size() || pages_[i] != other.pages_[i]) {
            visit(i * pageSize, ByteView(pages_[i].get(), pageLength(i)));
        }
    }
}

bool operator==(const PagedBytes& a, const PagedBytes& b) {
    if (a.size_ != b.size_) {
        return false;
    }
    for (std::size_t i = 0; i < a.pages_.size(); ++i) {
        if (a.pages_[i] != b.pages_[i] &&
            std::memcmp(a.pages_[i].get(), b.pages_[i].get(), a.pageLength(i)) != 0) {
            return false;
        }
    }
    return true;
}

bool operator==(const PagedBytes& a, ByteView b) {
    if (a.size_ != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.pages_.size(); ++i) {
        if (std::memcmp(a.pages_[i].get(), b.data() + i * PagedBytes::pageSize, a.pageLength(i)) !=
            0) {
            return false;
        }
    }
    return true;
}

} // namespace tamberlane
