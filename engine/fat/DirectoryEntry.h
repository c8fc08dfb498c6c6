#pragma once

#include "engine/base/Bytes.h"
#include "engine/fat/FileAttributes.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tamberlane {

using EntryId = std::uint64_t;
// A fresh identity for each parsed entry (unique within the process).
EntryId newEntryId();

using Timestamp = std::chrono::sys_seconds;

struct DirectoryEntry {
    EntryId id = 0;
    std::string name;
    std::string extension_;
    FileAttributes attributes;
    std::uint32_t size = 0;
    Timestamp modifiedDate{};
    std::uint16_t startCluster = 0;
    Bytes rawName;
    Bytes rawExtension;
    std::optional<std::string> longFileName;

    std::string displayName() const;
    // NAME.EXT, or NAME when there is no extension.
    std::string shortName() const;
    bool isDirectory() const { return attributes.isDirectory(); }
};

} // namespace tamberlane
