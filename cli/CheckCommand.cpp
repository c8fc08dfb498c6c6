#include "cli/Commands.h"

#include "engine/base/FileExtension.h"
#include "engine/base/Translation.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/VolumeCheck.h"
#include "engine/image/formats/FormatTable.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct CheckOptions {
    std::string image;
    bool json = false;
};

// One volume of the file: a disk of a D88 file, a FAT partition, or the only volume.
struct CheckedVolume {
    std::optional<int> disk;      // 1-based
    std::optional<int> partition; // 1-based, as --partition takes it
};

std::vector<CheckedVolume> volumesOf(const CheckOptions& options, const GlobalOptions& global) {
    if (global.disk > 0 || global.partition > 0) {
        CheckedVolume one;
        if (global.disk > 0) {
            one.disk = global.disk;
        }
        if (global.partition > 0) {
            one.partition = global.partition;
        }
        return {one};
    }
    std::vector<CheckedVolume> volumes;
    if (capabilitiesOfExtension(lowerExtension(options.image)).holdsSeveralDisks) {
        const auto disks = DiskImageService::disksOf(options.image);
        for (std::size_t i = 0; i < disks.size() && disks.size() > 1; ++i) {
            volumes.push_back({static_cast<int>(i) + 1, std::nullopt});
        }
    } else {
        const auto partitions = DiskImageService::partitionsOf(options.image);
        for (std::size_t i = 0; i < partitions.size() && partitions.size() > 1; ++i) {
            volumes.push_back({std::nullopt, static_cast<int>(i) + 1});
        }
    }
    if (volumes.empty()) {
        volumes.push_back({});
    }
    return volumes;
}

VolumeCheckResult checkOne(const CheckOptions& options, const GlobalOptions& global,
                           const CheckedVolume& volume) {
    GlobalOptions one = global;
    one.disk = volume.disk.value_or(0);
    one.partition = volume.partition.value_or(0);
    DiskImageService service;
    // Read without a lock and never changed: a check runs beside an emulator.
    return checkVolume(*openImage(service, options.image, one, ImageAccess::read));
}

nlohmann::ordered_json volumeJson(const CheckedVolume& volume) {
    return {{"disk", volume.disk ? nlohmann::ordered_json(*volume.disk) : nullptr},
            {"partition", volume.partition ? nlohmann::ordered_json(*volume.partition) : nullptr}};
}

nlohmann::ordered_json resultJson(const CheckedVolume& volume, const VolumeCheckResult& result) {
    // Read by programs: the texts are the Japanese source texts in every language.
    const SourceTexts source;
    nlohmann::ordered_json problems = nlohmann::ordered_json::array();
    for (const VolumeProblem& problem : result.problems) {
        problems.push_back(
            {{"kind", problemCode(problem.kind)},
             {"paths", problem.paths},
             {"clusters", problem.clusters},
             {"fix", problem.fix == FixKind::none ? nlohmann::ordered_json(nullptr)
                                                  : nlohmann::ordered_json(fixCode(problem.fix))},
             {"message", describeProblem(problem)}});
    }
    nlohmann::ordered_json notes = nlohmann::ordered_json::array();
    for (const VolumeNote& note : result.notes) {
        notes.push_back(note.text.str());
    }
    return {{"volume", volumeJson(volume)},
            {"clean", result.clean()},
            {"problems", problems},
            {"notes", notes}};
}

void printResult(std::ostream& out, const CheckedVolume& volume, const VolumeCheckResult& result,
                 bool several) {
    if (several && volume.disk) {
        out << translate("ディスク %1$s:", {*volume.disk}) << '\n';
    } else if (several && volume.partition) {
        out << translate("パーティション %1$s:", {*volume.partition}) << '\n';
    }
    const std::string indent = several ? "  " : "";
    if (result.clean()) {
        out << indent << translate("問題は見つかりませんでした") << '\n';
    }
    for (const VolumeProblem& problem : result.problems) {
        out << indent << printableName(describeProblem(problem)) << '\n';
        out << indent << "  "
            << (problem.fix == FixKind::none ? translate("修正: なし (報告のみ)")
                                             : translate("修正: %1$s", {describeFix(problem)}))
            << '\n';
    }
    for (const VolumeNote& note : result.notes) {
        out << indent << translate("注: %1$s", {note.text.str()}) << '\n';
    }
}

int runCheck(const CheckOptions& options, CommandContext& context) {
    const std::vector<CheckedVolume> volumes = volumesOf(options, context.global);
    bool clean = true;
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const CheckedVolume& volume : volumes) {
        const VolumeCheckResult result = checkOne(options, context.global, volume);
        clean = clean && result.clean();
        if (options.json) {
            all.push_back(resultJson(volume, result));
        } else {
            printResult(context.out, volume, result, volumes.size() > 1);
        }
    }
    if (options.json) {
        context.out << nlohmann::ordered_json{{"volumes", all}}.dump(
                           2, ' ', false, nlohmann::json::error_handler_t::replace)
                    << '\n';
    }
    return clean ? exitSuccess : exitFailure;
}

} // namespace

void registerCheckCommand(CommandRegistry& registry) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* sub = registry.app().add_subcommand(
        "check",
        translate("ボリュームを検査します (イメージは変更しません。問題がなければ終了ステータス 0、"
                  "見つかれば 1)"));
    sub->footer(
        translate("D88 ファイルの各ディスクと、ハードディスクイメージの各 FAT パーティションを"
                  "検査します。--disk と --partition で一つを選べます。"));
    sub->add_option("IMAGE", options->image, translate("ディスクイメージファイル (必須)"))
        ->required();
    sub->add_flag("--json", options->json, translate("JSON で出力します"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runCheck(*options, context); });
}

} // namespace tamberlane::cli
