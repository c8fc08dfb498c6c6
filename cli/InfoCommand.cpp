#include "cli/Commands.h"

#include "engine/base/ErrorCodes.h"
#include "engine/base/HexText.h"
#include "engine/base/Translation.h"
#include "engine/fat/ImageSummary.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

#include <unistd.h>

namespace tamberlane::cli {

namespace {

struct InfoOptions {
    std::string image;
    bool json = false;
};

std::string kilobytes(std::int64_t bytes) {
    return formatGroupedNumber(bytes / 1024) + " KB";
}

struct SummaryWithReason {
    ImageSummary summary;
    // Why changes are refused, the volume's own reason first, else the file's.
    std::optional<std::string_view> refusalCode;
};

SummaryWithReason summarize(const InfoOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global, ImageAccess::read);
    SummaryWithReason result{summarizeImage(*image), std::nullopt};
    const auto& refusal = image->changeRefusal() ? image->changeRefusal() : image->file().refusal();
    if (refusal) {
        result.refusalCode = refusal->reason() == DiskImageError::Reason::none
                                 ? kindCode(refusal->kind())
                                 : reasonCode(refusal->reason());
    }
    return result;
}

// JSON is read by programs: its texts are the source texts in every language. A failure is
// still told to the user in their own language.
SummaryWithReason summarizeInSourceTexts(const InfoOptions& options, CommandContext& context) {
    try {
        const SourceTexts source;
        return summarize(options, context);
    } catch (const DiskImageError&) {
        summarize(options, context);
        throw;
    }
}

int runInfo(const InfoOptions& options, CommandContext& context) {
    const SummaryWithReason opened =
        options.json ? summarizeInSourceTexts(options, context) : summarize(options, context);
    const ImageSummary& summary = opened.summary;
    const BIOSParameterBlock& bpb = summary.bpb;
    const DiskGeometry& geometry = summary.geometry;
    const VolumeCapacity& capacity = summary.capacity;
    // The volume's own reason first; else the file's (another program holds it for writing).
    const std::optional<std::string> refusal =
        summary.changeRefusal ? summary.changeRefusal : summary.fileRefusal;
    const std::string fileSystem = fileSystemName(summary.fileSystem);
    // Read without the exclusive lock, the image always says read-only: what the user asks
    // is whether a change could write the file (its permissions, a read-only file system).
    const bool readOnly = ::access(options.image.c_str(), W_OK) != 0;

    if (options.json) {
        nlohmann::ordered_json info;
        info["file"] = options.image;
        info["format"] = summary.formatExtension;
        info["formatLabel"] = summary.formatLabel;
        info["fileSystem"] = fileSystem;
        info["geometry"] = {{"heads", geometry.heads},
                            {"cylinders", geometry.cylinders},
                            {"sectorsPerTrack", geometry.sectorsPerTrack},
                            {"bytesPerSector", geometry.bytesPerSector}};
        info["bpb"] = {
            {"bytesPerSector", bpb.bytesPerSector},   {"sectorsPerCluster", bpb.sectorsPerCluster},
            {"reservedSectors", bpb.reservedSectors}, {"numberOfFATs", bpb.numberOfFATs},
            {"rootEntryCount", bpb.rootEntryCount},   {"totalSectors16", bpb.totalSectors16},
            {"mediaDescriptor", bpb.mediaDescriptor}, {"sectorsPerFAT", bpb.sectorsPerFAT},
            {"totalSectors32", bpb.totalSectors32}};
        info["volumeSectors"] = summary.volumeSectors;
        info["parametersInferred"] = summary.parametersInferred;
        info["partition"] = summary.partition
                                ? nlohmann::ordered_json{{"number", summary.partition->number},
                                                         {"offset", summary.partition->offset},
                                                         {"size", summary.partition->size}}
                                : nlohmann::ordered_json(nullptr);
        info["dataOffset"] = summary.dataOffset;
        info["bytesPerCluster"] = summary.bytesPerCluster;
        info["dataClusters"] = capacity.totalClusters;
        info["freeClusters"] = capacity.freeClusters;
        info["usedClusters"] = capacity.usedClusters;
        info["totalBytes"] = capacity.totalBytes;
        info["freeBytes"] = capacity.freeBytes;
        info["usedBytes"] = capacity.usedBytes;
        info["writeProtected"] = summary.isWriteProtected;
        info["readOnly"] = readOnly;
        info["foundBySearchAt"] = summary.searchedBootOffset
                                      ? nlohmann::ordered_json(*summary.searchedBootOffset)
                                      : nlohmann::ordered_json(nullptr);
        info["changesRefused"] =
            refusal ? nlohmann::ordered_json(*refusal) : nlohmann::ordered_json(nullptr);
        info["changesRefusedReason"] = opened.refusalCode
                                           ? nlohmann::ordered_json(*opened.refusalCode)
                                           : nlohmann::ordered_json(nullptr);
        context.out << info.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return exitSuccess;
    }

    const auto clusters = [](std::int64_t bytes, std::int64_t count) {
        return translatePlural("%1$s (%2$s クラスタ)", "%1$s (%2$s クラスタ)",
                               static_cast<std::uint64_t>(count), {kilobytes(bytes), count});
    };
    const std::pair<Text, std::string> rows[] = {
        {N_("ファイル名:"), printableName(summary.fileName)},
        {N_("イメージ形式:"), summary.formatLabel},
        {N_("ファイルシステム:"), fileSystem},
        {N_("シリンダ数:"), std::to_string(geometry.cylinders)},
        {N_("ヘッド数:"), std::to_string(geometry.heads)},
        {N_("セクタ/トラック:"), std::to_string(geometry.sectorsPerTrack)},
        {N_("バイト/セクタ:"), std::to_string(bpb.bytesPerSector) + " Byte"},
        {N_("セクタ/クラスタ:"), std::to_string(bpb.sectorsPerCluster)},
        {N_("クラスタサイズ:"), std::to_string(summary.bytesPerCluster) + " Byte"},
        {N_("使用中:"), clusters(capacity.usedBytes, capacity.usedClusters)},
        {N_("空き容量:"), clusters(capacity.freeBytes, capacity.freeClusters)},
        {N_("全容量:"), clusters(capacity.totalBytes, capacity.totalClusters)},
        {N_("予約セクタ数:"), std::to_string(bpb.reservedSectors)},
        {N_("総セクタ数:"), std::to_string(summary.volumeSectors)},
        {N_("FAT数:"), std::to_string(bpb.numberOfFATs)},
        {N_("セクタ/FAT:"), std::to_string(bpb.sectorsPerFAT)},
        {N_("ルートエントリ数:"), std::to_string(bpb.rootEntryCount)},
        {N_("メディアID:"), hexByte(bpb.mediaDescriptor)},
        {N_("データオフセット:"), std::to_string(summary.dataOffset)},
        {N_("ライトプロテクト:"), summary.isWriteProtected ? translate("有効") : translate("無効")},
        {N_("読み取り専用:"), readOnly ? translate("はい") : translate("いいえ")},
    };
    for (const auto& [label, value] : rows) {
        context.out << label << ' ' << value << '\n';
    }
    if (summary.partition) {
        context.out << translate("パーティション: %1$s (オフセット %2$s, %3$s バイト)",
                                 {summary.partition->number, summary.partition->offset,
                                  summary.partition->size})
                    << '\n';
    }
    if (summary.parametersInferred) {
        context.out << translate("BPB: なし (メディアIDとファイルサイズから推定)") << '\n';
    }
    if (summary.searchedBootOffset) {
        context.out << translate("ブートセクタ: 検索で発見 (オフセット %1$s)",
                                 {*summary.searchedBootOffset})
                    << '\n';
    }
    if (refusal) {
        context.out << translate("変更不可: %1$s", {*refusal}) << '\n';
    }
    return exitSuccess;
}

} // namespace

void registerInfoCommand(CommandRegistry& registry) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "info", translate("イメージの形式、ファイルシステム、ジオメトリ、BPB、容量を表示します"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_flag("--json", options->json, translate("JSON で出力します"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runInfo(*options, context); });
}

} // namespace tamberlane::cli
