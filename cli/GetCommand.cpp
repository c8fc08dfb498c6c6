#include "cli/Commands.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/operations/HostExport.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct GetOptions {
    std::string image;
    std::vector<std::string> paths;
    std::string outputDirectory = ".";
    bool overwrite = false;
};

// The entries a command-line path names: "/" stands for the root's contents.
std::vector<FileEntry> entriesNamed(const DiskImage& image, const std::string& path) {
    if (const std::optional<FileEntry> entry = entryNamed(image, path)) {
        return {*entry};
    }
    return readDirectoryEntries(image, DiskPath::root(), std::nullopt);
}

int runGet(const GetOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::read);
    // A path that names nothing is reported after the others are written.
    std::vector<std::string> lookupFailures;
    std::vector<FileEntry> entries;
    for (const std::string& path : options.paths) {
        try {
            const std::vector<FileEntry> named = entriesNamed(*image, path);
            entries.insert(entries.end(), named.begin(), named.end());
        } catch (const DiskImageError& e) {
            lookupFailures.push_back(e.errorDescription());
        } catch (const CommandError& e) {
            lookupFailures.push_back(e.what());
        }
    }
    ExportOptions exportOptions;
    // A host file that already exists is named and kept unless the user said otherwise.
    exportOptions.existing =
        options.overwrite ? ExistingHostFile::overwrite : ExistingHostFile::refuse;
    const ExportResult result =
        exportEntries(*image, entries, options.outputDirectory, exportOptions);
    int status = lookupFailures.empty() ? exitSuccess : exitFailure;
    // Each entry that failed, inside the requested directories too, by its path.
    for (const BatchItemResult& problem : result.problems) {
        const std::string message = describeError(*problem.error);
        if (message.find(problem.name) == std::string::npos) {
            context.err << printableName(problem.name) << ": ";
        }
        context.err << printableName(message) << '\n';
        status = exitFailure;
    }
    for (const std::string& failure : lookupFailures) {
        context.err << printableName(failure) << '\n';
    }
    return status;
}

} // namespace

void registerGetCommand(CommandRegistry& registry) {
    auto options = std::make_shared<GetOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "get",
        translate(
            "ファイルやディレクトリ全体をホストのフォルダに書き出します (\"/\" はルートの中身)"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("PATH", options->paths,
                    translate("書き出すファイルまたはディレクトリのパス (複数可、必須)"))
        ->required();
    sub->add_option("-o", options->outputDirectory,
                    translate("書き出し先のフォルダ (省略時はカレントディレクトリ、なければ作成)"))
        ->type_name("DIR");
    sub->add_flag(
        "--overwrite", options->overwrite,
        translate("ホストにある同名のファイルを上書きします (開いているディスクイメージと、"
                  "他のプロセスがロックしているファイルは上書きしません)"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runGet(*options, context); });
}

} // namespace tamberlane::cli
