#include "engine/base/PagedBytes.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
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

std::size_t pageCountFor(std::size_t size) {
    return (size + PagedBytes::pageSize - 1) / PagedBytes::pageSize;
}

// Pages read on demand are read in runs of at most this many: a long read is one call,
// and one block of memory stays alive only as long as a page of it does.
constexpr std::size_t longestRun = 256;
// A short run reads on into the unread pages after it, up to this many: an import writes
// cluster after cluster, and one read for the lot costs less than one for each.
constexpr std::size_t readAhead = 16;

} // namespace

struct PagedBytes::Cell {
    std::atomic<std::uint8_t*> bytes{nullptr};
    std::shared_ptr<std::uint8_t[]> storage;
};

struct PagedBytes::Source {
    std::mutex mutex;
    Reader read;
};

PagedBytes::Page PagedBytes::loadedPage(std::shared_ptr<std::uint8_t[]> block,
                                        std::uint8_t* bytes) {
    auto cell = std::make_shared<Cell>();
    cell->storage = std::move(block);
    cell->bytes.store(bytes, std::memory_order_release);
    return cell;
}

PagedBytes::PagedBytes(ByteView bytes)
    : PagedBytes(filledBy(bytes.size(), [&](std::span<std::uint8_t> out, std::size_t offset) {
          std::memcpy(out.data(), bytes.data() + offset, out.size());
      })) {}

PagedBytes PagedBytes::zeros(std::size_t size) {
    static const Page zero = [] {
        auto block = std::make_shared<std::uint8_t[]>(pageSize);
        return loadedPage(block, block.get());
    }();
    PagedBytes result;
    result.size_ = size;
    result.pages_.assign(pageCountFor(size), zero);
    return result;
}

PagedBytes PagedBytes::readOnDemand(std::size_t size, Reader read) {
    PagedBytes result;
    result.size_ = size;
    result.source_ = std::make_shared<Source>();
    result.source_->read = std::move(read);
    // All cells in one allocation: a gigabyte is 65,536 pages, and one allocation each
    // would cost more than reading what an open needs. Sharing one count, every cell
    // looks shared, so a first write copies its page even where no other holder has it.
    const std::size_t count = pageCountFor(size);
    const std::shared_ptr<Cell[]> cells(new Cell[count]);
    result.pages_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        result.pages_.emplace_back(cells, &cells[i]);
    }
    return result;
}

