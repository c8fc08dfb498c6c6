#pragma once

#include <cstdint>

namespace tamberlane::test {

// Bytes the process holds on its heap now, as the allocator in use counts them: the
// sanitizer's allocator when it runs under it, the C library's otherwise.
std::int64_t heapBytesInUse();

} // namespace tamberlane::test
