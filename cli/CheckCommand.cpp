#include "cli/Commands.h"

#include "engine/base/AtomicFile.h"
#include "engine/base/FileExtension.h"
#include "engine/base/Translation.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/VolumeCheck.h"
#include "engine/image/formats/FormatTable.h"
#include "engine/operations/VolumeRepair.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

namespace tamberlane::cli {

namespace {

struct CheckOptions {
    std::string image;
    bool json = false;
    bool repair = false;
    bool noBackup = false;
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

GlobalOptions optionsFor(const GlobalOptions& global, const CheckedVolume& volume) {
    GlobalOptions one = global;
    one.disk = volume.disk.value_or(0);
    one.partition = volume.partition.value_or(0);
    return one;
}

VolumeCheckResult checkOne(const CheckOptions& options, const GlobalOptions& global,
                           const CheckedVolume& volume) {
    DiskImageService service;
    // Read without a lock and never changed: a check runs beside an emulator.
    return checkVolume(
        *openImage(service, options.image, optionsFor(global, volume), ImageAccess::read));
}

// The file as it was before the first repair, kept beside it once per run.
class Backup {
  public:
    explicit Backup(const std::string& image) : path_(image + ".bak"), image_(image) {}
    const std::string& path() const { return path_; }
    bool made() const { return made_; }
    void make() {
        if (!made_) {
            copyFileAtomically(image_, path_);
            made_ = true;
        }
    }
    // Nothing was changed after all: a backup of an unchanged file would only stand in the
    // way of the next run's.
    void dropUnused(bool changed) {
        if (made_ && !changed) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
            made_ = false;
        }
    }

  private:
    std::string path_;
    std::string image_;
    bool made_ = false;
};

struct RepairedVolume {
    std::vector<VolumeProblem> fixed;
    VolumeCheckResult after;
};

RepairedVolume repairOne(const CheckOptions& options, const GlobalOptions& global,
                         const CheckedVolume& volume, Backup* backup) {
    DiskImageService service;
    const std::shared_ptr<DiskImage> image =
        openImage(service, options.image, optionsFor(global, volume), ImageAccess::change);
    const VolumeCheckResult check = checkVolume(*image);
    const std::vector<VolumeProblem> chosen = withRequiredFixes(check, check.problems);
    const bool anyFix = std::any_of(chosen.begin(), chosen.end(),
                                    [](const VolumeProblem& p) { return p.fix != FixKind::none; });
    if (!anyFix) {
        return {{}, check};
    }
    if (std::optional<DiskImageError> refusal = image->whyNotRepairable()) {
        throw *refusal;
    }
    if (backup) {
        backup->make();
    }
    VolumeRepairResult result = repairVolume(*image, chosen);
    return {std::move(result.fixed), std::move(result.after)};
}

nlohmann::ordered_json volumeJson(const CheckedVolume& volume) {
    return {{"disk", volume.disk ? nlohmann::ordered_json(*volume.disk) : nullptr},
            {"partition", volume.partition ? nlohmann::ordered_json(*volume.partition) : nullptr}};
}

nlohmann::ordered_json resultJson(const CheckedVolume& volume, const VolumeCheckResult& result,
                                  const std::vector<VolumeProblem>* fixed = nullptr) {
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
    nlohmann::ordered_json json = {{"volume", volumeJson(volume)},
                                   {"clean", result.clean()},
                                   {"problems", problems},
                                   {"notes", notes}};
    if (fixed) {
        nlohmann::ordered_json made = nlohmann::ordered_json::array();
        for (const VolumeProblem& problem : *fixed) {
            made.push_back({{"kind", problemCode(problem.kind)},
                            {"paths", problem.paths},
                            {"fix", fixCode(problem.fix)},
                            {"message", describeFix(problem)}});
        }
        json["fixed"] = made;
    }
    return json;
}

void printResult(std::ostream& out, const CheckedVolume& volume, const VolumeCheckResult& result,
                 bool several, const std::vector<VolumeProblem>& fixed) {
    if (several && volume.disk) {
        out << translate("ディスク %1$s:", {*volume.disk}) << '\n';
    } else if (several && volume.partition) {
        out << translate("パーティション %1$s:", {*volume.partition}) << '\n';
    }
    const std::string indent = several ? "  " : "";
    for (const VolumeProblem& problem : fixed) {
        out << indent << translate("修正しました: %1$s", {printableName(describeFix(problem))})
            << '\n';
    }
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
    bool changed = false;
    Backup backup(options.image);
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    try {
        for (const CheckedVolume& volume : volumes) {
            RepairedVolume repaired;
            if (options.repair) {
                repaired = repairOne(options, context.global, volume,
                                     options.noBackup ? nullptr : &backup);
                changed = changed || !repaired.fixed.empty();
            } else {
                repaired.after = checkOne(options, context.global, volume);
            }
            const VolumeCheckResult& result = repaired.after;
            clean = clean && result.clean();
            if (options.json) {
                all.push_back(
                    resultJson(volume, result, options.repair ? &repaired.fixed : nullptr));
                continue;
            }
            printResult(context.out, volume, result, volumes.size() > 1, repaired.fixed);
        }
    } catch (...) {
        backup.dropUnused(changed);
        throw;
    }
    backup.dropUnused(changed);
    if (options.json) {
        nlohmann::ordered_json json{{"volumes", all}};
        if (options.repair) {
            json["backup"] = backup.made() ? nlohmann::ordered_json(backup.path()) : nullptr;
        }
        context.out << json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else if (backup.made()) {
        context.out << translate("元のイメージを %1$s に残しました", {printableName(backup.path())})
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
    sub->add_flag("--repair", options->repair,
                  translate("見つかった問題を修復します (一度の保存で。修復後に問題がなければ"
                            "終了ステータス 0、残れば 1)"));
    sub->add_flag("--no-backup", options->noBackup,
                  translate("修復の前に元のイメージを IMAGE.bak に残しません"))
        ->needs(sub->get_option("--repair"));
    registry.setAction(sub,
                       [options](CommandContext& context) { return runCheck(*options, context); });
}

} // namespace tamberlane::cli
