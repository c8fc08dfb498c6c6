#pragma once

#include "engine/image/Bytes.h"
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

// One row of the detection table: the lower-case extensions a container answers to,
// the reader that parses its header (throwing DiskImageError on a bad one) and the
// names of those extensions that are not named by themselves.
struct FormatRegistration {
    std::vector<std::string> extensions;
    std::function<std::shared_ptr<const DiskImageFormat>(ByteView data, const std::string& ext)>
        read;
    std::vector<ExtensionLabel> labels = {};
};

const std::vector<FormatRegistration>& formatTable();

// The image-information name of a container by its upper-cased file extension, e.g.
// "D88 (Neko Project 2)"; an extension without a name of its own (known or not) is
// shown as it is.
std::string formatLabelForExtension(std::string_view upperExtension);

} // namespace tamberlane
