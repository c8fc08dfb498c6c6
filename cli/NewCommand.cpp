#include "cli/Commands.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/FileExtension.h"
#include "engine/base/Translation.h"
#include "engine/fat/NewImageFile.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <ostream>

namespace tamberlane::cli {

namespace {

// The system's own words for a failed new image.
constexpr Text creationFailed = N_("ディスクイメージの作成に失敗しました: %1$s");

struct SizeName {
    const char* name;
    DiskSize size;
};
constexpr std::array<SizeName, 6> sizeNames = {{{"640k", DiskSize::kb640},
                                                {"1.2m", DiskSize::mb1_2},
                                                {"1.44m", DiskSize::mb1_44},
                                                {"10m", DiskSize::mb10},
                                                {"20m", DiskSize::mb20},
                                                {"40m", DiskSize::mb40}}};

struct NewOptions {
    std::string image;
    std::string size;
    bool overwrite = false;
};

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : separator) + item;
    }
    return out;
}

std::vector<std::string> allSizeNames() {
    std::vector<std::string> names;
    for (const SizeName& entry : sizeNames) {
        names.emplace_back(entry.name);
    }
    return names;
}

// "640k (640 KB), ...": the names promise more than a hard disk's volume holds.
std::vector<std::string> sizeNamesWithCapacity() {
    std::vector<std::string> names;
    for (const SizeName& entry : sizeNames) {
        names.push_back(std::string(entry.name) + " (" + capacityText(entry.size) + ")");
    }
    return names;
}

std::vector<std::string> writtenExtensions() {
    std::vector<std::string> extensions;
    for (NewImageFormat format : allNewImageFormats()) {
        extensions.push_back(fileExtension(format));
    }
    return extensions;
}

// "bin は全サイズ; d88, fdi, ... は 640k, 1.2m, 1.44m; ...": containers that offer the
// same sizes share a clause, in the order the table first names them.
std::string sizesByExtension() {
    std::vector<std::vector<NewImageFormat>> groups;
    for (NewImageFormat format : allNewImageFormats()) {
        const auto same = std::find_if(groups.begin(), groups.end(), [&](const auto& group) {
            return availableSizes(group.front()) == availableSizes(format);
        });
        if (same == groups.end()) {
            groups.push_back({format});
        } else {
            same->push_back(format);
        }
    }
    std::vector<std::string> clauses;
    for (const std::vector<NewImageFormat>& group : groups) {
        std::vector<std::string> extensions;
        for (NewImageFormat format : group) {
            extensions.push_back(fileExtension(format));
        }
        std::vector<std::string> sizes;
        for (const SizeName& entry : sizeNames) {
            if (isSizeOffered(group.front(), entry.size)) {
                sizes.emplace_back(entry.name);
            }
        }
        clauses.push_back(
            sizes.size() == sizeNames.size()
                ? translate("%1$s は全サイズ", {joined(extensions, ", ")})
                : translate("%1$s は %2$s", {joined(extensions, ", "), joined(sizes, ", ")}));
    }
    return joined(clauses, "; ");
}

DiskSize sizeNamed(const std::string& text) {
    for (const SizeName& entry : sizeNames) {
        if (asciiLowerCase(text) == entry.name) {
            return entry.size;
        }
    }
    // The option's own check accepts only the names above.
    throw UsageError(translate("--size の値が正しくありません: %1$s", {text}));
}

int runNew(const NewOptions& options, CommandContext& context) {
    const DiskSize size = sizeNamed(options.size);
    const auto format = newImageFormatForExtension(lowerExtension(options.image));
    try {
        if (!format) {
            throw DiskImageError::unsupportedFormat(lowerExtension(options.image));
        }
        if (!isSizeOffered(*format, size)) {
            throw UsageError(sizeNotOfferedText(*format, size));
        }
        const Bytes bytes = createNewImage({*format, size, FATType::fat12});
        writeImageFile(options.image, bytes,
                       options.overwrite ? ExistingTarget::replace : ExistingTarget::keep);
        // The new file must open like any other image; a file that does not stays on disk,
        // as the failure says.
        DiskImageService service;
        service.open(options.image);
    } catch (const DiskImageError& e) {
        throw CommandError(creationFailed(e.errorDescription()));
    }
    context.out << translate("作成しました: %1$s (%2$s, %3$s)",
                             {printableName(options.image), rawValue(*format), rawValue(size)})
                << '\n';
    return exitSuccess;
}

} // namespace

void registerNewCommand(CommandRegistry& registry) {
    auto options = std::make_shared<NewOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "new",
        translate(
            "フォーマット済みの新しいディスクイメージを作成します (形式は拡張子で決まります)"));
    sub->footer(translate("拡張子ごとのサイズ: %1$s。\n"
                          "形式に合わないサイズはコマンドラインの誤りです (終了ステータス 2)。\n"
                          "既存のファイルは --overwrite があるときだけ置き換えます。"
                          "他のプログラムが使用中のファイルには書き込みません (終了ステータス 1)。",
                          {sizesByExtension()}));
    sub->add_option(
           "IMAGE", options->image,
           translate("作成するファイル (必須、拡張子 %1$s)", {joined(writtenExtensions(), ", ")}))
        ->required();
    sub->add_option(
           "--size", options->size,
           translate("容量 (必須、括弧内は実容量): %1$s", {joined(sizeNamesWithCapacity(), ", ")}))
        ->type_name("SIZE")
        ->required()
        ->check(CLI::IsMember(allSizeNames(), CLI::ignore_case).description(""));
    sub->add_flag("--overwrite", options->overwrite, translate("既存のファイルを置き換えます"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runNew(*options, context); });
}

} // namespace tamberlane::cli
