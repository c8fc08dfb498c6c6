#include "cli/Commands.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/fat/PathResolver.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <ostream>

namespace tamberlane::cli {

namespace {

struct ListOptions {
    std::string image;
    std::string path = "/";
    bool longFormat = false;
    bool recursive = false;
    bool classify = false;
    bool json = false;
};

nlohmann::ordered_json entryJson(const FileEntry& entry) {
    const DirectoryEntry& e = entry.directoryEntry;
    nlohmann::ordered_json object;
    object["path"] = entry.path.displayString();
    object["name"] = e.displayName();
    object["shortName"] = e.shortName();
    object["longName"] = e.longFileName ? nlohmann::ordered_json(*e.longFileName) : nullptr;
    object["size"] = e.size;
    object["modified"] = formatIsoDate(e.modifiedDate);
    object["attributes"] = e.attributes.rawValue;
    object["directory"] = e.isDirectory();
    object["startCluster"] = e.startCluster;
    return object;
}

std::string padLeft(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

void printEntry(std::ostream& out, const FileEntry& entry, const ListOptions& options) {
    const bool longFormat = options.longFormat;
    const DirectoryEntry& e = entry.directoryEntry;
    if (longFormat) {
        // "4,294,967,295" is the widest size; "R H S A" the widest attribute column.
        const std::string size = e.isDirectory() ? "<DIR>" : formatGroupedNumber(e.size);
        out << padLeft(size, 13) << "  " << formatListDate(e.modifiedDate) << "  "
            << padRight(formatAttributes(e.attributes.rawValue), 7) << "  ";
    }
    // As its path names it: a name that displays like another's is printed raw.
    out << printableName(entry.path.isRoot() ? e.displayName() : entry.path.components.back());
    // Marked as GNU ls -F marks them, so a shell's completion can go on into a folder.
    if (options.classify && e.isDirectory()) {
        out << '/';
    }
    out << '\n';
}

using Visitor = std::function<void(const DiskPath&, const std::vector<FileEntry>&)>;

// Lists the directory, then (recursively) each of its subdirectories in on-disk order. A
// subdirectory that cannot be read is named on `err` and the walk goes on; returns
// whether every directory was read.
bool walk(DirectoryWalk& directories, const DiskPath& path, std::optional<std::uint16_t> cluster,
          bool recursive, std::ostream& err, const Visitor& visit) {
    const std::vector<FileEntry> entries = directories.read(path, cluster);
    visit(path, entries);
    if (!recursive) {
        return true;
    }
    bool complete = true;
    for (const FileEntry& entry : entries) {
        if (!entry.directoryEntry.isDirectory()) {
            continue;
        }
        try {
            complete = walk(directories, entry.path, entry.directoryEntry.startCluster, true, err,
                            visit) &&
                       complete;
        } catch (const DiskImageError& e) {
            err << printableName(entry.path.displayString()) << ": "
                << printableName(describeError(e)) << '\n';
            complete = false;
        }
    }
    return complete;
}

int runList(const ListOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::read);

    DiskPath start = DiskPath::fromString(options.path);
    std::optional<std::uint16_t> startCluster;
    if (!start.isRoot()) {
        const std::optional<FileEntry> named = PathResolver(*image).entry(start);
        if (!named) {
            throw DiskImageError::directoryNotListed(start.components.back());
        }
        if (!named->directoryEntry.isDirectory()) {
            // A path that names a file lists that file alone.
            if (options.json) {
                nlohmann::ordered_json array = nlohmann::ordered_json::array();
                array.push_back(entryJson(*named));
                context.out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                            << '\n';
            } else {
                printEntry(context.out, *named, options);
            }
            return exitSuccess;
        }
        start = named->path;
        startCluster = named->directoryEntry.startCluster;
    }

    DirectoryWalk directories(*image);
    if (options.json) {
        nlohmann::ordered_json array = nlohmann::ordered_json::array();
        const bool complete = walk(directories, start, startCluster, options.recursive, context.err,
                                   [&](const DiskPath&, const std::vector<FileEntry>& entries) {
                                       for (const FileEntry& entry : entries) {
                                           array.push_back(entryJson(entry));
                                       }
                                   });
        context.out << array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return complete ? exitSuccess : exitFailure;
    }
    bool first = true;
    const bool complete = walk(directories, start, startCluster, options.recursive, context.err,
                               [&](const DiskPath& path, const std::vector<FileEntry>& entries) {
                                   if (options.recursive) {
                                       context.out << (first ? "" : "\n")
                                                   << printableName(path.displayString()) << ":\n";
                                   }
                                   first = false;
                                   for (const FileEntry& entry : entries) {
                                       printEntry(context.out, entry, options);
                                   }
                               });
    return complete ? exitSuccess : exitFailure;
}

} // namespace

void registerListCommand(CommandRegistry& registry) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "ls",
        translate("ディレクトリのエントリをディスク上の順に表示します (パス省略時はルート \"/\")"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option(
        "PATH", options->path,
        translate("イメージ内のパス: \"/\" 区切りの表示名 (大文字小文字を区別しません)"));
    sub->add_flag("-l", options->longFormat,
                  translate("サイズ、更新日時 (東京時間)、属性 (R H S A) も表示します"));
    sub->add_flag("-R", options->recursive, translate("サブディレクトリをすべてたどります"));
    sub->add_flag("-F", options->classify, translate("ディレクトリの名前の後に \"/\" を付けます"));
    sub->add_flag("--json", options->json, translate("JSON の配列で出力します"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runList(*options, context); });
}

} // namespace tamberlane::cli
