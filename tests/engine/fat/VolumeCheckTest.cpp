// The check against volumes whose faults are known: sound ones of every kind the engine,
// mkfs.fat and mtools make must come out clean, and each fault built here must be named,
// in a raw volume, inside a D88 and inside a PC-98 partition.

#include "engine/fat/VolumeCheck.h"

#include "engine/base/Translation.h"
#include "engine/fat/DiskImageService.h"
#include "engine/image/NewImage.h"
#include "engine/image/formats/D88Format.h"
#include "tests/support/FatTools.h"
#include "tests/support/PartitionedDisk.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"
#include "tests/support/VolumeFaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace tamberlane::test {
namespace {

VolumeCheckResult checkFile(const std::string& name, const Bytes& file, VolumeChoice choice = {}) {
    const auto image = DiskImageService::parseImage(name, PagedBytes(file), true, choice);
    return checkVolume(*image);
}

std::string summary(const VolumeCheckResult& result) {
    std::string out;
    for (const VolumeProblem& p : result.problems) {
        out += std::string(problemCode(p.kind)) + ": " + describeProblem(p) + " / " +
               describeFix(p) + "\n";
    }
    return out;
}

const VolumeProblem* find(const VolumeCheckResult& result, ProblemKind kind) {
    const auto it = std::find_if(result.problems.begin(), result.problems.end(),
                                 [&](const VolumeProblem& p) { return p.kind == kind; });
    return it == result.problems.end() ? nullptr : &*it;
}

// ---------------------------------------------------------------------------------------
// No false alarms

TEST(VolumeCheckSound, EveryNewImageOfEveryContainerAndSizeIsClean) {
    for (NewImageFormat format : allNewImageFormats()) {
        for (DiskSize size : availableSizes(format)) {
            const Bytes file = createNewImage({format, size});
            const auto result = checkFile("new." + fileExtension(format), file);
            EXPECT_TRUE(result.clean()) << rawValue(format) << " " << rawValue(size) << "\n"
                                        << summary(result);
        }
    }
}

TEST(VolumeCheckSound, MkfsVolumesFilledByMtoolsWithLongNamesAndADeepTreeAreClean) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mkfs.fat or mtools missing";
    }
    for (const VolumeKind& kind : {allVolumeKinds()[0], allVolumeKinds()[3]}) {
        TempDir dir;
        Volume volume(dir, kind);
        writeFile(dir / "host.txt", patternBytes(3000));
        writeFile(dir / "empty.txt", Bytes{});
        std::string path;
        for (int depth = 0; depth < 8; ++depth) {
            path += "/Level " + std::to_string(depth) + " directory";
            mtoolsMkdir(volume.path(), "::" + path);
            mtoolsPut(volume.path(), dir / "host.txt",
                      "::" + path + "/A rather long file name.txt");
        }
        mtoolsPut(volume.path(), dir / "empty.txt", "::/empty file.txt");
        for (int i = 0; i < 8; ++i) {
            mtoolsPut(volume.path(), dir / "host.txt",
                      "::/Many files " + std::to_string(i) + ".dat");
        }
        ASSERT_TRUE(fsckAccepts(volume.path()));
        const auto result = checkVolume(*volume.open(true));
        EXPECT_TRUE(result.clean()) << kind.name << "\n" << summary(result);
    }
}

TEST(VolumeCheckSound, BothVolumesOfAPC98PartitionedDiskAreClean) {
    const PartitionedDisk disk = twoPartitionPC98Disk();
    for (int partition = 0; partition < 2; ++partition) {
        const auto result = checkFile("disk.img", disk.bytes, VolumeChoice::ofPartition(partition));
        EXPECT_TRUE(result.clean()) << partition << "\n" << summary(result);
    }
}

// Real disks written by other systems: sound, so the check must find nothing on them.
TEST(VolumeCheckSound, RealDisksOfOtherSystemsAreClean) {
    const auto corpus = corpusDirectory();
    if (!std::filesystem::exists(corpus)) {
        GTEST_SKIP() << "no corpus";
    }
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().extension() == ".md") {
            continue;
        }
        std::shared_ptr<DiskImage> image;
        try {
            image = DiskImageService::parseImage(entry.path(), PagedBytes(readFile(entry.path())),
                                                 true);
        } catch (const DiskImageError&) {
            continue; // not a FAT volume, or one that opens only with manual parameters
        }
        const auto result = checkVolume(*image);
        EXPECT_TRUE(result.clean()) << entry.path().filename().string() << "\n" << summary(result);
    }
}

// ---------------------------------------------------------------------------------------
// Nothing missed

VolumeCheckResult checkIn(Container container, const Bytes& volume) {
    const ContainerFile file = containerFile(container, volume);
    return checkFile(file.name, file.bytes, file.choice);
}

