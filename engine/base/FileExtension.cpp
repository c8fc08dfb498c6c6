#include "engine/base/FileExtension.h"

namespace tamberlane {

namespace {

std::string extensionWithoutDot(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (!extension.empty() && extension.front() == '.') {
        extension.erase(0, 1);
    }
    return extension;
}

} // namespace

std::string asciiLowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string asciiUpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string lowerExtension(const std::filesystem::path& file) {
    return asciiLowerCase(extensionWithoutDot(file));
}

std::string upperExtension(const std::filesystem::path& file) {
    return asciiUpperCase(extensionWithoutDot(file));
}

} // namespace tamberlane
