#include "cli/Commands.h"

#include "engine/base/HexText.h"
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

int runInfo(const InfoOptions& options, CommandContext& context) {
    DiskImageService service;
    const ImageSummary summary =
        summarizeImage(*openImage(service, options.image, context.global, ImageAccess::read));
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
        context.out << info.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return exitSuccess;
    }

    const std::pair<std::string, std::string> rows[] = {
        {"ファイル名:", printableName(summary.fileName)},
        {"イメージ形式:", summary.formatLabel},
        {"ファイルシステム:", fileSystem},
        {"シリンダ数:", std::to_string(geometry.cylinders)},
        {"ヘッド数:", std::to_string(geometry.heads)},
        {"セクタ/トラック:", std::to_string(geometry.sectorsPerTrack)},
        {"バイト/セクタ:", std::to_string(bpb.bytesPerSector) + " Byte"},
        {"セクタ/クラスタ:", std::to_string(bpb.sectorsPerCluster)},
        {"クラスタサイズ:", std::to_string(summary.bytesPerCluster) + " Byte"},
        {"使用中:", kilobytes(capacity.usedBytes) + " (" + std::to_string(capacity.usedClusters) +
                        " クラスタ)"},
        {"空き容量:", kilobytes(capacity.freeBytes) + " (" + std::to_string(capacity.freeClusters) +
                          " クラスタ)"},
        {"全容量:", kilobytes(capacity.totalBytes) + " (" + std::to_string(capacity.totalClusters) +
                        " クラスタ)"},
        {"予約セクタ数:", std::to_string(bpb.reservedSectors)},
        {"総セクタ数:", std::to_string(summary.volumeSectors)},
        {"FAT数:", std::to_string(bpb.numberOfFATs)},
        {"セクタ/FAT:", std::to_string(bpb.sectorsPerFAT)},
        {"ルートエントリ数:", std::to_string(bpb.rootEntryCount)},
        {"メディアID:", hexByte(bpb.mediaDescriptor)},
        {"データオフセット:", std::to_string(summary.dataOffset)},
        {"ライトプロテクト:", summary.isWriteProtected ? "有効" : "無効"},
        {"読み取り専用:", readOnly ? "はい" : "いいえ"},
    };
    for (const auto& [label, value] : rows) {
        context.out << label << ' ' << value << '\n';
    }
    if (summary.partition) {
        context.out << "パーティション: " << summary.partition->number << " (オフセット "
                    << summary.partition->offset << ", " << summary.partition->size << " バイト)\n";
    }
    if (summary.parametersInferred) {
        context.out << "BPB: なし (メディアIDとファイルサイズから推定)\n";
    }
    if (summary.searchedBootOffset) {
        context.out << "ブートセクタ: 検索で発見 (オフセット " << *summary.searchedBootOffset
                    << ")\n";
    }
    if (refusal) {
        context.out << "変更不可: " << *refusal << '\n';
    }
    return exitSuccess;
}

} // namespace

void registerInfoCommand(CommandRegistry& registry) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "info", "イメージの形式、ファイルシステム、ジオメトリ、BPB、容量を表示します");
    sub->add_option("IMAGE", options->image, "ディスクイメージファイル (必須)")->required();
    sub->add_flag("--json", options->json, "JSON で出力します");
    registry.setAction(sub,
                       [options](CommandContext& context) { return runInfo(*options, context); });
}

} // namespace tamberlane::cli
