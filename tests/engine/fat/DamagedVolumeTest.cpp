// Volumes that read but that a change would destroy: each opens and lists, and every
// change is refused before a byte of the file moves.

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DiskImageService.h"
#include "engine/image/formats/D88Format.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace tamberlane::test {
namespace {

const DiskPath root = DiskPath::root();
const DiskGeometry geometry640{2, 80, 8, 512};

VolumeBuilder withHello(VolumeParameters parameters = VolumeParameters::floppy144()) {
    VolumeBuilder volume(parameters);
    volume.addFile(volume.root(), name83("HELLO.TXT"), bytesOf("hello"));
    return volume;
}

void patchU16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A 640 KB D88 whose track table entry `track` is replaced by `offsetOf(table)`.
Bytes d88WithTrackEntry(int track, const std::function<std::uint32_t(const Bytes&)>& offsetOf) {
    Bytes file = D88ImageFormat::buildD88Image(withHello(VolumeParameters::floppy640()).build(),
                                               geometry640);
    const std::uint32_t offset = offsetOf(file);
    for (int i = 0; i < 4; ++i) {
        file[static_cast<std::size_t>(0x20 + 4 * track + i)] =
            static_cast<std::uint8_t>(offset >> (8 * i));
    }
    return file;
}

std::uint32_t trackOffset(const Bytes& file, int track) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | file[static_cast<std::size_t>(0x20 + 4 * track + i)];
    }
    return value;
}

struct DamagedCase {
    std::string name;
    std::string fileName;
    std::function<Bytes()> build;
    std::function<DiskImageError()> refusal;
    bool listsHello = true;
    // The reader itself refuses a root directory that runs past the image.
    bool lists = true;
};

class DamagedVolume : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedVolume, OpensListsAndRefusesEveryChangeLeavingTheFileAsItWas) {
    const DamagedCase& c = GetParam();
    TempDir dir;
    const auto path = dir / c.fileName;
    writeFile(path, c.build());
    const Bytes before = readFile(path);

