#pragma once

#include "engine/base/PagedBytes.h"

#include <cstdint>
#include <filesystem>
#include <stop_token>

namespace tamberlane {

// The bytes of a host file said to be `length` long, read straight into pages that are
// not zero-filled first. A file that goes on past that length (those of /proc say 0) is
// read to its end, up to one byte past `limit`; one that turns out shorter changed under
// us and is an I/O error. A stop is seen between megabytes.
PagedBytes readHostFile(const std::filesystem::path& from, std::uintmax_t length,
                        std::uintmax_t limit, const std::stop_token& stop = {});

} // namespace tamberlane
