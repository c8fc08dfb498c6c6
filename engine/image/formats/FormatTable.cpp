#include "engine/image/formats/FormatTable.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/FileExtension.h"
#include "engine/image/DiskImageParser.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/DCPFormat.h"
#include "engine/image/formats/DIMFormat.h"
#include "engine/image/formats/FDIFormat.h"
#include "engine/image/formats/HDIFormat.h"
#include "engine/image/formats/NFDFormat.h"
#include "engine/image/formats/NHDFormat.h"
#include "engine/image/formats/PlainImageFormat.h"
#include "engine/image/formats/THDFormat.h"

#include <algorithm>
#include <stdexcept>

namespace tamberlane {

namespace {

std::shared_ptr<const DiskImageFormat> readPlain(const ImageFileReader& file,
                                                 const std::string& ext) {
    return PlainImageFormat::read(file, asciiUpperCase(ext));
}

std::shared_ptr<const DiskImageFormat> readD88(const ImageFileReader& file, const std::string&) {
    return std::make_shared<D88ImageFormat>(D88ImageFormat::parseHeader(file));
}

// A file named .fdi without an FDI header is taken as headerless.
std::shared_ptr<const DiskImageFormat> readFDI(const ImageFileReader& file,
                                               const std::string& ext) {
    if (FDIImageFormat::passesHeaderTest(file)) {
        return std::make_shared<FDIImageFormat>();
    }
    return readPlain(file, ext);
}

template <typename Format>
std::shared_ptr<const DiskImageFormat> readHeader(const ImageFileReader& file, const std::string&) {
    return std::make_shared<Format>(file);
}

std::shared_ptr<const DiskImageFormat> readTHD(const ImageFileReader& file, const std::string&) {
    return std::make_shared<THDImageFormat>(file.size());
}

Bytes copyVolume(ByteView volume, const DiskGeometry&) {
    return Bytes(volume.begin(), volume.end());
}

Bytes noHeader(std::int64_t, const DiskGeometry&) {
    return {};
}

Bytes nhdHeader(std::int64_t, const DiskGeometry& geometry) {
    return buildNHDHeader(geometry);
}

Bytes buildNewD88(ByteView volume, const DiskGeometry& geometry) {
    return D88ImageFormat::buildD88Image(volume, geometry, D88WriteVariant::newImage);
}

Bytes buildConvertedD88(ByteView volume, const DiskGeometry& geometry) {
    return D88ImageFormat::buildD88Image(volume, geometry, D88WriteVariant::conversion);
}

bool hasSignature(const ImageFileReader& file, std::string_view signature) {
    const auto length = static_cast<std::int64_t>(signature.size());
    if (!file.holds(0, length)) {
        return false;
    }
    const Bytes start = file.read(0, length);
    return std::equal(signature.begin(), signature.end(), start.begin());
}

// Only a header that agrees with the file it is in: a D88 disk size equal to the file's.
bool looksLikeD88(const ImageFileReader& file) {
    if (!file.holds(0, D88Header::size) || readU32LE(file.read(0x1C, 4), 0) != file.size()) {
        return false;
    }
    try {
        D88ImageFormat::parseHeader(file);
        return true;
    } catch (const DiskImageError&) {
        return false;
    }
}

// FDI and HDI share their header; a floppy's geometry says which one the file is.
std::shared_ptr<const DiskImageFormat> readFDIOrHDI(const ImageFileReader& file) {
    const Bytes counts = file.read(24, 8);
    const std::uint32_t heads = readU32LE(counts, 0);
    const std::uint32_t cylinders = readU32LE(counts, 4);
    if (isFloppyGeometry({heads, cylinders, 0, 0})) {
        return std::make_shared<FDIImageFormat>();
    }
    return std::make_shared<HDIImageFormat>(file);
}

} // namespace

std::shared_ptr<const DiskImageFormat> recognizeByContent(const ImageFileReader& file,
                                                          const std::string& ext) {
    if (looksLikeD88(file)) {
        return readD88(file, ext);
    }
    if (FDIImageFormat::passesHeaderTest(file)) {
        return readFDIOrHDI(file);
    }
    if (hasSignature(file, "T98FDDIMAGE.R0")) {
        return readHeader<NFDImageFormat>(file, ext);
    }
    if (hasSignature(file, "T98HDDIMAGE.R0")) {
        return readHeader<NHDImageFormat>(file, ext);
    }
    if (PlainImageFormat::startsWithBootSector(file)) {
        return readPlain(file, ext.empty() ? "bin" : ext);
    }
    return nullptr;
}

const std::vector<FormatRegistration>& formatTable() {
    static const std::vector<FormatRegistration> table = {
        // Emulators of other machines name the same two layouts their own way: D88
        // files as .d77/.d68/.88d/.98d/.d98, raw dumps as .ima/.dsk/.2hd/....
        {.family = ContainerFamily::headerless,
         .capabilities = {.mayHoldPartitionTable = true, .statesGeometry = false},
         .name = "BIN",
         .extensions = {"tfd", "bin", "xdf", "hdm", "img", "ima", "dsk", "2hd", "2dd", "flp",
                        "vfd"},
         .read = readPlain,
         .labels = {{"BIN", "BIN (Raw Image)"}, {"IMG", "IMG (Raw Image)"}},
         .writing = ContainerWriting{NewImageFormat::bin, OfferedDisks::all, copyVolume, nullptr,
                                     nullptr, noHeader},
         .targetLabel = "BIN (Raw Image)"},
        {.family = ContainerFamily::d88,
         .capabilities = {.holdsSeveralDisks = true},
         .name = "D88",
         .extensions = {"d88", "d77", "d68", "88d", "98d", "d98"},
         .read = readD88,
         .labels = {{"D88", "D88 (Neko Project 2)"}},
         .writing = ContainerWriting{NewImageFormat::d88, OfferedDisks::floppies, buildNewD88,
                                     buildConvertedD88},
         .targetLabel = "D88 (Neko Project 2)"},
        {.family = ContainerFamily::fdi,
         .capabilities = {.bootSectorMayLackJump = true},
         .name = "FDI",
         .extensions = {"fdi"},
         .read = readFDI,
         .labels = {{"FDI", "FDI (Anex86)"}},
         .writing = ContainerWriting{NewImageFormat::fdi, OfferedDisks::floppies, buildFDINewImage,
                                     buildFDIImage, nullptr, buildFDIHeader},
         .targetLabel = "FDI (Anex86)"},
        {.family = ContainerFamily::hdi,
         .capabilities = {.mayHoldPartitionTable = true},
         .name = "HDI",
         .extensions = {"hdi"},
         .read = readHeader<HDIImageFormat>,
         .labels = {{"HDI", "HDI (Anex86/T98-Next)"}},
         .writing = ContainerWriting{NewImageFormat::hdi, OfferedDisks::hardDisks, buildFDINewImage,
                                     buildHDIImage, nullptr, buildFDIHeader},
         .targetLabel = "HDI (Anex86/T98-Next)"},
        {.family = ContainerFamily::nfd,
         .capabilities = {},
         .name = "NFD",
         .extensions = {"nfd"},
         .read = readHeader<NFDImageFormat>,
         .labels = {{"NFD", "NFD (T98-Next)"}},
         .writing = ContainerWriting{NewImageFormat::nfd, OfferedDisks::floppies, buildNFDImage},
         .targetLabel = "NFD (T98-Next Floppy)"},
        {.family = ContainerFamily::nhd,
         .capabilities = {.mayHoldPartitionTable = true},
         .name = "NHD",
         .extensions = {"nhd"},
         .read = readHeader<NHDImageFormat>,
         .writing = ContainerWriting{NewImageFormat::nhd, OfferedDisks::hardDisks, buildNHDImage,
                                     nullptr, nullptr, nhdHeader},
         .targetLabel = "NHD (T98-Next HD)"},
        {.family = ContainerFamily::thd,
         .capabilities = {.mayHoldPartitionTable = true},
         .name = "THD",
         .extensions = {"thd"},
         .read = readTHD},
        {.family = ContainerFamily::dim,
         .capabilities = {},
         .name = "DIM",
         .extensions = {"dim"},
         .read = readHeader<DIMImageFormat>,
         .writing = ContainerWriting{NewImageFormat::dim, OfferedDisks::floppies, buildDIMNewImage,
                                     nullptr, dimReadsBack},
         .targetLabel = "DIM"},
        {.family = ContainerFamily::dcp,
         .capabilities = {},
         .name = "DCP",
         .extensions = {"dcp", "dcu"},
         .read = readHeader<DCPImageFormat>,
         .writing = ContainerWriting{NewImageFormat::dcp, OfferedDisks::floppies, buildDCPNewImage},
         .targetLabel = "DCP (Disk Copy Pro)"},
    };
    return table;
}

const FormatRegistration& registrationOf(NewImageFormat format) {
    for (const FormatRegistration& row : formatTable()) {
        if (row.writing && row.writing->key == format) {
            return row;
        }
    }
    throw std::logic_error("no table row writes this container");
}

const ContainerCapabilities& capabilitiesOf(const DiskImageFormat& format) {
    for (const FormatRegistration& row : formatTable()) {
        if (row.family == format.family()) {
            return row.capabilities;
        }
    }
    throw std::logic_error("no table row reads this container");
}

const ContainerCapabilities& capabilitiesOfExtension(std::string_view lowerExtension) {
    static const ContainerCapabilities unknown;
    const FormatRegistration* row = formatForExtension(lowerExtension);
    return row != nullptr ? row->capabilities : unknown;
}

const FormatRegistration* formatForExtension(std::string_view lowerExtension) {
    for (const FormatRegistration& row : formatTable()) {
        for (const std::string& extension : row.extensions) {
            if (extension == lowerExtension) {
                return &row;
            }
        }
    }
    return nullptr;
}

std::vector<std::string> allImageExtensions() {
    std::vector<std::string> all;
    for (const FormatRegistration& row : formatTable()) {
        all.insert(all.end(), row.extensions.begin(), row.extensions.end());
    }
    return all;
}

std::string formatLabelForExtension(std::string_view upperExtension) {
    for (const FormatRegistration& row : formatTable()) {
        for (const ExtensionLabel& named : row.labels) {
            if (named.upperExtension == upperExtension) {
                return named.label;
            }
        }
    }
    return std::string(upperExtension);
}

} // namespace tamberlane
