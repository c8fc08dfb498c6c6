// Each test names a way a change could damage a volume or report a failure as success.

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectoryWalk.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/NewEntryName.h"
#include "engine/fat/PathResolver.h"
#include "engine/operations/DeletedFileRecovery.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/EntryTransfer.h"
#include "engine/operations/FileImport.h"
#include "engine/operations/HostFileReader.h"
#include "engine/operations/UndoRedoManager.h"
#include "tests/engine/operations/OperationsTestSupport.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tamberlane::test {
namespace {

using Kind = DiskImageError::Kind;
const DiskPath root = DiskPath::root();
// A full root is its own fault, not the disk's: the disk may have room.
std::string rootFull(int entries) {
    return "ルートディレクトリに空きがありません（最大 " + std::to_string(entries) + " 項目）";
}

class MendedFaultsTest : public VolumeOperationsTest {
  protected:
    std::int64_t freeBytes() const {
        return image->fatTable().freeClusterCount() * image->addressing().bytesPerCluster();
    }
    // Opens a 1.44 MB volume stated byte by byte instead of the one mkfs.fat made.
    void openBuilt(const VolumeBuilder& built) {
        writeFile(volume->path(), built.build());
        open();
    }
    // Runs `change`, expects `kind` (and `message`), and that nothing moved; returns the
    // refusal's reason.
    template <typename F>
    DiskImageError::Reason expectRefusedUnchanged(F change, Kind kind,
                                                  const std::string& message = {}) {
        DiskImageError::Reason reason = DiskImageError::Reason::none;
        const Bytes file = volume->fileBytes();
        const Bytes data = image->data().toBytes();
        const PagedBytes pages = image->data();
        const FATTable fat = image->fatTable();
        try {
            change();
            ADD_FAILURE() << "accepted";
        } catch (const DiskImageError& error) {
            EXPECT_EQ(error.kind(), kind) << error.what();
            reason = error.reason();
            if (!message.empty()) {
                EXPECT_EQ(error.errorDescription(), message);
            }
        }
        EXPECT_EQ(volume->fileBytes(), file);
        EXPECT_TRUE(image->data() == data);
        // A rollback puts the very pages back, so an undo snapshot taken before the
        // refused change still shares all of them.
        EXPECT_EQ(image->data().pagesNotSharedWith(pages), 0u);
        EXPECT_TRUE(image->fatTable() == fat);
        return reason;
    }
};

TEST_F(MendedFaultsTest, ImportOverDirectoryOfSameNameNeverReplacesIt) {
    mtoolsMkdir(volume->path(), "::/GAMES");
    put("::/GAMES/INNER.TXT", 100, 2);
    open();
    for (bool overwrite : {false, true}) {
        EXPECT_EQ(expectRefusedUnchanged(
                      [&] { FileImport(image).importFile(host("games", 10), root, overwrite); },
                      Kind::encodingError,
                      "文字エンコーディングエラー: 同名のディレクトリが既に存在します: games"),
                  DiskImageError::Reason::directoryExists);
    }
    EXPECT_EQ(mtoolsRead(volume->path(), "::/GAMES/INNER.TXT"), patternBytes(100, 2));
}

// One byte more than the free space and the old file's six clusters together.
TEST_F(MendedFaultsTest, FailedOverwriteKeepsTheOldFile) {
    put("::/DATA.TXT", 3000, 7);
    open();
    const auto tooBig = host("data.txt", static_cast<std::size_t>(freeBytes()) + 6 * 512 + 1);
    expectRefusedUnchanged([&] { FileImport(image).importFile(tooBig, root, true); },
                           Kind::diskFull);
    EXPECT_EQ(mtoolsRead(volume->path(), "::/DATA.TXT"), patternBytes(3000, 7));
}

// A subdirectory of a 1.44 MB floppy holds 14 entries per cluster; the 15th file must
// not fail on a nearly empty disk.
TEST_F(MendedFaultsTest, FullSubdirectoryGrowsAndAFailedGrowthRestoresEverything) {
    mtoolsMkdir(volume->path(), "::/FULL");
    open();
    const DiskPath fullPath = DiskPath::fromString("FULL");
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 46; ++i) {
        files.push_back(
            host("f" + std::to_string(i), i < 40 ? 100 : 0, static_cast<std::uint8_t>(i)));
    }
    EXPECT_TRUE(FileImport(image).importFiles(files, fullPath, false).allSucceeded());
    const std::uint16_t start = listedEntry(*image, root, "FULL").directoryEntry.startCluster;
    EXPECT_EQ(FATParser::getClusterChain(start, image->fatTable()).size(), 3u);
    EXPECT_TRUE(fsckAccepts(volume->path()));
    const std::string listing = mdirListing(volume->path());
    for (int i = 0; i < 46; ++i) {
        EXPECT_NE(listing.find("F" + std::to_string(i) + " "), std::string::npos) << i;
    }
    EXPECT_EQ(mtoolsRead(volume->path(), "::/FULL/F39"), patternBytes(100, 39));
    // All 48 slots are taken: the data fits, the cluster the directory needs does not.
    const auto fillsDisk = host("last.bin", static_cast<std::size_t>(freeBytes()));
    expectRefusedUnchanged([&] { FileImport(image).importFile(fillsDisk, fullPath, false); },
                           Kind::diskFull);
}

