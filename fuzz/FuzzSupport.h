#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImageService.h"
#include "engine/image/VolumeChoice.h"
#include "engine/image/formats/FormatTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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

// An image file as a user opens it: the first byte picks the file's extension among the
// table's, the second a disk of a D88 file (low half) and a partition of a hard disk (high
// half), 0 for none given and otherwise one of the first four; the rest is the file.
struct PickedImage {
    std::string url;
    VolumeChoice choice;
    ByteView file;
};

inline PickedImage pickImage(FuzzInput& input) {
    const auto index = [](std::uint8_t choice) {
        return choice == 0 ? std::nullopt : std::optional<int>((choice - 1) % 4);
    };
    PickedImage picked;
    picked.url = "fuzz." + pickImageExtension(input.takeByte());
    const std::uint8_t indexChoice = input.takeByte();
    picked.choice = {index(indexChoice & 0x0F), index(indexChoice >> 4)};
    picked.file = input.rest();
    return picked;
}

// The picked file opened from its bytes, read-only, as the open target opens it.
inline std::shared_ptr<DiskImage> openPicked(const PickedImage& picked) {
    return DiskImageService::parseImage(picked.url, PagedBytes(picked.file), true, picked.choice);
}

} // namespace tamberlane::fuzz
