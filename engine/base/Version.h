#pragma once

namespace tamberlane {

// The release both front ends report (the build's project version).
const char* programVersion();

} // namespace tamberlane