TEST_F(MendedFaultsTest, StaleListingEntryIsNeverDeletedOrRenamed) {
    put("::/A.TXT", 2000, 3);
    open();
    const FileEntry stale = listedEntry(*image, root, "A.TXT");
    EntryDeletion(image).deleteEntry(stale, false);
    FileImport(image).importFile(host("b.txt", 2000, 4), root, false); // takes the freed clusters
    const std::string message = "ヘッダの解析に失敗しました: エントリが見つかりません: A.TXT";
    expectRefusedUnchanged([&] { EntryDeletion(image).deleteEntry(stale, false); },
                           Kind::headerParseFailure, message);
    expectRefusedUnchanged([&] { EntryRename(image).rename(stale, "c.txt"); },
                           Kind::headerParseFailure, message);
    EXPECT_EQ(EntryDeletion(image).deleteEntries({stale}, false).failedNames(),
              std::vector<std::string>{"A.TXT"});
    EXPECT_EQ(mtoolsRead(volume->path(), "::/B.TXT"), patternBytes(2000, 4));
}

// A batch that names one entry twice, or an entry inside a tree it also removes, failed
// on the later item although the earlier one had done what was asked.
TEST_F(MendedFaultsTest, BatchNamingAnEntryTwiceRemovesItOnceAndSucceeds) {
    put("::/A.TXT", 100, 1);
    mtoolsMkdir(volume->path(), "::/D");
    put("::/D/IN.TXT", 100, 2);
    put("::/KEEP.TXT", 100, 3);
    open();
    const FileEntry a = listedEntry(*image, root, "A.TXT");
    const FileEntry d = listedEntry(*image, root, "D");
    const FileEntry in = listedEntry(*image, DiskPath::fromString("D"), "IN.TXT");
    const BatchResult result =
        EntryDeletion(image).deleteEntries({a, a, d, in}, true, BatchMode::allOrNothing);
    EXPECT_TRUE(result.allSucceeded());
    EXPECT_EQ(result.items.size(), 4u);
    EXPECT_EQ(rootNames(), std::vector<std::string>{"KEEP.TXT"});
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

// Long-name slots left live in front of a deleted or renamed short entry are orphans.
TEST_F(MendedFaultsTest, DeleteRenameAndOverwriteLeaveNoOrphanedLongNames) {
    put("::/Deleted Long Name.txt", 100, 1);
    put("::/Overwritten Long Name.txt", 100, 2);
    mtoolsMkdir(volume->path(), "::/Renamed Long Directory");
    open();
    EntryDeletion(image).deleteEntry(listedEntry(*image, root, "Deleted Long Name.txt"), false);
    EXPECT_TRUE(fsckAccepts(volume->path())) << "delete";
    EntryRename(image).rename(listedEntry(*image, root, "Renamed Long Directory"), "short");
    EXPECT_TRUE(fsckAccepts(volume->path())) << "rename";
    const FileEntry old = listedEntry(*image, root, "Overwritten Long Name.txt");
    const std::string shortName = old.directoryEntry.shortName();
    FileImport(image).importFile(host(shortName, 50, 3), root, true);
    EXPECT_TRUE(fsckAccepts(volume->path())) << "overwrite of " << shortName;
    EXPECT_EQ(mtoolsRead(volume->path(), "::/" + shortName), patternBytes(50, 3));
}

TEST_F(MendedFaultsTest, FailedCreateDirectoryReleasesItsCluster) {
    open();
    for (int i = 0; i < image->layout().bpb.rootEntryCount; ++i) {
        FileImport(image).importFile(host("e" + std::to_string(i), 0), root, false);
    }
    EXPECT_EQ(expectRefusedUnchanged([&] { EntryRename(image).createDirectory("sub", root); },
                                     Kind::diskFull, rootFull(224)),
              DiskImageError::Reason::rootDirectoryFull);
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

TEST_F(MendedFaultsTest, TruncatedImageNeverStoresDataOutsideItsBytes) {
    // The same volume cut to half: the FAT still lists every cluster.
    std::filesystem::resize_file(volume->path(), 737280);
    auto truncated = DiskImageService::openWithManualParams(
        volume->path(), PagedBytes(readFile(volume->path())), ManualParameters{}, false);
    const std::int64_t storable = truncated->fatTable().freeClusterCount();
    EXPECT_LT(storable, truncated->addressing().totalClusters());
    const auto free =
        static_cast<std::size_t>(storable * truncated->addressing().bytesPerCluster());
    EXPECT_THROW(FileImport(truncated).importFile(host("big", free + 1), root, false),
                 DiskImageError);
    FileImport(truncated).importFile(host("fits", free), root, false);
    const auto entries = readDirectoryEntries(*truncated, root, std::nullopt);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(DirectoryReader::readFile(*truncated, entries[0].directoryEntry),
              patternBytes(free, 1));
}

TEST_F(MendedFaultsTest, ImportTakesRegularFilesOnly) {
    open();
    ASSERT_EQ(mkfifo((hostDir / "pipe").c_str(), 0600), 0);
    std::filesystem::create_directories(hostDir / "folder");
    for (const char* name : {"pipe", "folder", "missing"}) {
        expectRefusedUnchanged([&] { FileImport(image).importFile(hostDir / name, root, false); },
                               Kind::ioError);
    }
    // A link to a regular file is followed.
    std::filesystem::create_symlink(host("target.txt", 10), hostDir / "link.txt");
    FileImport(image).importFile(hostDir / "link.txt", root, false);
    EXPECT_EQ(mtoolsRead(volume->path(), "::/LINK.TXT"), patternBytes(10, 1));
}

// Sizes are checked before the host file is read, and reported in bytes, not clusters.
TEST_F(MendedFaultsTest, TooLargeImportIsRefusedInBytesBeforeReading) {
    open();
    const std::int64_t free = freeBytes();
    const auto huge = hostDir / "huge.bin";
    writeFile(huge, {});
    std::filesystem::resize_file(huge, std::uintmax_t{1} << 32);
    const std::string none = "ディスク容量が不足しています。必要: ";
    expectRefusedUnchanged([&] { FileImport(image).importFile(huge, root, false); }, Kind::diskFull,
                           none + "4294967296 バイト、空き: " + std::to_string(free) + " バイト");
    expectRefusedUnchanged(
        [&] { FileImport(image).importFile(host("one.bin", free + 1), root, false); },
        Kind::diskFull,
        none + std::to_string(free + 1) + " バイト、空き: " + std::to_string(free) + " バイト");
    FileImport(image).importFile(host("all.bin", static_cast<std::size_t>(free)), root, false);
    EXPECT_EQ(image->fatTable().freeClusterCount(), 0);
    // A replacement counts the clusters of the file it replaces as free.
    FileImport(image).importFile(host("all.bin", static_cast<std::size_t>(free), 2), root, true);
    EXPECT_EQ(mtoolsRead(volume->path(), "::/ALL.BIN"),
              patternBytes(static_cast<std::size_t>(free), 2));
    expectRefusedUnchanged(
        [&] { FileImport(image).importFile(host("all.bin", free + 1, 3), root, true); },
        Kind::diskFull,
        none + std::to_string(free + 1) + " バイト、空き: " + std::to_string(free) + " バイト");
    expectRefusedUnchanged([&] { EntryRename(image).createDirectory("d", root); }, Kind::diskFull,
                           none + "512 バイト、空き: 0 バイト");
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

// A new entry that takes the end mark must not bring the stale slot behind it back into
// the listing, and the root ends at its entry count even inside a sector.
TEST_F(MendedFaultsTest, NewEntriesRevealNoStaleSlotAndStayInsideTheRoot) {
    VolumeParameters small = VolumeParameters::floppy144();
    small.rootEntryCount = 20; // a sector and a quarter
    VolumeBuilder built(small);
    built.addFile(built.root(), name83("A.TXT"), bytesOf("a"));
    // Slot 1 ends the directory; slot 2 still names A.TXT's cluster from before.
    built.setSlot(built.root(), 2, VolumeBuilder::shortEntry(name83("STALE.TXT"), 0x20, 2, 5000));
    openBuilt(built);
    FileImport(image).importFile(host("new.txt", 10), root, false);
    EXPECT_EQ(rootNames(), (std::vector<std::string>{"A.TXT", "NEW.TXT"}));
    for (int i = 2; i < 20; ++i) {
        FileImport(image).importFile(host("e" + std::to_string(i), 0), root, false);
    }
    EXPECT_EQ(rootNames().size(), 20u);
    EXPECT_EQ(
        expectRefusedUnchanged([&] { FileImport(image).importFile(host("over", 0), root, false); },
                               Kind::diskFull, rootFull(20)),
        DiskImageError::Reason::rootDirectoryFull);
}

// Other tools keep a long name beside an alias, and users see the long name: a second
// entry listed under a name already listed is two files of one name. The volume label
// is nobody's name.
TEST_F(MendedFaultsTest, NamesClashAsListedAndAnOverwriteKeepsTheLongName) {
    VolumeBuilder built;
    built.addSlot(built.root(), VolumeBuilder::shortEntry(name83("MYLABEL"), 0x08, 0, 0));
    // The same label in the boot sector, as checkers want it.
    built.patch(38, Bytes{0x29});
    built.patch(43, name83("MYLABEL"));
    built.addFile(built.root(), name83("DATA2~1.CSV"), bytesOf("old data"), u"データ2.csv");
    built.addFile(built.root(), name83("MYDOCU~1.DOC"), bytesOf("old doc"), u"My Document.docx");
    built.addFile(built.root(), name83("DATA~1"), bytesOf("x"), u"データ");
    const auto sub = built.addDirectory(built.root(), name83("SUB"));
    built.addFile(sub, name83("DATA2~2.CSV"), bytesOf("other"), u"データ2.csv");
    openBuilt(built);
    const std::string clash = "文字エンコーディングエラー: 同名のファイルが既に存在します: ";
    expectRefusedUnchanged(
        [&] { FileImport(image).importFile(host("データ2.csv", 10), root, false); },
        Kind::encodingError, clash + "データ2.csv");
    expectRefusedUnchanged(
        [&] { EntryRename(image).createDirectory("データ", root); }, Kind::encodingError,
        "文字エンコーディングエラー: 同名のディレクトリが既に存在します: データ");
    const FileEntry doc = listedEntry(*image, root, "My Document.docx");
    expectRefusedUnchanged([&] { EntryRename(image).rename(doc, "データ2.csv"); },
                           Kind::encodingError, clash + "データ2.csv");
    const FileEntry other = listedEntry(*image, DiskPath::fromString("SUB"), "データ2.csv");
    EXPECT_EQ(EntryTransfer(image).moveEntries({other}, root, {}).failedNames(),
              std::vector<std::string>{"データ2.csv"});

    FileImport(image).importFile(host("MYDOCU~1.DOC", 20, 5), root, true);
    FileImport(image).importFile(host("データ2.csv", 30, 6), root, true);
    FileImport(image).importFile(host("mylabel", 40, 7), root, false);
    FileImport(image).importFile(host("mylabel", 40, 8), root, true);
    EXPECT_EQ(rootNames(), (std::vector<std::string>{"データ2.csv", "My Document.docx", "データ",
                                                     "SUB", "mylabel"}));
    const auto contents = [&](const std::string& name) {
        return DirectoryReader::readFile(*image, listedEntry(*image, root, name).directoryEntry);
    };
    EXPECT_EQ(contents("My Document.docx"), patternBytes(20, 5));
    EXPECT_EQ(contents("データ2.csv"), patternBytes(30, 6));
    EXPECT_EQ(contents("mylabel"), patternBytes(40, 8));
    const Bytes first = image->readSector(image->addressing().rootDirectoryStartSector());
    Bytes label = name83("MYLABEL");
    label.push_back(0x08);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 12), label);
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

TEST_F(MendedFaultsTest, DotNamesAreRefusedAndAHostFileIsReadToItsEnd) {
    put("::/A.TXT", 10, 1);
    open();
    const FileEntry a = listedEntry(*image, root, "A.TXT");
    for (const std::string name : {".", ".."}) {
        const std::string message = "文字エンコーディングエラー: この名前は使用できません: " + name;
        expectRefusedUnchanged([&] { EntryRename(image).createDirectory(name, root); },
                               Kind::encodingError, message);
        expectRefusedUnchanged([&] { EntryRename(image).rename(a, name); }, Kind::encodingError,
                               message);
    }
    // Files of /proc say they hold 0 bytes.
    FileImport(image).importFile("/proc/self/status", root, false);
    const Bytes status =
        DirectoryReader::readFile(*image, listedEntry(*image, root, "STATUS").directoryEntry);
    ASSERT_GT(status.size(), 5u);
    EXPECT_EQ(std::string(status.begin(), status.begin() + 5), "Name:");
}

// Catches a stop that waits until a big host file has been read whole.
TEST(HostFileReadTest, AStopIsSeenWhileAHostFileIsRead) {
    const TempDir folder;
    const auto path = folder.path() / "big.bin";
    writeFile(path, patternBytes(3 << 20, 9));
    std::stop_source stop;
    EXPECT_EQ(readHostFile(path, 3 << 20, 4 << 20, stop.get_token()).toBytes(),
              patternBytes(3 << 20, 9));
    stop.request_stop();
    EXPECT_THROW(readHostFile(path, 3 << 20, 4 << 20, stop.get_token()), BatchCancelled);
}

TEST_F(MendedFaultsTest, UndoNeverRestoresIntoAnotherImage) {
    open();
    UndoRedoManager undo;
    undo.saveSnapshot("ディレクトリ作成", image);
    EntryRename(image).createDirectory("a", root);
    TempDir otherDir;
    Volume other(otherDir, allVolumeKinds()[0]);
    const auto otherImage = other.open();
    const Bytes otherBefore = other.fileBytes();
    undo.performUndo(otherImage);
    EXPECT_EQ(other.fileBytes(), otherBefore);
    EXPECT_TRUE(otherImage->data() == otherBefore);
    EXPECT_EQ(undo.undoStack().size(), 1u);
    // Nor into an image that took the place of a dropped one.
    image.reset();
    volume->close();
    open();
    const Bytes before = volume->fileBytes();
    undo.performUndo(image);
    EXPECT_EQ(volume->fileBytes(), before);
}

TEST_F(MendedFaultsTest, UndoStackKeepsTheTenNewestAndANewChangeDropsRedo) {
    open();
    UndoRedoManager undo;
    int notified = 0;
    int alsoNotified = 0;
    const Subscription first = undo.stacksChanged().subscribe([&notified] { ++notified; });
    const Subscription second = undo.stacksChanged().subscribe([&alsoNotified] { ++alsoNotified; });
    for (int i = 1; i <= 12; ++i) {
        undo.saveSnapshot(std::to_string(i), image);
    }
    ASSERT_EQ(undo.undoStack().size(), 10u);
    EXPECT_EQ(undo.undoStack().front().operationName, "3");
    EXPECT_EQ(notified, 12);
    EXPECT_EQ(alsoNotified, 12);
    undo.performUndo(image);
    undo.saveSnapshot("new", image);
    EXPECT_TRUE(undo.redoStack().empty());
}

// Ten undo steps must not hold ten copies of the image: each snapshot shares every page
// the changes after it left alone, and undoing them all gives the first bytes back.
TEST_F(MendedFaultsTest, UndoSnapshotsShareThePagesLaterChangesLeftAlone) {
    open();
    UndoRedoManager undo;
    const Bytes first = volume->fileBytes();
    for (int i = 0; i < 10; ++i) {
        undo.saveSnapshot("インポート", image);
        FileImport(image).importFile(
            host("F" + std::to_string(i) + ".TXT", 100, static_cast<std::uint8_t>(i)), root, false);
    }
    // Boot sector, both FATs and the root directory share two pages; the ten small
    // files' clusters one or two more.
    for (const UndoSnapshot& snapshot : undo.undoStack()) {
        EXPECT_LE(snapshot.imageData.pagesNotSharedWith(image->data()), 4u);
    }
    for (int i = 0; i < 10; ++i) {
        undo.performUndo(image);
    }
    EXPECT_EQ(volume->fileBytes(), first);
    EXPECT_TRUE(image->data() == first);
}

TEST(ShortNameTest, HostNamesBecomeValidShortNames) {
    struct Case {
        std::string host, name, ext;
    };
    for (const Case& c : std::vector<Case>{{".profile", "_PROFILE", "   "},
                                           {"readme.txt", "README  ", "TXT"},
                                           {"archive.tar.gz", "ARCHIVE_", "GZ "},
                                           {"noext", "NOEXT   ", "   "},
                                           // U+00A5 is 0x5C in the code page: a separator.
                                           {"¥100.txt", "_100    ", "TXT"},
                                           // 0x5C as second byte of a character stays.
                                           {"ソフト.txt", "\x83\x5C\x83\x74\x83\x67  ", "TXT"}}) {
        const auto [base, ext] = NewEntryName::split(c.host);
        const auto [name83, ext83] = NewEntryName::shortNameKey(base, ext);
        EXPECT_EQ(std::string(name83.begin(), name83.end()), c.name) << c.host;
        EXPECT_EQ(std::string(ext83.begin(), ext83.end()), c.ext) << c.host;
    }
    const auto [blank, none] = NewEntryName::shortNameKey("", "txt");
    EXPECT_EQ(std::string(blank.begin(), blank.end()), "_       ");
}

class RecoveryTest : public MendedFaultsTest {
  protected:
    // Imports `name` into the root, deletes it, and returns the one deleted entry listed.
    DeletedFileEntry importAndDelete(const std::string& name, std::size_t size) {
        FileImport(image).importFile(host(name, size), root, false);
        EntryDeletion(image).deleteEntry(listedEntry(*image, root, name), false);
        const auto deleted = DeletedFileRecovery::listDeletedEntries(*image, root);
        EXPECT_EQ(deleted.size(), 1u);
        return deleted.back();
    }
};

TEST_F(RecoveryTest, RestoredDirectoryKeepsItsClusterAndTheVolumeStaysSound) {
    open();
    EntryRename(image).createDirectory("keep", root);
    const FileEntry dirEntry = listedEntry(*image, root, "KEEP");
    EntryDeletion(image).deleteEntry(dirEntry, true);
    const auto deleted = DeletedFileRecovery::listDeletedEntries(*image, root);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].displayName, "?EEP");
    EXPECT_EQ(deleted[0].requiredClusters, 1);
    EXPECT_EQ(deleted[0].recoverability, 100);
    const auto byte = DeletedFileRecovery::validateRestore(deleted[0], "k", *image);
    ASSERT_EQ(std::get<std::uint8_t>(byte), 'K') << "a lower-case short name is invalid";
    DeletedFileRecovery::restore(*image, root, deleted[0], 'k');
    const std::uint16_t cluster = dirEntry.directoryEntry.startCluster;
    EXPECT_EQ(image->fatTable().entries()[cluster], image->fatTable().endOfChainValue());
    // The next allocation does not take the restored directory's cluster.
    FileImport(image).importFile(host("after.bin", 100), root, false);
    EXPECT_NE(listedEntry(*image, root, "AFTER.BIN").directoryEntry.startCluster, cluster);
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

TEST_F(RecoveryTest, DeletedEntriesOfDirectoryWithLongNameAreListed) {
    mtoolsMkdir(volume->path(), "::/Long Directory Name");
    put("::/Long Directory Name/README.TXT", 1500, 9);
    open();
    const DiskPath longDir = DiskPath::fromString("Long Directory Name");
    EntryDeletion(image).deleteEntry(listedEntry(*image, longDir, "README.TXT"), false);
    const auto deleted = DeletedFileRecovery::listDeletedEntries(
        *image, DiskPath::fromString("long directory name"));
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].displayName, "?EADME.TXT");
    EXPECT_EQ(deleted[0].requiredClusters, 3);
    DeletedFileRecovery::restore(*image, longDir, deleted[0], 'R');
    EXPECT_EQ(mtoolsRead(volume->path(), "::/Long Directory Name/README.TXT"),
              patternBytes(1500, 9));
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

