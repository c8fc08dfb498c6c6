#include "cli/Commands.h"

#include "engine/base/Translation.h"
#include "engine/operations/EntryRename.h"

#include <CLI/CLI.hpp>

namespace tamberlane::cli {

namespace {

struct MkdirOptions {
    std::string image;
    std::string path;
    LongNamePolicy longNames = LongNamePolicy::automatic;
};

int runMkdir(const MkdirOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::change);
    const DiskPath path = DiskPath::fromString(options.path);
    if (path.isRoot()) {
        throw UsageError(translate("作成するディレクトリの名前がありません"));
    }
    EntryRename(image).createDirectory(path.components.back(), path.parent(), options.longNames);
    return exitSuccess;
}

} // namespace

void registerMkdirCommand(CommandRegistry& registry) {
    auto options = std::make_shared<MkdirOptions>();
    CLI::App* sub = registry.app().add_subcommand("mkdir", translate("ディレクトリを作成します"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("PATH", options->path, translate("作成するディレクトリのパス (必須)"))
        ->required();
    addLongNamesOption(*sub, options->longNames);
    registry.setAction(sub,
                       [options](CommandContext& context) { return runMkdir(*options, context); });
}

} // namespace tamberlane::cli
