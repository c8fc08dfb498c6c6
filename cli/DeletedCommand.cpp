#include "cli/Commands.h"
#include "cli/DeletedEntryNumbers.h"

#include "engine/base/Translation.h"
#include "engine/fat/EntryLookup.h"
#include "engine/operations/DeletedFileRecovery.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <map>
#include <ostream>

namespace tamberlane::cli {

namespace {

struct DeletedOptions {
    std::string image;
    std::string path = "/";
    bool json = false;
};

int runDeleted(const DeletedOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::read);
    const auto entries = numberedDeletedEntries(*image, DiskPath::fromString(options.path));
    if (options.json) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        for (const auto& [number, e] : entries) {
            nlohmann::ordered_json object;
            object["index"] = number;
            object["displayName"] = e.displayName;
            object["size"] = e.size;
            object["modified"] = formatIsoDate(e.modifiedDate);
            object["recoverability"] = e.recoverability;
            object["requiredClusters"] = e.requiredClusters;
            object["freeClusters"] = e.freeClusters;
            object["startCluster"] = e.startCluster;
            object["directory"] = e.isDirectory();
            object["shortName"] = e.shortName;
            object["longName"] =
                e.longName ? nlohmann::ordered_json(*e.longName) : nlohmann::ordered_json();
            array.push_back(std::move(object));
        }
        context.out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return exitSuccess;
    }
    // Two deleted entries that display alike are told apart by their raw names.
    std::map<std::string, int> uses;
    for (const auto& numbered : entries) {
        ++uses[numbered.second.displayName];
    }
    for (const auto& [number, e] : entries) {
        const ByteView raw(e.rawEntryData);
        const std::string name = uses[e.displayName] > 1 && raw.size() >= 11
                                     ? EntryLookup::rawForm(raw.first(8), raw.subspan(8, 3))
                                     : printableName(e.displayName);
        context.out << number << '\t' << name << (e.isDirectory() ? "/" : "") << '\t' << e.size
                    << '\t' << formatListDate(e.modifiedDate) << '\t' << e.recoverability << "%\n";
    }
    return exitSuccess;
}

} // namespace

void registerDeletedCommand(CommandRegistry& registry) {
    auto options = std::make_shared<DeletedOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "deleted",
        translate(
            "ディレクトリの削除済みエントリと復元可能性を一覧します (番号は undelete で使用)"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("PATH", options->path, translate("ディレクトリのパス (省略時はルート)"));
    sub->add_flag("--json", options->json, translate("JSON の配列で出力します"));
    registry.setAction(
        sub, [options](CommandContext& context) { return runDeleted(*options, context); });
}

} // namespace tamberlane::cli
