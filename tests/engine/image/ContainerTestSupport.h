#pragma once

#include "engine/image/DiskImageError.h"
#include "engine/image/NewImage.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace tamberlane::test {

struct OfferedCombination {
    NewImageFormat format;
    DiskSize size;
};

// A whole file in one read (the character-by-character read is slow on 40 MB images
// under the sanitizers).
inline Bytes slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    Bytes out(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return out;
}

inline std::vector<OfferedCombination> offeredCombinations() {
    std::vector<OfferedCombination> all;
    for (NewImageFormat format : allNewImageFormats()) {
        for (DiskSize size : availableSizes(format)) {
            all.push_back({format, size});
        }
    }
    return all;
}

inline std::string sizeTag(DiskSize size) {
    static const char* const tags[] = {"640KB", "1_2MB", "1_44MB", "10MB", "20MB", "40MB"};
    return tags[static_cast<int>(size)];
}

inline std::string comboName(const OfferedCombination& c) {
    return rawValue(c.format) + "_" + sizeTag(c.size);
}

inline void PrintTo(const OfferedCombination& c, std::ostream* os) {
    *os << comboName(c);
}

// Runs `fsck.fat -n`. A volume whose boot sector has no extended signature (as every
// new volume of this system) is reported by fsck.fat 4.x with an empty, "invalid" boot
// label and exit status 1; that one finding is not a fault of the volume.
inline ::testing::AssertionResult fsckAccepts(const std::filesystem::path& image) {
    const CommandResult r = runCommand("fsck.fat -n " + shellQuote(image.string()));
    if (r.exitStatus == 0) {
        return ::testing::AssertionSuccess();
    }
    std::istringstream lines(r.output + "\n" + r.errors);
    std::string line;
    std::string unexpected;
    while (std::getline(lines, line)) {
        if (line.empty() || line.rfind("fsck.fat ", 0) == 0 ||
            line == "Label '' stored in boot sector is not valid." ||
            line == "  Auto-removing label from boot sector." ||
            line == "Leaving filesystem unchanged." || line.rfind(image.string() + ":", 0) == 0) {
            continue;
        }
        unexpected += line + "\n";
    }
    if (r.exitStatus == 1 && unexpected.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "fsck.fat exit " << r.exitStatus << ":\n"
                                         << r.output << r.errors;
}

// `mdir -/ -a` of the whole volume, without the free-space line (it is the same
// volume, but the line depends on nothing we check).
inline std::string mdirListing(const std::filesystem::path& image) {
    const CommandResult r =
        runCommand("MTOOLS_SKIP_CHECK=1 mdir -/ -a -i " + shellQuote(image.string()) + " ::");
    std::istringstream lines(r.output);
    std::string line;
    std::string out;
    while (std::getline(lines, line)) {
        if (line.find("bytes free") == std::string::npos) {
            out += line + "\n";
        }
    }
    return out;
}

inline DiskImageError::Kind kindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DiskImageError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no DiskImageError thrown";
    return DiskImageError::Kind::ioError;
}

} // namespace tamberlane::test
