#pragma once

#include "engine/base/Bytes.h"
#include "engine/image/DiskImageFormat.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlane {

// How the container of a file with one extension is named to the user.
struct ExtensionLabel {
    std::string upperExtension;
    std::string label;
};

// What a row of the detection table stands for, so code that treats one container
// family differently (the disk list of a D88 file) asks the table, not an extension.
enum class ContainerFamily { headerless, d88, fdi, hdi, nfd, nhd, thd, dim, dcp };

// One row of the detection table: the lower-case extensions a container answers to,
// the reader that parses its header (throwing DiskImageError on a bad one) and the
// names of those extensions that are not named by themselves.
struct FormatRegistration {
    ContainerFamily family;
    std::vector<std::string> extensions;
    std::function<std::shared_ptr<const DiskImageFormat>(ByteView data, const std::string& ext)>
        read;
    std::vector<ExtensionLabel> labels = {};
};

const std::vector<FormatRegistration>& formatTable();
// The row whose extensions hold `lowerExtension`, or null.
const FormatRegistration* formatForExtension(std::string_view lowerExtension);
bool extensionIsOfFamily(std::string_view lowerExtension, ContainerFamily family);
// For an extension in no row: the container the content itself shows (a D88 header whose
// size is the file's, an FDI/HDI header, an NFD/NHD signature, a boot sector at the
// start), or null.
std::shared_ptr<const DiskImageFormat> recognizeByContent(ByteView data, const std::string& ext);
// Every extension of the table, in its order, lower case.
std::vector<std::string> allImageExtensions();

// The image-information name of a container by its upper-cased file extension, e.g.
// "D88 (Neko Project 2)"; an extension without a name of its own (known or not) is
// shown as it is.
std::string formatLabelForExtension(std::string_view upperExtension);

} // namespace tamberlane
