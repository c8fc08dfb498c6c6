#include "tests/support/VolumeFaults.h"

#include "engine/image/formats/D88Format.h"
#include "tests/support/PartitionedDisk.h"
#include "tests/support/TestFiles.h"

namespace tamberlane::test {

// A small tree every fault is cut into.
Base::Base(VolumeParameters parameters) : v(parameters) {
    hello = v.addFile(v.root(), name83("HELLO.TXT"), bytesOf("hello"));
    big = v.addFile(v.root(), name83("BIG.DAT"),
                    patternBytes(static_cast<std::size_t>(3 * v.bytesPerCluster() - 10)));
    docs = v.addDirectory(v.root(), name83("DOCS"));
    v.addFile(docs, name83("NOTE.TXT"), bytesOf("note"), u"A note of mine.txt");
    freeCluster = 300;
}

std::vector<std::pair<std::string, Bytes>> baseFiles(const Base& base) {
    return {{"/HELLO.TXT", bytesOf("hello")},
            {"/BIG.DAT", patternBytes(static_cast<std::size_t>(3 * base.v.bytesPerCluster() - 10))},
            {"/DOCS/A note of mine.txt", bytesOf("note")}};
}

const DiskGeometry geometry640{2, 80, 8, 512};

VolumeParameters parametersFor(Container container) {
    switch (container) {
    case Container::raw:
        return VolumeParameters::floppy144();
    case Container::d88:
        return VolumeParameters::floppy640();
    case Container::pc98:
        return VolumeParameters::withClusters(2000);
    }
    return {};
}

void zeroFatCopy(const VolumeParameters& p, Bytes& volume, int copy) {
    const auto start =
        static_cast<std::size_t>((p.reservedSectors + copy * p.sectorsPerFAT) * p.bytesPerSector);
    std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(start),
                std::size_t{p.sectorsPerFAT} * p.bytesPerSector, 0);
}

std::ostream& operator<<(std::ostream& out, const FaultCase& c) {
    return out << c.name;
}

namespace {

Bytes lateEntry(std::uint8_t attributes, std::uint16_t start, std::uint32_t size,
                const std::string& name) {
    return VolumeBuilder::shortEntry(name83(name), attributes, start, size);
}

} // namespace

