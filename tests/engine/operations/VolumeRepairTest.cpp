// The repair against volumes whose faults are known: each fault with a fix is gone after it,
// what the damage did not touch keeps its bytes, what was lost sits in FOUND.000, and the
// volume on disk is one fsck.fat accepts. A repair that cannot be made whole is not made.

#include "engine/operations/VolumeRepair.h"

#include "engine/base/AtomicFile.h"
#include "engine/fat/DiskImageService.h"
#include "tests/support/FatTools.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"
#include "tests/support/VolumeFaults.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tamberlane::test {
namespace {

std::string summary(const VolumeCheckResult& result) {
    std::string out;
    for (const VolumeProblem& p : result.problems) {
        out += std::string(problemCode(p.kind)) + ": " + describeProblem(p) + "\n";
    }
    return out;
}

bool hasFixable(const VolumeCheckResult& result) {
    return std::any_of(result.problems.begin(), result.problems.end(),
                       [](const VolumeProblem& p) { return p.fix != FixKind::none; });
}

// A damaged volume in a file of its own, opened as the user opens it.
struct OpenedVolume {
    TempDir dir;
    std::filesystem::path path;
    DiskImageService service;
    std::shared_ptr<DiskImage> image;

    OpenedVolume(Container container, const Bytes& volume, bool readOnly = false) {
        const ContainerFile file = containerFile(container, volume);
        path = dir / file.name;
        writeFile(path, file.bytes);
        image = service.open(path, std::nullopt, file.choice, readOnly);
    }
    VolumeChoice choice(Container container) const {
        return container == Container::pc98 ? VolumeChoice::ofPartition(0) : VolumeChoice{};
    }
    VolumeRepairResult repairAll() {
        const VolumeCheckResult check = checkVolume(*image);
        return repairVolume(*image, withRequiredFixes(check, check.problems));
    }
};

class VolumeRepairFault : public ::testing::TestWithParam<std::tuple<FaultCase, Container>> {};

TEST_P(VolumeRepairFault, LeavesOnlyWhatIsReportedAndKeepsEveryUntouchedFile) {
    const auto& [c, container] = GetParam();
    const VolumeParameters parameters = parametersFor(container);
    Base base(parameters);
    OpenedVolume opened(container, c.damage(base, parameters));

    const VolumeRepairResult result = opened.repairAll();
    EXPECT_FALSE(hasFixable(result.after)) << summary(result.after);
    EXPECT_EQ(result.fixed.empty(), c.fix == FixKind::none);

    // What is on disk is what the repair reported: opened again, it checks the same.
    const Container kind = container;
    opened.service.close();
    const auto reopened = opened.service.open(opened.path, std::nullopt, opened.choice(kind));
    const VolumeCheckResult again = checkVolume(*reopened);
    EXPECT_EQ(again.problems.size(), result.after.problems.size()) << summary(again);
    EXPECT_FALSE(reopened->changeRefusal()) << reopened->changeRefusal()->text();

    const Tree tree = engineTree(*reopened);
    for (const auto& [path, bytes] : baseFiles(base)) {
        if (path != c.path) {
            const auto it = tree.find(path.substr(1));
            ASSERT_NE(it, tree.end()) << path;
            EXPECT_EQ(it->second, bytes) << path;
        }
    }
    if (c.fix != FixKind::none && container == Container::raw && fatToolsAvailable()) {
        EXPECT_TRUE(fsckAccepts(opened.path));
    }
}

std::string faultName(const ::testing::TestParamInfo<std::tuple<FaultCase, Container>>& info) {
    return faultCaseName(std::get<0>(info.param), std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Faults, VolumeRepairFault,
                         ::testing::Combine(::testing::ValuesIn(volumeFaults()),
                                            ::testing::Values(Container::raw, Container::d88,
                                                              Container::pc98)),
                         faultName);

// The real case: a volume whose first FAT copy is blank opens read-only; the repair takes the
// intact second copy, so every file reads back whole (a checker that trusts the first copy
// would free every chain), and the volume may be changed again.
TEST(VolumeRepairFatCopies, BlankFirstCopyIsRepairedFromTheSecondAndEveryFileReadsWhole) {
    const VolumeParameters parameters = parametersFor(Container::raw);
    Base base(parameters);
    Bytes volume = base.v.build();
    zeroFatCopy(parameters, volume, 0);
    OpenedVolume opened(Container::raw, volume);
    ASSERT_TRUE(opened.image->changeRefusal());
    ASSERT_FALSE(opened.image->whyNotRepairable());

    const VolumeRepairResult result = opened.repairAll();
    EXPECT_TRUE(result.after.clean()) << summary(result.after);
    EXPECT_FALSE(opened.image->changeRefusal());
    const Tree tree = engineTree(*opened.image);
    for (const auto& [path, bytes] : baseFiles(base)) {
        EXPECT_EQ(tree.at(path.substr(1)), bytes) << path;
    }
    if (fatToolsAvailable()) {
        EXPECT_TRUE(fsckAccepts(opened.path));
    }
}

// Where the copies differ, no other fix can be written on its own: the rule both front ends
// apply, and the repair's refusal when it is not applied.
TEST(VolumeRepairFatCopies, OtherFixesNeedTheFatCopyFixAndAreRefusedWithoutIt) {
    const VolumeParameters parameters = parametersFor(Container::raw);
    Base base(parameters);
    base.v.setFAT(base.freeCluster, base.endOfChain()); // a lost chain
    Bytes volume = base.v.build();
    zeroFatCopy(parameters, volume, 1);
    OpenedVolume opened(Container::raw, volume);
    const VolumeCheckResult check = checkVolume(*opened.image);
    std::vector<VolumeProblem> lostOnly;
    std::copy_if(check.problems.begin(), check.problems.end(), std::back_inserter(lostOnly),
                 [](const VolumeProblem& p) { return p.kind == ProblemKind::lostChain; });
    ASSERT_EQ(lostOnly.size(), 1u);
    EXPECT_EQ(withRequiredFixes(check, lostOnly).size(), 2u);
    EXPECT_TRUE(withRequiredFixes(check, {}).empty());

    const Bytes before = readFile(opened.path);
    EXPECT_EQ(errorText([&] { repairVolume(*opened.image, lostOnly); }),
              std::string(DiskImageError::fatCopiesDiffer().what()));
    EXPECT_EQ(readFile(opened.path), before);
}

// Lost data is kept, not freed: the lost chain and the tail cut off a chain longer than its
// file both become files of FOUND.000 holding their clusters' bytes.
TEST(VolumeRepairFound, LostChainAndCutTailBecomeFilesOfFound000) {
    const VolumeParameters parameters = parametersFor(Container::raw);
    Base base(parameters);
    const auto cluster = static_cast<std::size_t>(base.v.bytesPerCluster());
    const std::uint16_t lost = 400;
    base.v.setFAT(lost, base.endOfChain());
    base.v.writeCluster(lost, patternBytes(cluster, 7));
    base.v.setFAT(base.hello[0], base.freeCluster); // HELLO.TXT runs on into a tail
    base.v.setFAT(base.freeCluster, base.endOfChain());
    base.v.writeCluster(base.freeCluster, patternBytes(cluster, 9));
    OpenedVolume opened(Container::raw, base.v.build());

    const VolumeRepairResult result = opened.repairAll();
    EXPECT_TRUE(result.after.clean()) << summary(result.after);
    const Tree tree = engineTree(*opened.image);
    EXPECT_EQ(tree.at("HELLO.TXT"), bytesOf("hello"));
    std::vector<Bytes> found;
    for (const auto& [path, bytes] : tree) {
        if (path.starts_with("FOUND.000/FILE")) {
            EXPECT_TRUE(path.ends_with(".CHK")) << path;
            found.push_back(bytes);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<Bytes> expected = {patternBytes(cluster, 7), patternBytes(cluster, 9)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

// A file already named FOUND.000 is never joined by a folder of the same name: what is kept
// goes to FOUND.001.
TEST(VolumeRepairFound, FileNamedFound000LeavesTheKeptChainsToFound001) {
    const VolumeParameters parameters = parametersFor(Container::raw);
    Base base(parameters);
    base.v.addFile(base.v.root(), name83("FOUND.000"), bytesOf("mine"));
    base.v.setFAT(base.freeCluster, base.endOfChain());
    base.v.writeCluster(base.freeCluster, patternBytes(512, 4));
    OpenedVolume opened(Container::raw, base.v.build());

    EXPECT_TRUE(opened.repairAll().after.clean());
    const Tree tree = engineTree(*opened.image);
    EXPECT_EQ(tree.at("FOUND.000"), bytesOf("mine"));
    EXPECT_EQ(tree.at("FOUND.001/FILE0000.CHK"), patternBytes(512, 4));
}

// Refused as a whole: with no room for the copies of shared clusters, nothing is written and
// the error says how much the repair needs.
TEST(VolumeRepairRefusal, NoRoomForCopiesRefusesTheWholeRepairWithTheSpaceItNeeds) {
    VolumeParameters parameters = VolumeParameters::withClusters(40);
    VolumeBuilder v(parameters);
    const auto cluster = static_cast<std::size_t>(v.bytesPerCluster());
    const auto shared = v.addFile(v.root(), name83("A.DAT"), patternBytes(4 * cluster));
    v.addFile(v.root(), name83("FILL.DAT"), patternBytes(36 * cluster));
    v.addSlot(v.root(), VolumeBuilder::shortEntry(name83("B.DAT"), 0x20, shared[0],
                                                  static_cast<std::uint32_t>(4 * cluster)));
    OpenedVolume opened(Container::raw, v.build());
    const Bytes before = readFile(opened.path);
    const std::string message = errorText([&] { opened.repairAll(); });
    EXPECT_NE(message.find(std::to_string(4 * cluster)), std::string::npos) << message;
    EXPECT_EQ(readFile(opened.path), before);
    EXPECT_FALSE(checkVolume(*opened.image).clean());
}

// All or nothing: a save that fails leaves the file, the image in memory and its refusal as
// they were, the FAT copies included (the repair wrote them first).
TEST(VolumeRepairRefusal, FailedSaveLeavesFileMemoryAndRefusalAsBefore) {
    const VolumeParameters parameters = parametersFor(Container::raw);
    Base base(parameters);
    base.v.setFAT(base.freeCluster, base.endOfChain());
    Bytes volume = base.v.build();
    zeroFatCopy(parameters, volume, 1);
    OpenedVolume opened(Container::raw, volume);
    const Bytes fileBefore = readFile(opened.path);
    const Bytes dataBefore = opened.image->data().toBytes();
    setAtomicWriteFaultHook(
        [](AtomicWriteStep step) { return step == AtomicWriteStep::rename ? EIO : 0; });
    EXPECT_EQ(errorKind([&] { opened.repairAll(); }), DiskImageError::Kind::ioError);
    setAtomicWriteFaultHook(nullptr);
    EXPECT_EQ(readFile(opened.path), fileBefore);
    EXPECT_TRUE(opened.image->data() == dataBefore);
    EXPECT_TRUE(opened.image->changeRefusal());
    EXPECT_EQ(checkVolume(*opened.image).problems.size(), 2u);
}

// Never on a file that may not be written: a read-only open is refused before anything moves.
TEST(VolumeRepairRefusal, ReadOnlyOpenIsNeverRepaired) {
    const VolumeParameters parameters = parametersFor(Container::raw);
    Base base(parameters);
    base.v.setFAT(base.freeCluster, base.endOfChain());
    OpenedVolume opened(Container::raw, base.v.build(), true);
    EXPECT_EQ(errorKind([&] { opened.repairAll(); }), DiskImageError::Kind::writeProtected);
}

// A fix the user left out stays a problem; the ones chosen are made.
TEST(VolumeRepairChoice, FixesLeftOutStayAndTheChosenAreMade) {
    const VolumeParameters parameters = parametersFor(Container::raw);
    Base base(parameters);
    base.v.setFAT(base.freeCluster, base.endOfChain());
    base.v.setFAT(base.big[1], base.endOfChain()); // BIG.DAT shorter than its size
    OpenedVolume opened(Container::raw, base.v.build());
    const VolumeCheckResult check = checkVolume(*opened.image);
    ASSERT_EQ(check.problems.size(), 3u) << summary(check); // the cut-off cluster is lost too
    std::vector<VolumeProblem> chosen;
    std::copy_if(check.problems.begin(), check.problems.end(), std::back_inserter(chosen),
                 [](const VolumeProblem& p) { return p.kind != ProblemKind::lostChain; });
    const VolumeRepairResult result = repairVolume(*opened.image, chosen);
    ASSERT_EQ(result.after.problems.size(), 2u) << summary(result.after);
    EXPECT_EQ(result.after.problems[0].kind, ProblemKind::lostChain);
    EXPECT_EQ(result.after.problems[1].kind, ProblemKind::lostChain);
    EXPECT_EQ(engineTree(*opened.image).at("BIG.DAT").size(),
              static_cast<std::size_t>(2 * base.v.bytesPerCluster()));
}

} // namespace
} // namespace tamberlane::test
