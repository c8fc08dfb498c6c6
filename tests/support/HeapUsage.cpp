#include "tests/support/HeapUsage.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAMBERLANE_HEAP_FROM_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TAMBERLANE_HEAP_FROM_SANITIZER 1
#endif

#ifdef TAMBERLANE_HEAP_FROM_SANITIZER
#include <cstddef>
// The sanitizer runtime's own count; its header is not installed with every compiler.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace tamberlane::test {

std::int64_t heapBytesInUse() {
#ifdef TAMBERLANE_HEAP_FROM_SANITIZER
    return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    return static_cast<std::int64_t>(mallinfo2().uordblks);
#endif
}

} // namespace tamberlane::test
