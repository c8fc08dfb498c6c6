#include "cli/Commands.h"

#include "engine/base/Translation.h"
#include "engine/operations/EntryRename.h"

#include <CLI/CLI.hpp>

namespace tamberlane::cli {

namespace {

struct RenameOptions {
    std::string image;
    std::string path;
    std::string newName;
    LongNamePolicy longNames = LongNamePolicy::automatic;
};

int runRename(const RenameOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::change);
    const std::optional<FileEntry> entry = entryNamed(*image, options.path);
    if (!entry) {
        throw UsageError(translate("ルートディレクトリの名前は変更できません"));
    }
    EntryRename(image).rename(*entry, options.newName, options.longNames);
    return exitSuccess;
}

} // namespace

void registerRenameCommand(CommandRegistry& registry) {
    auto options = std::make_shared<RenameOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "rename", translate("ファイルやディレクトリの名前を変更します"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("PATH", options->path, translate("名前を変更するエントリのパス (必須)"))
        ->required();
    sub->add_option("NEWNAME", options->newName, translate("新しい名前 NAME.EXT (必須)"))
        ->required();
    addLongNamesOption(*sub, options->longNames);
    registry.setAction(sub,
                       [options](CommandContext& context) { return runRename(*options, context); });
}

} // namespace tamberlane::cli
