#include "engine/image/formats/FormatTable.h"

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

namespace tamberlane {

namespace {

std::shared_ptr<const DiskImageFormat> readPlain(ByteView data, const std::string& ext) {
    return std::make_shared<PlainImageFormat>(static_cast<std::int64_t>(data.size()),
                                              DiskImageParser::upperExtensionOf("x." + ext));
}

std::shared_ptr<const DiskImageFormat> readD88(ByteView data, const std::string&) {
    return std::make_shared<D88ImageFormat>(D88ImageFormat::parseHeader(data));
}

// A file named .fdi without an FDI header is taken as headerless.
std::shared_ptr<const DiskImageFormat> readFDI(ByteView data, const std::string& ext) {
    if (FDIImageFormat::passesHeaderTest(data)) {
        return std::make_shared<FDIImageFormat>();
    }
    return readPlain(data, ext);
}

template <typename Format>
std::shared_ptr<const DiskImageFormat> readHeader(ByteView data, const std::string&) {
    return std::make_shared<Format>(data);
}

std::shared_ptr<const DiskImageFormat> readTHD(ByteView data, const std::string&) {
    return std::make_shared<THDImageFormat>(static_cast<std::int64_t>(data.size()));
}

} // namespace

const std::vector<FormatRegistration>& formatTable() {
    static const std::vector<FormatRegistration> table = {
        {{"tfd", "bin", "xdf", "hdm", "img"},
         readPlain,
         {{"BIN", "BIN (Raw Image)"}, {"IMG", "IMG (Raw Image)"}}},
        {{"d88"}, readD88, {{"D88", "D88 (Neko Project 2)"}}},
        {{"fdi"}, readFDI, {{"FDI", "FDI (Anex86)"}}},
        {{"hdi"}, readHeader<HDIImageFormat>, {{"HDI", "HDI (Anex86/T98-Next)"}}},
        {{"nfd"}, readHeader<NFDImageFormat>, {{"NFD", "NFD (T98-Next)"}}},
        {{"nhd"}, readHeader<NHDImageFormat>},
        {{"thd"}, readTHD},
        {{"dim"}, readHeader<DIMImageFormat>},
        {{"dcp", "dcu"}, readHeader<DCPImageFormat>},
    };
    return table;
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
