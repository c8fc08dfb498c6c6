#pragma once

#include <filesystem>
#include <string>

namespace tamberlane::HostFileName {

// The only way a name read from a disk becomes a host file name: "/", NUL and control
// characters become "_", and "", "." and ".." become "_".
std::string safeHostFileName(const std::string& diskName);

// `folder` / safe name, guaranteed to stay inside `folder`.
std::filesystem::path pathInside(const std::filesystem::path& folder, const std::string& diskName);

} // namespace tamberlane::HostFileName
