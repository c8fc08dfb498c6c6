#include "cli/Commands.h"

#include "engine/base/HexText.h"
#include "engine/base/Translation.h"
#include "engine/fat/DiskImageService.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct PartitionsOptions {
    std::string image;
    bool json = false;
};

const char* schemeName(PartitionScheme scheme) {
    return scheme == PartitionScheme::pc98 ? "PC-98" : "PC/AT";
}

std::string padLeft(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// Only reads, without a lock, like the D88 disk list.
int runPartitions(const PartitionsOptions& options, CommandContext& context) {
    const std::vector<PartitionInfo> partitions = DiskImageService::partitionsOf(options.image);
    if (partitions.empty()) {
        throw CommandError(
            translate("FAT パーティションが見つかりません: %1$s", {printableName(options.image)}));
    }
    if (options.json) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (const PartitionInfo& p : partitions) {
            array.push_back({{"number", p.number},
                             {"scheme", schemeName(p.scheme)},
                             {"type", hexByte(p.systemType)},
                             {"offset", p.offset},
                             {"size", p.size},
                             {"name", p.name}});
        }
        context.out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return exitSuccess;
    }
    // The columns: number 4, scheme 5, type 4, offset 14, size 12, then the name.
    context.out << translate("番号  方式   種類    オフセット      サイズ  名前") << '\n';
    for (const PartitionInfo& p : partitions) {
        context.out << padLeft(std::to_string(p.number), 4) << "  " << schemeName(p.scheme) << "  "
                    << hexByte(p.systemType) << padLeft(std::to_string(p.offset), 14)
                    << padLeft(std::to_string(p.size), 12) << "  " << printableName(p.name) << '\n';
    }
    return exitSuccess;
}

} // namespace

void registerPartitionsCommand(CommandRegistry& registry) {
    auto options = std::make_shared<PartitionsOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "partitions", translate("ハードディスクイメージの FAT パーティションを一覧表示します "
                                "(--partition N でその番号のパーティションを開けます)"));
    sub->add_option("IMAGE", options->image, translate("ハードディスクイメージ (必須)"))
        ->required();
    sub->add_flag("--json", options->json, translate("JSON の配列で出力します"));
    registry.setAction(
        sub, [options](CommandContext& context) { return runPartitions(*options, context); });
}

} // namespace tamberlane::cli
