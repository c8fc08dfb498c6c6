#include "cli/Commands.h"

#include "engine/fat/NewEntryName.h"
#include "engine/operations/EntryRename.h"

#include <CLI/CLI.hpp>

namespace tamberlane::cli {

namespace {

struct RenameOptions {
    std::string image;
    std::string path;
    std::string newName;
};

int runRename(const RenameOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global);
    const std::optional<FileEntry> entry = entryNamed(*image, options.path);
    if (!entry) {
        throw UsageError("ルートディレクトリの名前は変更できません");
    }
    // NAME.EXT split at the last full stop, as an imported file's name is split: a
    // leading full stop starts the name, so ".profile" has no extension.
    const auto [name, extension] = NewEntryName::split(options.newName);
    EntryRename(image).rename(*entry, name, extension);
    return exitSuccess;
}

} // namespace

void registerRenameCommand(CommandRegistry& registry) {
    auto options = std::make_shared<RenameOptions>();
    CLI::App* sub =
        registry.app().add_subcommand("rename", "ファイルやディレクトリの名前を変更します");
    sub->add_option("IMAGE", options->image, "ディスクイメージファイル (必須)")->required();
    sub->add_option("PATH", options->path, "名前を変更するエントリのパス (必須)")->required();
    sub->add_option("NEWNAME", options->newName, "新しい名前 NAME.EXT (必須)")->required();
    registry.setAction(sub,
                       [options](CommandContext& context) { return runRename(*options, context); });
}

} // namespace tamberlane::cli