TEST_F(RecoveryTest, UsedClustersAreCountedAndRestoreRefused) {
    open();
    EntryRename(image).createDirectory("d", root);
    importAndDelete("GONE.TXT", 1500);
    // Takes the first of the three freed clusters (and a slot elsewhere).
    FileImport(image).importFile(host("new.txt", 10), DiskPath::fromString("D"), false);
    const auto deleted = DeletedFileRecovery::listDeletedEntries(*image, root);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].freeClusters, 2);
    EXPECT_EQ(deleted[0].recoverability, 66);
    EXPECT_EQ(std::get<std::string>(DeletedFileRecovery::validateRestore(deleted[0], "G", *image)),
              "クラスタチェーンに使用中のクラスタが1個含まれるため、復元できません");
    // The engine itself refuses too: a stale listing must not cross-link two files.
    expectRefusedUnchanged([&] { DeletedFileRecovery::restore(*image, root, deleted[0], 'G'); },
                           Kind::clusterChainError);
}

TEST_F(RecoveryTest, RestoreRefusesStaleSlotAndNameOfLiveEntry) {
    open();
    const DeletedFileEntry same = importAndDelete("SAME.TXT", 10);
    FileImport(image).importFile(host("same.txt", 20), root, false); // takes the deleted slot
    expectRefusedUnchanged([&] { DeletedFileRecovery::restore(*image, root, same, 'S'); },
                           Kind::headerParseFailure);
    FileImport(image).importFile(host("mther.txt", 10), root, false);
    const DeletedFileEntry other = importAndDelete("OTHER.TXT", 10);
    expectRefusedUnchanged([&] { DeletedFileRecovery::restore(*image, root, other, 'm'); },
                           Kind::encodingError);
}

