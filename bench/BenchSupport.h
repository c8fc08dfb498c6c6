#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace tamberlane::bench {

// Kilobytes of a "VmRSS:"-style line of /proc/self/status; -1 when it has none.
inline std::int64_t statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            std::istringstream fields(line.substr(std::string(key).size()));
            std::int64_t kib = 0;
            fields >> kib;
            return kib;
        }
    }
    return -1;
}

} // namespace tamberlane::bench
