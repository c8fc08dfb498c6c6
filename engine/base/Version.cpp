#include "engine/base/Version.h"

#ifndef TAMBERLANE_VERSION
#define TAMBERLANE_VERSION "unknown"
#endif

namespace tamberlane {

const char* programVersion() {
    return TAMBERLANE_VERSION;
}

} // namespace tamberlane
