#include "engine/fat/VolumeCheckParts.h"

#include <algorithm>
#include <unordered_set>

namespace tamberlane {

namespace {

constexpr Text pastEndNote =
    N_("ボリュームがファイルの終わりを超えていますが、その部分に使用中のクラスタはありません");

} // namespace

void addSectorProblems(const DiskImage& image, const std::vector<std::int32_t>& owners,
                       const std::vector<std::string>& ownerPaths,
                       const std::vector<std::uint16_t>& fat, VolumeCheckResult& result) {
    const ImageLayout& layout = image.layout();
    const std::int64_t unit = layout.geometry.bytesPerSector;
    const std::int64_t sectorSize = layout.bpb.bytesPerSector;
    const std::int64_t perCluster = layout.bpb.sectorsPerCluster;
    if (unit <= 0 || sectorSize <= 0 || perCluster <= 0) {
        return;
    }
    const VolumeAddressing& at = image.addressing();
    const std::int64_t volumeStart = at.sectorStart(0);
    const std::int64_t volumeSectors = layout.bpb.volumeSectorCount();
    const std::int64_t firstData = at.firstDataSector();
    // Sectors grouped by what holds them: -1 the system area, -2 allocated clusters no
    // entry reaches, otherwise the entry.
    const auto group = [&](ProblemKind kind, const std::vector<std::int64_t>& flawed,
                           bool filesOnly) {
        std::vector<std::pair<std::int32_t, std::int64_t>> found;
        for (std::int64_t g : flawed) {
            const std::int64_t lba = (g * unit - volumeStart) / sectorSize;
            if (g * unit < volumeStart || lba >= volumeSectors) {
                continue;
            }
            std::int32_t holder = -1;
            if (lba >= firstData) {
                const std::int64_t cluster = (lba - firstData) / perCluster + 2;
                if (cluster >= static_cast<std::int64_t>(fat.size()) ||
                    fat[static_cast<std::size_t>(cluster)] == 0) {
                    continue;
                }
                holder = owners[static_cast<std::size_t>(cluster)];
                holder = holder < 0 ? -2 : holder;
            }
            if (filesOnly && holder < 0) {
                continue;
            }
            if (found.empty() || found.back().first != holder || found.back().second != lba) {
                found.emplace_back(holder, lba);
            }
        }
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < found.size();) {
            VolumeProblem p;
            p.kind = kind;
            const std::int32_t holder = found[i].first;
            if (holder >= 0) {
                p.paths.push_back(ownerPaths[static_cast<std::size_t>(holder)]);
            }
            for (; i < found.size() && found[i].first == holder; ++i) {
                if (p.sectors.empty() || p.sectors.back() != found[i].second) {
                    p.sectors.push_back(found[i].second);
                }
            }
            result.problems.push_back(std::move(p));
        }
    };
    std::vector<std::int64_t> missing;
    if (layout.storedSectors && !layout.storedSectors->empty()) {
        const auto& stored = *layout.storedSectors;
        std::unordered_set<std::int64_t> aliased(layout.sectorsHeldTwice.begin(),
                                                 layout.sectorsHeldTwice.end());
        for (std::size_t g = 0; g < stored.size(); ++g) {
            if (!stored[g] && !aliased.contains(static_cast<std::int64_t>(g))) {
                missing.push_back(static_cast<std::int64_t>(g));
            }
        }
    }
    group(ProblemKind::sectorMissing, missing, false);
    group(ProblemKind::sectorAliased, layout.sectorsHeldTwice, false);
    group(ProblemKind::badSector, layout.sectorsRecordedBad, true);
}

void checkBootSector(const DiskImage& image, const std::vector<std::uint16_t>& fat,
                     VolumeCheckResult& result) {
    const ImageLayout& layout = image.layout();
    if (!layout.partition && !layout.parametersInferred && layout.geometry.bytesPerSector > 0 &&
        layout.geometry.bytesPerSector != layout.bpb.bytesPerSector) {
        VolumeProblem p;
        p.kind = ProblemKind::bootSectorMismatch;
        p.bytes = layout.bpb.bytesPerSector;
        p.expected = layout.geometry.bytesPerSector;
        result.problems.push_back(std::move(p));
    }
    const VolumeAddressing& at = image.addressing();
    const auto size = static_cast<std::int64_t>(image.data().size());
    if (at.sectorStart(0) + layout.bpb.volumeBytes() <= size) {
        return;
    }
    std::vector<std::uint32_t> allocated;
    for (std::size_t c = 2; c < fat.size(); ++c) {
        const std::int64_t offset = at.clusterOffset(static_cast<std::uint16_t>(c));
        if (fat[c] != 0 && (offset < 0 || offset + at.bytesPerCluster() > size)) {
            allocated.push_back(static_cast<std::uint32_t>(c));
        }
    }
    if (allocated.empty()) {
        result.notes.push_back({pastEndNote});
        return;
    }
    VolumeProblem p;
    p.kind = ProblemKind::bootSectorMismatch;
    p.clusters = std::move(allocated);
    result.problems.push_back(std::move(p));
}

} // namespace tamberlane
