#pragma once

#include "engine/base/DiskImageError.h"

#include <string_view>

namespace tamberlane {

// Stable names of an error's kind and reason, for output read by programs (JSON): they never
// change with the interface's language or the wording of a message.
std::string_view kindCode(DiskImageError::Kind kind);
std::string_view reasonCode(DiskImageError::Reason reason);

} // namespace tamberlane
