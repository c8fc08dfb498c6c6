#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskImageError.h"
#include "engine/image/formats/FormatTable.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tamberlane::fuzz {

// Every image is hostile input, and the only way the engine may refuse one is a
// DiskImageError. Anything else that escapes (std::out_of_range from a bounded read, a
// bad_alloc) reaches libFuzzer as an uncaught exception and is reported as a finding.
template <typename Step> void refusingOnlyWithDiskImageError(Step&& step) {
    try {
        step();
    } catch (const DiskImageError&) {
    }
}

// The leading bytes of an input that choose what to do with the rest.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

    std::uint8_t takeByte() {
        if (bytes_.empty()) {
            return 0;
        }
        const std::uint8_t byte = bytes_.front();
        bytes_ = bytes_.subspan(1);
        return byte;
    }
    ByteView rest() const { return bytes_; }

  private:
    ByteView bytes_;
};

// One of the table's extensions, so that a file name reaches every container.
inline std::string pickImageExtension(std::uint8_t choice) {
    static const std::vector<std::string> extensions = allImageExtensions();
    return extensions[choice % extensions.size()];
}

} // namespace tamberlane::fuzz