    DiskImageService service;
    const auto image = service.open(path);
    std::vector<FileEntry> entries;
    if (c.lists) {
        ASSERT_NO_THROW(entries = service.listDirectory(root));
    }
    if (c.lists && c.listsHello) {
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0].directoryEntry.displayName(), "HELLO.TXT");
    }
    const std::string expected = c.refusal().errorDescription();
    ASSERT_TRUE(image->changeRefusal() || image->awaitsSearchConfirmation());

    writeFile(dir / "new.txt", bytesOf("new"));
    const std::vector<std::function<void()>> changes = {
        [&] { FileImport(image).importFile(dir / "new.txt", root, false); },
        [&] { EntryRename(image).createDirectory("NEWDIR", root); },
        [&] { image->writeSector(0, image->readSector(0)); },
    };
    for (const auto& change : changes) {
        try {
            change();
            ADD_FAILURE() << "accepted";
        } catch (const DiskImageError& e) {
            EXPECT_EQ(e.kind(), DiskImageError::Kind::writeProtected);
            EXPECT_EQ(e.errorDescription(), expected);
        }
    }
    EXPECT_EQ(readFile(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DamagedVolume,
    ::testing::Values(
        // The first FAT copy would be written over the boot sector.
        DamagedCase{"NoReservedSector", "disk.img",
                    [] {
                        Bytes b = withHello().build();
                        patchU16(b, 14, 0);
                        return b;
                    },
                    &DiskImageError::unsafeVolumeLayout, false},
        // Root slots past the end would be dropped while the FAT keeps their clusters.
        DamagedCase{"RootDirectoryPastTheImage", "disk.img",
                    [] {
                        Bytes b = withHello().build();
                        patchU16(b, 17, 0xFFF0);
                        return b;
                    },
                    &DiskImageError::unsafeVolumeLayout, false, false},
        // Cluster 2 looks free in the damaged first copy only.
        DamagedCase{"FATCopiesDiffer", "disk.img",
                    [] {
                        Bytes b = withHello().build();
                        b[512 + 3] = 0x00;
                        return b;
                    },
                    &DiskImageError::fatCopiesDiffer},
        // Track 1 holds the root directory: with no record its slots are never saved.
        DamagedCase{"D88RootTrackWithoutRecords", "disk.d88",
                    [] { return d88WithTrackEntry(1, [](const Bytes&) { return 0u; }); },
                    &DiskImageError::metadataNotStorable},
        // Tracks 0 and 1 share their bytes: a save keeps only one of them.
        DamagedCase{
            "D88TracksSharingTheFAT", "disk.d88",
            [] { return d88WithTrackEntry(1, [](const Bytes& f) { return trackOffset(f, 0); }); },
            &DiskImageError::metadataNotStorable, false},
        // The container's own offset holds no boot sector; what the search finds may be
        // an image stored as a file.
        DamagedCase{"VolumeFoundBySearch", "disk.img",
                    [] {
                        Bytes b(1474560, 0);
                        const Bytes inner = withHello(VolumeParameters::withClusters(200)).build();
                        std::copy(inner.begin(), inner.end(), b.begin() + 2048);
                        return b;
                    },
                    [] { return DiskImageError::searchedVolumeUnconfirmed(2048); }},
        // A size no floppy has: the headerless reader's own search finds the volume.
        DamagedCase{"VolumeFoundBySearchInAFileOfNoKnownSize", "disk.img",
                    [] {
                        Bytes b(1474560 + 4096, 0);
                        const Bytes inner = withHello(VolumeParameters::withClusters(200)).build();
                        std::copy(inner.begin(), inner.end(), b.begin() + 1024);
                        return b;
                    },
                    [] { return DiskImageError::searchedVolumeUnconfirmed(1024); }}),
    [](const auto& info) { return info.param.name; });

// A confirmed searched volume takes the change, inside the volume found; sectors that two
// D88 tracks share are never handed out, so a file that would cross them survives a save.
TEST(DamagedVolumeChanges, ConfirmedSearchAndSharedTracksKeepEveryByteOfANewFile) {
    TempDir dir;
    const Bytes content = patternBytes(40 * 1024, 3);
    writeFile(dir / "big.bin", content);

    Bytes searched(1474560, 0);
    const Bytes inner = withHello(VolumeParameters::withClusters(200)).build();
    std::copy(inner.begin(), inner.end(), searched.begin() + 2048);
    writeFile(dir / "searched.img", searched);
    // Tracks 2 and 3 (data clusters 4 to 11) point at the same bytes.
    writeFile(dir / "shared.d88",
              d88WithTrackEntry(3, [](const Bytes& f) { return trackOffset(f, 2); }));

    for (const auto& [file, size] : {std::pair{"searched.img", std::size_t{20 * 1024}},
                                     std::pair{"shared.d88", content.size()}}) {
        const Bytes part(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(size));
        writeFile(dir / "part.bin", part);
        {
            DiskImageService service;
            const auto image = service.open(dir / file);
            image->confirmChangesToSearchedVolume();
            FileImport(image).importFile(dir / "part.bin", root, false);
        }
        DiskImageService service;
        const auto image = service.open(dir / file);
        const auto entries = service.listDirectory(root);
        ASSERT_EQ(entries.size(), 2u) << file;
        EXPECT_EQ(service.readFile(entries[1]), part) << file;
        EXPECT_FALSE(image->changeRefusal()) << file;
    }
    // Nothing outside the volume found moved.
    const Bytes after = readFile(dir / "searched.img");
    EXPECT_TRUE(std::equal(after.begin() + 2048 + static_cast<std::ptrdiff_t>(inner.size()),
                           after.end(),
                           searched.begin() + 2048 + static_cast<std::ptrdiff_t>(inner.size())));
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 2048, searched.begin()));
}

} // namespace
} // namespace tamberlane::test
