#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/image/DiskImageFormat.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlane {

// How the container of a file with one extension is named to the user.
struct ExtensionLabel {
    std::string upperExtension;
    std::string label;
};

// What a container can hold, so code that treats one differently (the disk list of a
// D88 file) reads its row rather than testing a type or an extension.
struct ContainerCapabilities {
    // Several disks one after another, each with its own header; one is opened.
    bool holdsSeveralDisks = false;
    // A whole disk whose first sector may be a partition table rather than a boot sector.
    bool mayHoldPartitionTable = false;
    // The header states the disk's geometry; without one it is only guessed from the
    // file's size, and partitions are not placed by it.
    bool statesGeometry = true;
    // The boot sector may lack the jump instruction that a search otherwise requires.
    bool bootSectorMayLackJump = false;
};

// The containers a new image can be written in, and an open one converted into; each
// is the key of the table row that writes it.
enum class NewImageFormat { bin, d88, fdi, hdi, nfd, nhd, dim, dcp };
using ConvertFormat = NewImageFormat;

// The disks a container is offered for, as a new image and as a conversion target.
enum class OfferedDisks { all, floppies, hardDisks };

// The whole container file for a flat volume of `geometry`.
using ContainerWriter = Bytes (*)(ByteView volume, const DiskGeometry& geometry);
// What a container file holds before a volume of `volumeSize` bytes that follows it as it is.
using ContainerHeader = Bytes (*)(std::int64_t volumeSize, const DiskGeometry& geometry);

struct ContainerWriting {
    NewImageFormat key;
    OfferedDisks offered;
    ContainerWriter newImage;
    // Only where a converted image is written differently from a new one (the D88
    // disk type follows other rules).
    ContainerWriter conversion = nullptr;
    // Only where the header cannot state every geometry of the offered disks: those it
    // reads back as they were written.
    bool (*readsBack)(const DiskGeometry& geometry) = nullptr;
    // Only where a converted file is a header followed by the volume as it is (the file
    // the converter builds): that header, so that the volume is copied rather than built.
    ContainerHeader conversionHeader = nullptr;

    ContainerWriter converter() const { return conversion ? conversion : newImage; }
};

// One row of the format table: the name a written image is shown by (in lower case,
// the extension it is written with), the lower-case extensions a container answers to,
// the reader that parses its header (throwing DiskImageError on a bad one), the names
// of those extensions that are not named by themselves, and, for a container that can
// be written, how.
struct FormatRegistration {
    ContainerFamily family;
    ContainerCapabilities capabilities;
    std::string name;
    std::vector<std::string> extensions;
    std::function<std::shared_ptr<const DiskImageFormat>(const ImageFileReader& file,
                                                         const std::string& ext)>
        read;
    std::vector<ExtensionLabel> labels = {};
    std::optional<ContainerWriting> writing = std::nullopt;
    // How the conversion dialog offers a container it can write; the information view
    // names an open one by its extension instead (the NFD row differs).
    std::string targetLabel = {};
};

const std::vector<FormatRegistration>& formatTable();
// The row that writes `format`.
const FormatRegistration& registrationOf(NewImageFormat format);
// What the container `format` was read from can hold.
const ContainerCapabilities& capabilitiesOf(const DiskImageFormat& format);
// Those of the container the extension names; an unknown one's are the defaults.
const ContainerCapabilities& capabilitiesOfExtension(std::string_view lowerExtension);
// The row whose extensions hold `lowerExtension`, or null.
const FormatRegistration* formatForExtension(std::string_view lowerExtension);
// For an extension in no row: the container the content itself shows (a D88 header whose
// size is the file's, an FDI/HDI header, an NFD/NHD signature, a boot sector at the
// start), or null.
std::shared_ptr<const DiskImageFormat> recognizeByContent(const ImageFileReader& file,
                                                          const std::string& ext);
// Every extension of the table, in its order, lower case.
std::vector<std::string> allImageExtensions();

// The image-information name of a container by its upper-cased file extension, e.g.
// "D88 (Neko Project 2)"; an extension without a name of its own (known or not) is
// shown as it is.
std::string formatLabelForExtension(std::string_view upperExtension);

} // namespace tamberlane
