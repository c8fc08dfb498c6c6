#include "cli/Commands.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/FileExtension.h"
#include "engine/base/Translation.h"
#include "engine/fat/NewImageFile.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>

namespace tamberlane::cli {

namespace {

// The system's own words for a failed conversion.
constexpr Text conversionFailed = N_("変換に失敗しました: %1$s");

struct ConvertOptions {
    std::string image;
    std::string output;
    bool overwrite = false;
};

// The extensions a volume of `geometry` can be converted into; without one, all of them.
std::string targetExtensions(const std::optional<DiskGeometry>& geometry) {
    std::string list;
    for (ConvertFormat format : availableFormats(geometry)) {
        list += (list.empty() ? "" : ", ") + fileExtension(format);
    }
    return list;
}

int runConvert(const ConvertOptions& options, CommandContext& context) {
    const std::string extension = lowerExtension(options.output);
    const auto target = newImageFormatForExtension(extension);
    if (!target) {
        throw CommandError(
            conversionFailed(DiskImageError::unsupportedFormat(extension).errorDescription()));
    }
    const ConvertFormat format = *target;

    // The source stays open while the result is written: a save by another program meanwhile
    // puts a new file in its place, and what is converted is still the file as it was opened.
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::read);
    try {
        convertImage(*image, format, options.output,
                     options.overwrite ? ExistingTarget::replace : ExistingTarget::keep);
    } catch (const DiskImageError& e) {
        throw CommandError(conversionFailed(e.errorDescription()));
    }
    context.out << translate("変換しました: %1$s (%2$s)",
                             {printableName(options.output), rawValue(format)})
                << '\n';
    return exitSuccess;
}

} // namespace

void registerConvertCommand(CommandRegistry& registry) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "convert",
        translate(
            "イメージを OUTPUT の拡張子の形式に変換して書き出します (元のイメージは変更しません)"));
    sub->footer(translate(
        "変換先: フロッピー (2ヘッド以下、82シリンダ以下) は %1$s; それ以外は %2$s。\n"
        "--disk, --partition と --manual は変換元を開くときに使われます。\n"
        "変換したイメージは書き出す前に読み直し、パーティションとボリュームが元と同じで"
        "なければ書き出しません。\n"
        "既存の OUTPUT は --overwrite があるときだけ置き換えます。他のプログラムの使用中の"
        "ファイルや変換元自身には書き込みません (終了ステータス 1)。",
        {targetExtensions(DiskGeometry{2, 82, 8, 512}),
         targetExtensions(DiskGeometry{2, 83, 8, 512})}));
    sub->add_option("IMAGE", options->image, translate("変換元のディスクイメージファイル (必須)"))
        ->required();
    sub->add_option(
           "OUTPUT", options->output,
           translate("書き出すファイル (必須、拡張子 %1$s)", {targetExtensions(std::nullopt)}))
        ->required();
    sub->add_flag("--overwrite", options->overwrite, translate("既存の OUTPUT を置き換えます"));
    registry.setAction(
        sub, [options](CommandContext& context) { return runConvert(*options, context); });
}

} // namespace tamberlane::cli
