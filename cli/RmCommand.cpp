#include "cli/Commands.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/operations/EntryDeletion.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct RmOptions {
    std::string image;
    std::vector<std::string> paths;
    bool recursive = false;
    bool keepGoing = false;
};

int runRm(const RmOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::change);
    // Refused once for the whole command, not once per path.
    image->checkWritable();
    bool failedBefore = false;
    std::vector<FileEntry> entries;
    for (const std::string& path : options.paths) {
        try {
            const std::optional<FileEntry> entry = entryNamed(*image, path);
            if (!entry) {
                throw CommandError(translate("ルートディレクトリは削除できません"));
            }
            // Without -r a directory is refused: deleting only its entry would leave
            // its contents in clusters nothing refers to.
            if (entry->directoryEntry.isDirectory() && !options.recursive) {
                throw CommandError(
                    translate("ディレクトリです (-r で中身ごと削除します): %1$s", {path}));
            }
            entries.push_back(*entry);
        } catch (const DiskImageError& e) {
            // A path under a damaged directory does not stop the others.
            context.err << describeError(e) << '\n';
            failedBefore = true;
        } catch (const CommandError& e) {
            context.err << e.what() << '\n';
            failedBefore = true;
        }
    }
    BatchResult result;
    if (!entries.empty()) {
        result = EntryDeletion(image).deleteEntries(
            entries, options.recursive, commandBatchMode(options.keepGoing, failedBefore));
    }
    return finishBatch(result, options.keepGoing, failedBefore, context);
}

} // namespace

void registerRmCommand(CommandRegistry& registry) {
    auto options = std::make_shared<RmOptions>();
    CLI::App* sub =
        registry.app().add_subcommand("rm", translate("ファイルやディレクトリを削除します"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("PATH", options->paths,
                    translate("削除するファイルまたはディレクトリ (複数可、必須)"))
        ->required();
    sub->add_flag("-r", options->recursive, translate("ディレクトリを中身ごと削除します"));
    sub->add_flag(
        "--keep-going", options->keepGoing,
        translate("失敗したものがあっても、削除できたものは保存します (省略時はすべて取りやめ)"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runRm(*options, context); });
}

} // namespace tamberlane::cli
