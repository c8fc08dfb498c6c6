#include "cli/Commands.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/fat/PathResolver.h"
#include "engine/operations/FileImport.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct PutOptions {
    std::string image;
    std::vector<std::string> hostFiles;
    std::string to = "/";
    bool overwrite = false;
    bool keepGoing = false;
    LongNamePolicy longNames = LongNamePolicy::automatic;
};

int runPut(const PutOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::change);
    // Refused once for the whole command, not once per file.
    image->checkWritable();
    const DiskPath to = DiskPath::fromString(options.to);
    if (!to.isRoot()) {
        // A destination that names nothing is one mistake, not one per file.
        PathResolver(*image).directory(to, PathResolver::Wording::change);
    }
    std::vector<std::filesystem::path> files(options.hostFiles.begin(), options.hostFiles.end());
    // One batch: the image file is written at most once, whatever the number of files.
    BatchOptions batch;
    batch.overwrite = options.overwrite;
    batch.mode = commandBatchMode(options.keepGoing, false);
    batch.longNames = options.longNames;
    const BatchResult result = FileImport(image).importFiles(files, to, batch);
    return finishBatch(result, options.keepGoing, false, context);
}

} // namespace

void registerPutCommand(CommandRegistry& registry) {
    auto options = std::make_shared<PutOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "put", translate("ホストのファイルをディスクイメージに書き込みます (まとめて一度に保存)"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("HOSTFILE", options->hostFiles,
                    translate("書き込むホストのファイル (複数可、必須)"))
        ->required();
    sub->add_option("--to", options->to, translate("書き込み先のディレクトリ (省略時はルート)"))
        ->type_name("PATH");
    sub->add_flag("--overwrite", options->overwrite, translate("同名のファイルを上書きします"));
    sub->add_flag(
        "--keep-going", options->keepGoing,
        translate("失敗したものがあっても、書き込めたものは保存します (省略時はすべて取りやめ)"));
    addLongNamesOption(*sub, options->longNames);
    registry.setAction(sub,
                       [options](CommandContext& context) { return runPut(*options, context); });
}

} // namespace tamberlane::cli
