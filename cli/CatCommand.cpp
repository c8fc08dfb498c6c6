#include "cli/Commands.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct CatOptions {
    std::string image;
    std::string path;
};

int runCat(const CatOptions& options, CommandContext& context) {
    DiskImageService service;
    openImage(service, options.image, context.global);
    const std::optional<FileEntry> entry = findEntry(service, options.path);
    if (!entry || entry->directoryEntry.isDirectory()) {
        throw CommandError("ディレクトリは出力できません: " +
                           (entry ? entry->path.displayString() : std::string("/")));
    }
    const Bytes bytes = service.readFile(*entry);
    context.out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
    context.out.flush();
    return exitSuccess;
}

} // namespace

void registerCatCommand(CommandRegistry& registry) {
    auto options = std::make_shared<CatOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "cat", "イメージ内のファイルの内容をそのまま標準出力に書きます");
    sub->add_option("IMAGE", options->image, "ディスクイメージファイル (必須)")->required();
    sub->add_option("PATH", options->path,
                    "イメージ内のファイルのパス (\"/\" 区切りの表示名、必須)")
        ->required();
    registry.setAction(sub,
                       [options](CommandContext& context) { return runCat(*options, context); });
}

} // namespace tamberlane::cli
