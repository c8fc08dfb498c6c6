#include "cli/Commands.h"

#include "engine/base/Translation.h"
#include "engine/operations/HostExport.h"

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
    const auto image = openImage(service, options.image, context.global, ImageAccess::read);
    const std::optional<FileEntry> entry = entryNamed(*image, options.path);
    if (!entry || entry->directoryEntry.isDirectory()) {
        throw CommandError(translate("ディレクトリは出力できません: %1$s",
                                     {entry ? entry->path.displayString() : std::string("/")}));
    }
    // What lies inside the image is printed even when the rest is missing; the file is
    // then reported as incomplete.
    const EntryBytes read = readEntryBytes(*image, entry->directoryEntry);
    context.out.write(reinterpret_cast<const char*>(read.bytes.data()),
                      static_cast<std::streamsize>(read.bytes.size()));
    context.out.flush();
    if (!read.complete) {
        throw incompleteFile(entry->path.displayString());
    }
    return exitSuccess;
}

} // namespace

void registerCatCommand(CommandRegistry& registry) {
    auto options = std::make_shared<CatOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "cat", translate("イメージ内のファイルの内容をそのまま標準出力に書きます"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("PATH", options->path,
                    translate("イメージ内のファイルのパス (\"/\" 区切りの表示名、必須)"))
        ->required();
    registry.setAction(sub,
                       [options](CommandContext& context) { return runCat(*options, context); });
}

} // namespace tamberlane::cli
