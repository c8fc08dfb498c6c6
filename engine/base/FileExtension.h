#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tamberlane {

// Extensions are compared without regard to case; only ASCII letters are folded, so a
// name in another script never changes.
std::string asciiLowerCase(std::string_view text);
std::string asciiUpperCase(std::string_view text);

// The file's extension without its dot, folded: "d88" / "D88" for "Disk.D88"; empty when
// it has none.
std::string lowerExtension(const std::filesystem::path& file);
std::string upperExtension(const std::filesystem::path& file);

} // namespace tamberlane