const std::vector<FaultCase>& volumeFaults() {
    static const std::vector<FaultCase> faults = {
        {"secondFatCopyZeroed",
         [](Base& b, const VolumeParameters& p) {
             Bytes volume = b.v.build();
             zeroFatCopy(p, volume, 1);
             return volume;
         },
         ProblemKind::fatCopiesDiffer, FixKind::writeAgreeingFatCopy, ""},
        {"twoEntriesShareACluster",
         [](Base& b, const VolumeParameters&) {
             b.v.addSlot(b.v.root(), lateEntry(0x20, b.hello[0], 5, "TWIN.TXT"));
             return b.v.build();
         },
         ProblemKind::crossLink, FixKind::copySharedClusters, "/HELLO.TXT"},
        {"chainComesBackToItsStart",
         [](Base& b, const VolumeParameters&) {
             b.v.setFAT(b.big[2], b.big[0]);
             return b.v.build();
         },
         ProblemKind::chainLoop, FixKind::cutChain, "/BIG.DAT"},
        {"chainRunsIntoAFreeCluster",
         [](Base& b, const VolumeParameters&) {
             b.v.setFAT(b.big[1], b.freeCluster);
             return b.v.build();
         },
         ProblemKind::chainIntoFree, FixKind::cutSize, "/BIG.DAT"},
        {"chainRunsIntoAReservedValue",
         [](Base& b, const VolumeParameters&) {
             b.v.setFAT(b.big[1], 1);
             return b.v.build();
         },
         ProblemKind::chainIntoReserved, FixKind::cutSize, "/BIG.DAT"},
        {"chainNamesAClusterPastTheVolume",
         [](Base& b, const VolumeParameters&) {
             b.v.setFAT(b.big[1], 0xFE0);
             return b.v.build();
         },
         ProblemKind::chainOutOfRange, FixKind::cutSize, "/BIG.DAT"},
        {"chainLongerThanTheSize",
         [](Base& b, const VolumeParameters&) {
             b.v.setFAT(b.hello[0], b.freeCluster);
             b.v.setFAT(b.freeCluster, b.endOfChain());
             return b.v.build();
         },
         ProblemKind::chainLongerThanSize, FixKind::cutChain, "/HELLO.TXT"},
        {"chainShorterThanTheSize",
         [](Base& b, const VolumeParameters&) {
             b.v.setFAT(b.big[1], b.endOfChain());
             return b.v.build();
         },
         ProblemKind::chainShorterThanSize, FixKind::cutSize, "/BIG.DAT"},
        {"allocatedClustersNoEntryReaches",
         [](Base& b, const VolumeParameters&) {
             b.v.setFAT(b.freeCluster, static_cast<std::uint16_t>(b.freeCluster + 1));
             b.v.setFAT(static_cast<std::uint16_t>(b.freeCluster + 1), b.endOfChain());
             return b.v.build();
         },
         ProblemKind::lostChain, FixKind::recoverLostChain, ""},
        {"nameWithAControlCharacter",
         [](Base& b, const VolumeParameters&) {
             Bytes slot = lateEntry(0x20, 0, 0, "BADNAME.TXT");
             slot[3] = 0x01;
             b.v.addSlot(b.v.root(), slot);
             return b.v.build();
         },
         ProblemKind::invalidName, FixKind::none, ""},
        {"directoryThatIsAlsoALabel",
         [](Base& b, const VolumeParameters&) {
             b.v.addSlot(b.v.root(), lateEntry(0x18, 0, 0, "ODD"));
             return b.v.build();
         },
         ProblemKind::invalidAttributes, FixKind::none, "/ODD"},
        {"startClusterPastTheVolume",
         [](Base& b, const VolumeParameters&) {
             b.v.addSlot(b.v.root(), lateEntry(0x20, 0xFE0, 10, "WILD.TXT"));
             return b.v.build();
         },
         ProblemKind::invalidStartCluster, FixKind::cutSize, "/WILD.TXT"},
        {"twoEntriesWithOneShortName",
         [](Base& b, const VolumeParameters&) {
             b.v.addFile(b.v.root(), name83("HELLO.TXT"), bytesOf("again"));
             return b.v.build();
         },
         ProblemKind::duplicateName, FixKind::none, "/HELLO.TXT"},
        {"liveEntryAfterTheEndMark",
         [](Base& b, const VolumeParameters&) {
             b.v.setSlot(b.v.root(), 60, lateEntry(0x20, 0, 0, "LATE.TXT"));
             return b.v.build();
         },
         ProblemKind::entryAfterEnd, FixKind::markDeleted, "/LATE.TXT"},
        {"dotEntryNamingAnotherCluster",
         [](Base& b, const VolumeParameters&) {
             b.v.setSlot(b.docs, 0, VolumeBuilder::shortEntry(bytesOf(".          "), 0x10, 0, 0));
             return b.v.build();
         },
         ProblemKind::badDotEntry, FixKind::mendDotEntries, "/DOCS"},
        {"dotDotEntryNamingItself",
         [](Base& b, const VolumeParameters&) {
             b.v.setSlot(b.docs, 1,
                         VolumeBuilder::shortEntry(bytesOf("..         "), 0x10,
                                                   b.v.firstCluster(b.docs), 0));
             return b.v.build();
         },
         ProblemKind::badDotDotEntry, FixKind::mendDotEntries, "/DOCS"},
        {"subdirectoryNamingItsParent",
         [](Base& b, const VolumeParameters&) {
             b.v.addSlot(b.docs, lateEntry(0x10, b.v.firstCluster(b.docs), 0, "LOOP"));
             return b.v.build();
         },
         ProblemKind::directoryCycle, FixKind::markDeleted, "/DOCS/LOOP"},
        {"longNameSlotsWithNoEntry",
         [](Base& b, const VolumeParameters&) {
             b.v.addSlot(b.v.root(),
                         VolumeBuilder::longNameSlot(
                             0x41, 0x12, std::u16string(u"orphan.txt\0\uFFFF\uFFFF", 13)));
             return b.v.build();
         },
         ProblemKind::orphanLongName, FixKind::removeLongNameSlots, "/"},
        {"longNameOfAnotherEntry",
         [](Base& b, const VolumeParameters&) {
             for (const Bytes& slot :
                  VolumeBuilder::longNameSlots(u"Checksum test.txt", name83("CHECKS~1.TXT"))) {
                 b.v.addSlot(b.v.root(), slot);
             }
             b.v.addSlot(b.v.root(), lateEntry(0x20, 0, 0, "OTHER.TXT"));
             return b.v.build();
         },
         ProblemKind::longNameChecksum, FixKind::removeLongNameSlots, "/OTHER.TXT"},
    };
    return faults;
}

ContainerFile containerFile(Container container, const Bytes& volume) {
    switch (container) {
    case Container::raw:
        break;
    case Container::d88:
        return {"disk.d88", D88ImageFormat::buildD88Image(volume, geometry640), {}};
    case Container::pc98: {
        static const PartitionedDisk sound = twoPartitionPC98Disk();
        PartitionedDisk disk = sound;
        place(disk.bytes, disk.volumes[0].offset, volume);
        return {"disk.img", disk.bytes, VolumeChoice::ofPartition(0)};
    }
    }
    return {"disk.img", volume, {}};
}

std::string faultCaseName(const FaultCase& fault, Container container) {
    const char* const names[] = {"raw", "d88", "pc98"};
    return fault.name + "_" + names[static_cast<int>(container)];
}

} // namespace tamberlane::test
