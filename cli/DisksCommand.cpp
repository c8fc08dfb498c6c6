#include "cli/Commands.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/FileExtension.h"
#include "engine/base/Translation.h"
#include "engine/image/DiskImageParser.h"
#include "engine/image/formats/D88Format.h"
#include "engine/image/formats/FormatTable.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <ostream>

namespace tamberlane::cli {

namespace {

struct DisksOptions {
    std::string image;
    bool json = false;
};

std::string familyExtensions(ContainerFamily family) {
    std::string list;
    for (const FormatRegistration& row : formatTable()) {
        if (row.family != family) {
            continue;
        }
        for (const std::string& extension : row.extensions) {
            list += (list.empty() ? "." : " .") + extension;
        }
    }
    return list;
}

std::string padLeft(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

int runDisks(const DisksOptions& options, CommandContext& context) {
    if (!capabilitiesOfExtension(lowerExtension(options.image)).holdsSeveralDisks) {
        throw UsageError(translate("ディスクの一覧は D88 ファイルだけで表示できます: %1$s",
                                   {printableName(options.image)}));
    }
    const std::vector<D88Disk> disks = DiskImageService::disksOf(options.image);
    if (disks.empty()) {
        throw CommandError(
            translate("完全なディスクが見つかりません: %1$s", {printableName(options.image)}));
    }

    if (options.json) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i < disks.size(); ++i) {
            const D88Header& header = disks[i].header;
            array.push_back({{"number", i + 1},
                             {"offset", disks[i].offset},
                             {"name", header.diskName},
                             {"type", d88DiskTypeName(header.diskType)},
                             {"size", header.diskSize},
                             {"writeProtected", header.writeProtect}});
        }
        context.out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return exitSuccess;
    }

    // The columns: number 4, offset 10, type 4, size 10, protection 4, then the name.
    context.out << translate("番号  オフセット  種類    サイズ  保護  ディスク名") << '\n';
    for (std::size_t i = 0; i < disks.size(); ++i) {
        const D88Header& header = disks[i].header;
        context.out << padLeft(std::to_string(i + 1), 4) << "  "
                    << padLeft(std::to_string(disks[i].offset), 10) << "  "
                    << padRight(d88DiskTypeName(header.diskType), 4)
                    << padLeft(std::to_string(header.diskSize), 10) << "  "
                    << padRight(header.writeProtect ? translate("あり") : translate("なし"), 4)
                    << "  " << printableName(header.diskName) << '\n';
    }
    return exitSuccess;
}

} // namespace

void registerDisksCommand(CommandRegistry& registry) {
    auto options = std::make_shared<DisksOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "disks",
        translate(
            "D88 ファイルのディスクを一覧表示します (--disk N でその番号のディスクを開けます)"));
    sub->add_option(
           "IMAGE", options->image,
           translate("D88 ファイル (必須、%1$s)", {familyExtensions(ContainerFamily::d88)}))
        ->required();
    sub->add_flag("--json", options->json, translate("JSON の配列で出力します"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runDisks(*options, context); });
}

} // namespace tamberlane::cli