class VolumeCheckFault : public ::testing::TestWithParam<std::tuple<FaultCase, Container>> {};

TEST_P(VolumeCheckFault, IsNamedWithItsPathAndFix) {
    const auto& [c, container] = GetParam();
    const VolumeParameters parameters = parametersFor(container);
    Base base(parameters);
    const auto result = checkIn(container, c.damage(base, parameters));
    const VolumeProblem* problem = find(result, c.kind);
    ASSERT_NE(problem, nullptr) << summary(result);
    EXPECT_EQ(problem->fix, c.fix) << summary(result);
    if (!c.path.empty()) {
        ASSERT_FALSE(problem->paths.empty()) << summary(result);
        EXPECT_EQ(problem->paths[0], c.path) << summary(result);
    }
    EXPECT_FALSE(describeProblem(*problem).empty());
}

std::string faultName(const ::testing::TestParamInfo<std::tuple<FaultCase, Container>>& info) {
    return faultCaseName(std::get<0>(info.param), std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Faults, VolumeCheckFault,
                         ::testing::Combine(::testing::ValuesIn(volumeFaults()),
                                            ::testing::Values(Container::raw, Container::d88,
                                                              Container::pc98)),
                         faultName);

// The real case: a blank copy beside an intact one, either way round. The copy to keep is
// the one the directories agree with, and the chains are read from it.
TEST(VolumeCheckFatCopies, TheCopyTheDirectoriesAgreeWithIsChosenWhicheverIsBlank) {
    // An empty volume gives the directories nothing to tell: the blank copy, without its
    // media byte, must still never be the one kept.
    for (const bool empty : {false, true}) {
        for (int blank : {0, 1}) {
            const VolumeParameters p = VolumeParameters::floppy144();
            Bytes volume = empty ? VolumeBuilder(p).build() : Base(p).v.build();
            zeroFatCopy(p, volume, blank);
            const auto result = checkIn(Container::raw, volume);
            ASSERT_EQ(result.problems.size(), 1u) << summary(result);
            const VolumeProblem& problem = result.problems[0];
            EXPECT_EQ(problem.kind, ProblemKind::fatCopiesDiffer);
            EXPECT_EQ(problem.agreeingCopy, blank == 0 ? 2 : 1);
            SourceTexts japanese;
            EXPECT_EQ(describeFix(problem), blank == 0
                                                ? "コピー2のFATをすべてのコピーに書き込みます"
                                                : "コピー1のFATをすべてのコピーに書き込みます");
        }
    }
}

TEST(VolumeCheckTexts, CrossLinkAndLostChainReadAsTheUserIsShownThem) {
    VolumeProblem crossLink;
    crossLink.kind = ProblemKind::crossLink;
    crossLink.paths = {"/A.TXT", "/B.TXT"};
    crossLink.clusters = {5, 6};
    VolumeProblem lost;
    lost.kind = ProblemKind::lostChain;
    lost.clusters = {300, 301};
    lost.bytes = 1024;
    {
        SourceTexts japanese;
        EXPECT_EQ(describeProblem(crossLink),
                  "クロスリンク: /A.TXT と /B.TXT がクラスタ 5, 6 を共有しています");
        EXPECT_EQ(describeProblem(lost),
                  "どのファイルにも属さないクラスタチェーン: クラスタ 300 から 2個（1024バイト）");
    }
    useLanguage(Language::english);
    EXPECT_EQ(describeProblem(crossLink), "Cross-link: /A.TXT and /B.TXT share clusters 5, 6");
    EXPECT_EQ(describeProblem(lost), "Lost chain: 2 clusters from cluster 300 (1024 bytes)");
    useLanguage(Language::japanese);
}

TEST(VolumeCheckLostChain, ChainsAreGroupedByTheirHeadsWithTheirSize) {
    VolumeBuilder v;
    v.addFile(v.root(), name83("A.TXT"), bytesOf("a"));
    v.setFAT(400, 401);
    v.setFAT(401, 402);
    v.setFAT(402, 0xFFF);
    v.setFAT(500, 0xFFF);
    v.setFAT(600, 601); // a ring nobody enters
    v.setFAT(601, 600);
    const auto result = checkFile("disk.img", v.build());
    std::vector<std::vector<std::uint32_t>> chains;
    for (const VolumeProblem& p : result.problems) {
        ASSERT_EQ(p.kind, ProblemKind::lostChain) << summary(result);
        EXPECT_EQ(p.bytes, static_cast<std::int64_t>(p.clusters.size()) * 512);
        chains.push_back(p.clusters);
    }
    EXPECT_EQ(chains,
              (std::vector<std::vector<std::uint32_t>>{{400, 401, 402}, {500}, {600, 601}}));
}

// ---------------------------------------------------------------------------------------
// What only a container of sector records shows

std::size_t recordOffset(std::int64_t sector) {
    return static_cast<std::size_t>(D88Header::size + sector * (16 + 512));
}

void setTrack(Bytes& file, int track, std::uint32_t offset) {
    for (int i = 0; i < 4; ++i) {
        file[static_cast<std::size_t>(0x20 + 4 * track + i)] =
            static_cast<std::uint8_t>(offset >> (8 * i));
    }
}

struct D88Case {
    std::string name;
    std::function<void(Bytes&)> edit;
    ProblemKind kind;
    std::string path;
};

class VolumeCheckD88 : public ::testing::TestWithParam<D88Case> {};

TEST_P(VolumeCheckD88, SectorFaultIsNamed) {
    Base base(VolumeParameters::floppy640());
    Bytes file = D88ImageFormat::buildD88Image(base.v.build(), geometry640);
    GetParam().edit(file);
    const auto result = checkFile("disk.d88", file);
    const VolumeProblem* problem = find(result, GetParam().kind);
    ASSERT_NE(problem, nullptr) << summary(result);
    EXPECT_EQ(problem->paths.empty() ? "" : problem->paths[0], GetParam().path);
    EXPECT_FALSE(problem->sectors.empty());
}

// The 640 KB volume: sectors 0-11 are its system area, HELLO.TXT is sector 12 (cluster 2).
INSTANTIATE_TEST_SUITE_P(
    Records, VolumeCheckD88,
    ::testing::Values(
        D88Case{"trackOfTheSystemAreaMissing", [](Bytes& f) { setTrack(f, 1, 0); },
                ProblemKind::sectorMissing, ""},
        D88Case{"twoTracksOnTheSameRecords",
                [](Bytes& f) { setTrack(f, 2, static_cast<std::uint32_t>(recordOffset(8))); },
                ProblemKind::sectorAliased, ""},
        D88Case{"fileSectorRecordedAsACRCError", [](Bytes& f) { f[recordOffset(12) + 8] = 0xB0; },
                ProblemKind::badSector, "/HELLO.TXT"}),
    [](const auto& info) { return info.param.name; });

TEST(VolumeCheckD88Clean, DeletedDataMarkIsNoBadSector) {
    Base base(VolumeParameters::floppy640());
    Bytes file = D88ImageFormat::buildD88Image(base.v.build(), geometry640);
    file[recordOffset(12) + 8] = 0x10;
    const auto result = checkFile("disk.d88", file);
    EXPECT_TRUE(result.clean()) << summary(result);
}

// A boot sector claiming more sectors than the disk has: a note while nothing past the
// end is in use, a problem once something is.
TEST(VolumeCheckBootSector, VolumePastTheDiskIsANoteUntilAClusterThereIsInUse) {
    for (bool allocated : {false, true}) {
        Base base(VolumeParameters::floppy640());
        base.v.patch(19, Bytes{0x3C, 0x05}); // 1340 sectors
        Bytes volume = base.v.build();
        if (allocated) {
            // Cluster 650 ends a chain, in both copies (past the builder's own table).
            for (std::size_t fat : {512u, 1536u}) {
                volume[fat + 975] = 0xFF;
                volume[fat + 976] |= 0x0F;
            }
        }
        const auto result =
            checkFile("disk.d88", D88ImageFormat::buildD88Image(volume, geometry640));
        const VolumeProblem* mismatch = find(result, ProblemKind::bootSectorMismatch);
        if (allocated) {
            ASSERT_NE(mismatch, nullptr) << summary(result);
            EXPECT_EQ(mismatch->clusters, std::vector<std::uint32_t>{650});
        } else {
            EXPECT_TRUE(result.clean()) << summary(result);
            ASSERT_EQ(result.notes.size(), 1u);
        }
    }
}

} // namespace
} // namespace tamberlane::test

namespace tamberlane::test {
namespace {

// The oracle's side: each fault built here is one fsck.fat rejects too, on a volume it
// accepts undamaged, so what the check names is a real problem and not its own opinion.
// fsck.fat reads a directory only up to its end mark, so it cannot see what lies beyond.
TEST(VolumeCheckAgainstFsck, EveryFaultTheCheckNamesIsOneFsckRejectsToo) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "fsck.fat missing";
    }
    const VolumeParameters parameters = parametersFor(Container::raw);
    TempDir dir;
    writeFile(dir / "sound.img", Base(parameters).v.build());
    ASSERT_TRUE(fsckAccepts(dir / "sound.img"));
    for (const FaultCase& c : volumeFaults()) {
        Base base(parameters);
        writeFile(dir / "disk.img", c.damage(base, parameters));
        EXPECT_EQ(static_cast<bool>(fsckAccepts(dir / "disk.img")),
                  c.name == "liveEntryAfterTheEndMark")
            << c.name;
    }
}

} // namespace
} // namespace tamberlane::test