// Restore looked for a live entry of the same raw 8.3 name only, so a file listed under a
// long name equal to the restored name came back beside it, two entries of one name.
TEST(RestoreClash, RestoreRefusesANameAnotherEntryIsListedUnder) {
    VolumeBuilder v;
    v.addFile(v.root(), name83("KEPT~1.TXT"), bytesOf("live"), u"Kept.txt");
    v.addSlot(v.root(), VolumeBuilder::shortEntry(bytesOf("\xE5"
                                                          "EPT    TXT"),
                                                  0x20, 0, 0));
    TempDir dir;
    writeFile(dir / "clash.img", v.build());
    DiskImageService service;
    const auto image = service.open(dir / "clash.img");
    const auto deleted = DeletedFileRecovery::listDeletedEntries(*image, DiskPath::root());
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(
        errorText([&] { DeletedFileRecovery::restore(*image, DiskPath::root(), deleted[0], 'K'); }),
        "文字エンコーディングエラー: 同名のファイルが既に存在します: KEPT.TXT");
    DeletedFileRecovery::restore(*image, DiskPath::root(), deleted[0], 'C');
    EXPECT_EQ(readFile(dir / "clash.img")[v.rootDirectoryOffset() + 64], 'C');
}

TEST_F(RecoveryTest, RestoreInputChecksWordTheirRefusals) {
    open();
    const DeletedFileEntry gone = importAndDelete("A.TXT", 10);
    const auto refusal = [&](const std::string& input, const DiskImage& in) {
        return std::get<std::string>(DeletedFileRecovery::validateRestore(gone, input, in));
    };
    EXPECT_EQ(refusal("", *image), "先頭文字を入力してください");
    // Never cut to one character, never a byte a short name may not hold.
    for (const char* input : {"Rx", "/", " ", "?", "*", "\\", ":", "."}) {
        EXPECT_EQ(refusal(input, *image),
                  "先頭文字はASCII表示可能文字（0x20〜0x7E）を入力してください")
            << input;
    }
    EXPECT_EQ(refusal("A", *volume->open(true)), "ディスクイメージは読み取り専用です");
}

// Restored, such an entry would claim data no cluster holds.
TEST_F(RecoveryTest, DeletedDataWithoutAFirstClusterIsNotRecoverable) {
    VolumeBuilder built;
    for (std::uint16_t start : {0, 1}) {
        Bytes slot = VolumeBuilder::shortEntry(name83("LOST.TXT"), 0x20, start, 100);
        slot[0] = 0xE5;
        built.addSlot(built.root(), slot);
    }
    openBuilt(built);
    const auto deleted = DeletedFileRecovery::listDeletedEntries(*image, root);
    ASSERT_EQ(deleted.size(), 2u);
    for (const DeletedFileEntry& entry : deleted) {
        EXPECT_EQ(entry.recoverability, 0);
        EXPECT_EQ(std::get<std::string>(DeletedFileRecovery::validateRestore(entry, "L", *image)),
                  "不正なクラスタ番号です: " + std::to_string(entry.startCluster));
        expectRefusedUnchanged([&] { DeletedFileRecovery::restore(*image, root, entry, 'L'); },
                               Kind::clusterChainError);
    }
}

} // namespace
} // namespace tamberlane::test
