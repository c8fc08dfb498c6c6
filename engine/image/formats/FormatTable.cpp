#include "engine/image/formats/FormatTable.h"

#include "engine/image/DiskImageParser.h"
#include "engine/image/formats/PlainImageFormat.h"


namespace tamberlane {

namespace {

std::shared_ptr<const DiskImageFormat> readPlain(ByteView data, const std::string& ext) {
    return std::make_shared<PlainImageFormat>(static_cast<std::int64_t>(data.size()),
                                              DiskImageParser::upperExtensionOf("x." + ext));
}

} // namespace

const std::vector<FormatRegistration>& formatTable() {
    static const std::vector<FormatRegistration> table = {
        {{"tfd", "bin", "xdf", "hdm", "img"}, readPlain},
    };
    return table;
}

} // namespace tamberlane