PagedBytes PagedBytes::filledBy(std::size_t size, const Filler& fill) {
    PagedBytes result;
    if (size == 0) {
        return result;
    }
    // One block for all pages and one for their cells, as for pages read on demand: the
    // first write to a page moves that page out, and a block goes when its last page does.
    const std::shared_ptr<std::uint8_t[]> block = allocateBlock(pageCountFor(size) * pageSize);
    fill(std::span<std::uint8_t>(block.get(), size), 0);
    result.size_ = size;
    const std::size_t count = pageCountFor(size);
    const std::shared_ptr<Cell[]> cells(new Cell[count]);
    result.pages_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        cells[i].storage = block;
        cells[i].bytes.store(block.get() + i * pageSize, std::memory_order_release);
        result.pages_.emplace_back(cells, &cells[i]);
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

void PagedBytes::load(std::size_t first, std::size_t end) const {
    if (!source_ ||
        std::all_of(pages_.begin() + static_cast<std::ptrdiff_t>(first),
                    pages_.begin() + static_cast<std::ptrdiff_t>(end), [](const Page& page) {
                        return page->bytes.load(std::memory_order_acquire) != nullptr;
                    })) {
        return;
    }
    const std::lock_guard<std::mutex> lock(source_->mutex);
    const auto unread = [&](std::size_t i) {
        return pages_[i]->bytes.load(std::memory_order_acquire) == nullptr;
    };
    for (std::size_t i = first; i < end;) {
        if (!unread(i)) {
            ++i;
            continue;
        }
        std::size_t runEnd = i + 1;
        while (runEnd < end && runEnd - i < longestRun && unread(runEnd)) {
            ++runEnd;
        }
        while (runEnd < pages_.size() && runEnd - i < readAhead && unread(runEnd)) {
            ++runEnd;
        }
        const std::shared_ptr<std::uint8_t[]> block = allocateBlock((runEnd - i) * pageSize);
        source_->read(i * pageSize,
                      std::span<std::uint8_t>(block.get(),
                                              std::min(size_, runEnd * pageSize) - i * pageSize));
        for (std::size_t k = i; k < runEnd; ++k) {
            pages_[k]->storage = block;
            pages_[k]->bytes.store(block.get() + (k - i) * pageSize, std::memory_order_release);
        }
        i = runEnd;
    }
}

std::uint8_t* PagedBytes::bytesOf(std::size_t index) const {
    std::uint8_t* bytes = pages_[index]->bytes.load(std::memory_order_acquire);
    if (bytes == nullptr) {
        load(index, index + 1);
        bytes = pages_[index]->bytes.load(std::memory_order_acquire);
    }
    return bytes;
}

std::uint8_t PagedBytes::operator[](std::size_t offset) const {
    checkRange(offset, 1);
    return bytesOf(offset / pageSize)[offset % pageSize];
}

void PagedBytes::forEachSegment(std::size_t offset, std::size_t length,
                                const std::function<void(ByteView)>& visit) const {
    checkRange(offset, length);
    if (length > 0) {
        load(offset / pageSize, (offset + length - 1) / pageSize + 1);
    }
    while (length > 0) {
        const std::size_t inPage = offset % pageSize;
        const std::size_t n = std::min(length, pageSize - inPage);
        visit(ByteView(bytesOf(offset / pageSize) + inPage, n));
        offset += n;
        length -= n;
    }
}

std::optional<ByteView> PagedBytes::contiguousView() const {
    if (pages_.empty()) {
        return ByteView();
    }
    const std::uint8_t* first = pages_.front()->bytes.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const std::uint8_t* bytes = pages_[i]->bytes.load(std::memory_order_acquire);
        if (bytes == nullptr || bytes != first + i * pageSize) {
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

void PagedBytes::readThrough(std::size_t offset, std::span<std::uint8_t> destination) const {
    checkRange(offset, destination.size());
    const std::size_t end = offset + destination.size();
    std::size_t at = offset;
    while (at < end) {
        const std::size_t index = at / pageSize;
        std::uint8_t* const to = destination.data() + (at - offset);
        if (const std::uint8_t* bytes = pages_[index]->bytes.load(std::memory_order_acquire)) {
            const std::size_t n = std::min(end - at, pageSize - at % pageSize);
            std::memcpy(to, bytes + at % pageSize, n);
            at += n;
            continue;
        }
        std::size_t runEnd = index + 1;
        while (runEnd * pageSize < end &&
               pages_[runEnd]->bytes.load(std::memory_order_acquire) == nullptr) {
            ++runEnd;
        }
        const std::size_t n = std::min(end, runEnd * pageSize) - at;
        const std::lock_guard<std::mutex> lock(source_->mutex);
        source_->read(at, std::span<std::uint8_t>(to, n));
        at += n;
    }
}

Bytes PagedBytes::slice(std::size_t offset, std::size_t length) const {
    checkRange(offset, length);
    Bytes out(length);
    copyTo(offset, out);
    return out;
}

std::size_t PagedBytes::pagesInMemory() const {
    std::size_t count = 0;
    for (const Page& page : pages_) {
        if (page->bytes.load(std::memory_order_acquire) != nullptr) {
            ++count;
        }
    }
    return count;
}

std::uint8_t* PagedBytes::ownPage(std::size_t index, bool keepContents) {
    Page& page = pages_[index];
    if (page.use_count() != 1) {
        // Other holders keep this page and must still read the bytes it has now: one not
        // read yet is read before it is left to them, whatever this write does to it.
        const std::uint8_t* old = bytesOf(index);
        auto copy = std::make_shared_for_overwrite<std::uint8_t[]>(pageSize);
        if (keepContents) {
            std::memcpy(copy.get(), old, pageLength(index));
        }
        page = loadedPage(copy, copy.get());
    } else if (page->bytes.load(std::memory_order_acquire) == nullptr) {
        if (keepContents) {
            bytesOf(index);
        } else {
            page->storage = std::make_shared_for_overwrite<std::uint8_t[]>(pageSize);
            page->bytes.store(page->storage.get(), std::memory_order_release);
        }
    }
    return page->bytes.load(std::memory_order_acquire);
}

template <typename Change>
void PagedBytes::changeRange(std::size_t offset, std::size_t length, Change&& change) {
    checkRange(offset, length);
    if (length > 0) {
        load(offset / pageSize, (offset + length - 1) / pageSize + 1);
    }
    std::size_t done = 0;
    while (done < length) {
        const std::size_t at = offset + done;
        const std::size_t index = at / pageSize;
        const std::size_t inPage = at % pageSize;
        const std::size_t n = std::min(length - done, pageSize - inPage);
        // `change(page, count, done, dryRun)` answers whether the bytes would differ.
        if (change(bytesOf(index) + inPage, n, done, true)) {
            const bool wholePage = inPage == 0 && n == pageLength(index);
            change(ownPage(index, !wholePage) + inPage, n, done, false);
        }
        done += n;
    }
}

void PagedBytes::replaceWholePages(std::size_t offset, ByteView bytes) {
    const std::size_t first = (offset + pageSize - 1) / pageSize;
    const std::size_t end = (offset + bytes.size()) / pageSize;
    if (first < end) {
        load(first, end);
    }
    std::vector<std::size_t> fresh;
    for (std::size_t i = first; i < end; ++i) {
        const std::uint8_t* from = bytes.data() + (i * pageSize - offset);
        if (pages_[i].use_count() != 1 && std::memcmp(bytesOf(i), from, pageSize) != 0) {
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
        pages_[fresh[k]] = loadedPage(block, to);
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
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (i >= other.pages_.size() || pages_[i] != other.pages_[i]) {
            ++count;
        }
    }
    return count;
}

void PagedBytes::forEachPageNotSharedWith(
    const PagedBytes& other, const std::function<void(std::size_t, ByteView)>& visit) const {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (i >= other.pages_.size() || pages_[i] != other.pages_[i]) {
            visit(i * pageSize, ByteView(bytesOf(i), pageLength(i)));
        }
    }
}

bool operator==(const PagedBytes& a, const PagedBytes& b) {
    if (a.size_ != b.size_) {
        return false;
    }
    for (std::size_t i = 0; i < a.pages_.size(); ++i) {
        if (a.pages_[i] != b.pages_[i] &&
            std::memcmp(a.bytesOf(i), b.bytesOf(i), a.pageLength(i)) != 0) {
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
        if (std::memcmp(a.bytesOf(i), b.data() + i * PagedBytes::pageSize, a.pageLength(i)) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace tamberlane
