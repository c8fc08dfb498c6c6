#include "cli/Commands.h"

#include "engine/image/formats/FormatTable.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <ostream>

namespace tamberlane::cli {

namespace {

struct InfoOptions {
    std::string image;
    bool json = false;
};

std::string kilobytes(std::int64_t bytes) {
    return formatGroupedNumber(bytes / 1024) + " KB";
}

std::string hexByte(std::uint8_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%02X", value);
    return buffer;
}

int runInfo(const InfoOptions& options, CommandContext& context) {
    DiskImageService service;
    const auto image = openImage(service, options.image, context.global);
    const BIOSParameterBlock& bpb = image->bpb();
    const DiskGeometry& geometry = image->geometry();
    const VolumeCapacity capacity = image->capacity();
    // The volume's own reason first; else the file's (another program holds it for writing).
    const std::optional<std::string> refusal =
        image->changeRefusal() ? std::optional(image->changeRefusal()->text())
        : image->fileRefusal() ? std::optional(image->fileRefusal()->errorDescription())
                               : std::nullopt;
    const std::int64_t bytesPerCluster = image->bytesPerCluster();
    const std::string extension = upperExtension(options.image);
    const std::string fileSystem = image->fatType() == FATType::fat16 ? "FAT16" : "FAT12";

    if (options.json) {
        nlohmann::ordered_json info;
        info["file"] = options.image;
        info["format"] = extension;
        info["formatLabel"] = formatLabelForExtension(extension);
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
        info["volumeSectors"] = bpb.volumeSectorCount();
        info["parametersInferred"] = image->parametersInferred();
        info["partition"] = image->partition()
                                ? nlohmann::ordered_json{{"number", image->partition()->number},
                                                         {"offset", image->partition()->offset},
                                                         {"size", image->partition()->size}}
                                : nlohmann::ordered_json(nullptr);
        info["dataOffset"] = image->dataOffset();
        info["bytesPerCluster"] = bytesPerCluster;
        info["dataClusters"] = capacity.totalClusters;
        info["freeClusters"] = capacity.freeClusters;
        info["usedClusters"] = capacity.usedClusters;
        info["totalBytes"] = capacity.totalBytes;
        info["freeBytes"] = capacity.freeBytes;
        info["usedBytes"] = capacity.usedBytes;
        info["writeProtected"] = image->isWriteProtected();
        info["readOnly"] = image->isReadOnly();
        info["foundBySearchAt"] = image->searchedBootOffset()
                                      ? nlohmann::ordered_json(*image->searchedBootOffset())
                                      : nlohmann::ordered_json(nullptr);
        info["changesRefused"] = refusal ? nlohmann::ordered_json(*refusal)
                                         : nlohmann::ordered_json(nullptr);
        context.out << info.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return exitSuccess;
    }

    const std::pair<std::string, std::string> rows[] = {
        {"ファイル名:", printableName(std::filesystem::path(options.image).filename().string())},
        {"イメージ形式:", formatLabelForExtension(extension)},
        {"ファイルシステム:", fileSystem},
        {"シリンダ数:", std::to_string(geometry.cylinders)},
        {"ヘッド数:", std::to_string(geometry.heads)},
        {"セクタ/トラック:", std::to_string(geometry.sectorsPerTrack)},
        {"バイト/セクタ:", std::to_string(bpb.bytesPerSector) + " Byte"},
        {"セクタ/クラスタ:", std::to_string(bpb.sectorsPerCluster)},
        {"クラスタサイズ:", std::to_string(bytesPerCluster) + " Byte"},
        {"使用中:", kilobytes(capacity.usedBytes) + " (" + std::to_string(capacity.usedClusters) +
                        " クラスタ)"},
        {"空き容量:", kilobytes(capacity.freeBytes) + " (" + std::to_string(capacity.freeClusters) +
                          " クラスタ)"},
        {"全容量:", kilobytes(capacity.totalBytes) + " (" + std::to_string(capacity.totalClusters) +
                        " クラスタ)"},
        {"予約セクタ数:", std::to_string(bpb.reservedSectors)},
        {"総セクタ数:", std::to_string(bpb.volumeSectorCount())},
        {"FAT数:", std::to_string(bpb.numberOfFATs)},
        {"セクタ/FAT:", std::to_string(bpb.sectorsPerFAT)},
        {"ルートエントリ数:", std::to_string(bpb.rootEntryCount)},
        {"メディアID:", hexByte(bpb.mediaDescriptor)},
        {"データオフセット:", std::to_string(image->dataOffset())},
        {"ライトプロテクト:", image->isWriteProtected() ? "有効" : "無効"},
        {"読み取り専用:", image->isReadOnly() ? "はい" : "いいえ"},
    };
    for (const auto& [label, value] : rows) {
        context.out << label << ' ' << value << '\n';
    }
    if (image->partition()) {
        context.out << "パーティション: " << image->partition()->number << " (オフセット "
                    << image->partition()->offset << ", " << image->partition()->size
                    << " バイト)\n";
    }
    if (image->parametersInferred()) {
        context.out << "BPB: なし (メディアIDとファイルサイズから推定)\n";
    }
    if (image->searchedBootOffset()) {
        context.out << "ブートセクタ: 検索で発見 (オフセット " << *image->searchedBootOffset()
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
