#include "cli/Commands.h"
#include "cli/DeletedEntryNumbers.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/fat/LongNamePolicy.h"
#include "engine/operations/DeletedFileRecovery.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>

namespace tamberlane::cli {

namespace {

struct UndeleteOptions {
    std::string image;
    std::int64_t index = 0;
    std::string firstChar;
    std::string in = "/";
    LongNamePolicy longNames = LongNamePolicy::automatic;
};

int runUndelete(const UndeleteOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::change);
    const DiskPath directory = DiskPath::fromString(options.in);
    const auto entries = numberedDeletedEntries(*image, directory);
    const auto it = std::find_if(entries.begin(), entries.end(), [&options](const auto& numbered) {
        return numbered.first == options.index;
    });
    if (it == entries.end()) {
        throw CommandError(
            translate("削除済みエントリの番号ではありません: %1$s", {options.index}));
    }
    const DeletedFileEntry& target = it->second;
    const LongNamePolicy policy = options.longNames;
    const auto checked =
        DeletedFileRecovery::validateRestore(target, options.firstChar, *image, policy);
    if (const auto* message = std::get_if<std::string>(&checked)) {
        context.err << *message << '\n';
        return exitFailure;
    }
    try {
        DeletedFileRecovery::restore(*image, directory, target, std::get<std::uint8_t>(checked),
                                     policy);
    } catch (const DiskImageError& e) {
        context.err << translate("復元に失敗しました: %1$s", {describeError(e)}) << '\n';
        return exitFailure;
    }
    context.out << translate("ファイルを復元しました") << '\n';
    return exitSuccess;
}

} // namespace

void registerUndeleteCommand(CommandRegistry& registry) {
    auto options = std::make_shared<UndeleteOptions>();
    CLI::App* sub =
        registry.app().add_subcommand("undelete", translate("削除済みエントリを復元します"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_option("INDEX", options->index, translate("deleted が示す番号 (必須)"))->required();
    sub->add_option(
        "FIRSTCHAR", options->firstChar,
        translate("失われた先頭文字 (ASCII 1文字、または2バイト目が残っている全角1文字。"
                  "削除済みの長い名前から分かるときは省略可)"));
    sub->add_option("--in", options->in,
                    translate("削除済みエントリのあるディレクトリ (省略時はルート)"))
        ->type_name("PATH");
    addLongNamesOption(
        *sub, options->longNames,
        translate("長い名前を戻すか: auto (既定), always, never (短い名前だけ戻します)"));
    registry.setAction(
        sub, [options](CommandContext& context) { return runUndelete(*options, context); });
}

} // namespace tamberlane::cli
