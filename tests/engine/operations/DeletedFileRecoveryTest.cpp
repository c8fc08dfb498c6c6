// Catches deleted names listed or brought back other than they were: a two-byte first
// character split in two, a long name dropped, a long name brought back from slots that
// no longer hold it, or with a checksum that orphans it.

#include "engine/operations/DeletedFileRecovery.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/PathResolver.h"
#include "tests/engine/operations/OperationsTestSupport.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

const DiskPath root = DiskPath::root();

// A volume built byte by byte and opened through the service.
struct BuiltVolume {
    explicit BuiltVolume(const VolumeBuilder& built) {
        writeFile(path(), built.build());
        image = service.open(path());
    }
    std::filesystem::path path() const { return dir / "built.img"; }
    std::vector<DeletedFileEntry> deleted() const {
        return DeletedFileRecovery::listDeletedEntries(*image, root);
    }
    std::vector<std::string> liveNames() const {
        std::vector<std::string> names;
        for (const FileEntry& entry : PathResolver(*image).list(root)) {
            names.push_back(entry.directoryEntry.displayName());
        }
        return names;
    }
    // Bytes of the saved file from the root directory's slot `index`.
    Bytes savedSlot(const VolumeBuilder& built, std::int64_t index) const {
        const Bytes file = readFile(path());
        const auto at = file.begin() + built.rootDirectoryOffset() + index * 32;
        return Bytes(at, at + 32);
    }

    TempDir dir;
    DiskImageService service;
    std::shared_ptr<DiskImage> image;
};

struct FirstCharacterCase {
    const char* what;
    std::string deletedName; // the 11 name bytes as deleting left them
    std::string listed;
    std::string typed;
    // The two first bytes and the name after the restore, or the refusal.
    std::string restoredBytes;
    std::string restoredName;
    std::string refusal;
};

const std::string notAscii = "先頭文字はASCII表示可能文字（0x20〜0x7E）を入力してください";

TEST(DeletedFirstCharacter, TwoByteCharactersAreListedWholeAndRestoredByTheirSecondByte) {
    const std::vector<FirstCharacterCase> cases = {
        {"日本.TXT", "\xE5\xFA\x96\x7B    TXT", "?本.TXT", "日", "\x93\xFA", "日本.TXT", ""},
        {"a first byte 0xE5 is stored as 0x05",
         "\xE5\x95"
         "A     TXT",
         "?A.TXT", "蝠", "\x05\x95", "蝠A.TXT", ""},
        {"a second byte that is ASCII", "\xE5\x41\x83\x43    TXT", "?Aイ.TXT", "ア", "\x83\x41",
         "アイ.TXT", ""},
        {"another character's second byte", "\xE5\xFA\x96\x7B    TXT", "?本.TXT", "本", "", "",
         "この文字は元の名前の2バイト目と一致しません: 本"},
        // Half-width katakana stand alone: byte 1 is a character of its own.
        {"half-width katakana at byte 1",
         "\xE5\xB1"
         "B     TXT",
         "?ｱB.TXT", "k", "K\xB1", "KｱB.TXT", ""},
        {"half-width katakana typed",
         "\xE5\xB1"
         "B     TXT",
         "?ｱB.TXT", "ｱ", "", "", notAscii},
        {"two characters typed", "\xE5\xFA\x96\x7B    TXT", "?本.TXT", "日本", "", "", notAscii},
    };
    for (const FirstCharacterCase& c : cases) {
        SCOPED_TRACE(c.what);
        VolumeBuilder built;
        built.addSlot(built.root(), VolumeBuilder::shortEntry(bytesOf(c.deletedName), 0x20, 0, 0));
        BuiltVolume volume(built);
        const auto deleted = volume.deleted();
        ASSERT_EQ(deleted.size(), 1u);
        EXPECT_EQ(deleted[0].displayName, c.listed);
        const auto checked =
            DeletedFileRecovery::validateRestore(deleted[0], c.typed, *volume.image);
        if (!c.refusal.empty()) {
            EXPECT_EQ(std::get<std::string>(checked), c.refusal);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<std::uint8_t>(checked))
            << std::get<std::string>(checked);
        DeletedFileRecovery::restore(*volume.image, root, deleted[0],
                                     std::get<std::uint8_t>(checked));
        EXPECT_EQ(volume.savedSlot(built, 0)[0], static_cast<std::uint8_t>(c.restoredBytes[0]));
        EXPECT_EQ(volume.savedSlot(built, 0)[1], static_cast<std::uint8_t>(c.restoredBytes[1]));
        EXPECT_EQ(volume.liveNames(), std::vector<std::string>{c.restoredName});
    }
}

// Two files deleted by the engine from a volume mtools wrote, long names and all.
class DeletedLongNameTest : public VolumeOperationsTest {
  protected:
    const std::string latin = "A very long file name.txt";
    const std::string japanese = "日本語の長い名前.txt";

    void putAndDelete() {
        put("::/" + latin, 1500, 3);
        put("::/" + japanese, 700, 4);
        open();
        for (const std::string& name : {latin, japanese}) {
            EntryDeletion(image).deleteEntry(listedEntry(*image, root, name), false);
        }
    }
    std::vector<DeletedFileEntry> deleted() const {
        return DeletedFileRecovery::listDeletedEntries(*image, root);
    }
    // Restores with the input as a front end would take it.
    void restore(const DeletedFileEntry& entry, const std::string& typed, LongNamePolicy policy) {
        const auto checked = DeletedFileRecovery::validateRestore(entry, typed, *image, policy);
        ASSERT_TRUE(std::holds_alternative<std::uint8_t>(checked))
            << std::get<std::string>(checked);
        DeletedFileRecovery::restore(*image, root, entry, std::get<std::uint8_t>(checked), policy);
    }
};

TEST_F(DeletedLongNameTest, LongNamesAreListedAndComeBackWithoutAFirstCharacter) {
    putAndDelete();
    const auto entries = deleted();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].displayName, latin);
    EXPECT_EQ(entries[0].shortName, "?VERYL~1.TXT");
    EXPECT_EQ(entries[0].recoveredFirstByte, 'A');
    EXPECT_EQ(DeletedFileRecovery::recoveredFirstCharacter(entries[0]), "A");
    EXPECT_EQ(entries[1].displayName, japanese);
    for (const DeletedFileEntry& entry : entries) {
        restore(entry, "", LongNamePolicy::automatic);
    }
    EXPECT_EQ(mtoolsRead(volume->path(), "::/" + latin), patternBytes(1500, 3));
    EXPECT_EQ(mtoolsRead(volume->path(), "::/" + japanese), patternBytes(700, 4));
    EXPECT_EQ(rootNames(), (std::vector<std::string>{latin, japanese}));
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

struct RestoreChoice {
    const char* what;
    LongNamePolicy policy;
    std::string typed;
    // What is listed and what comes back, with "latin" for the long name.
    std::string listed, restored;
};

std::ostream& operator<<(std::ostream& out, const RestoreChoice& c) {
    return out << c.what;
}

class DeletedLongNameRestoreTest : public DeletedLongNameTest,
                                   public ::testing::WithParamInterface<RestoreChoice> {
  protected:
    std::string named(const std::string& name) const { return name == "latin" ? latin : name; }
};

TEST_P(DeletedLongNameRestoreTest, TheRestoreBringsBackWhatItWasAskedAndTheVolumeStaysSound) {
    const RestoreChoice& c = GetParam();
    putAndDelete();
    const DeletedFileEntry entry = deleted().at(0);
    EXPECT_EQ(entry.displayName, named(c.listed));
    if (c.policy == LongNamePolicy::never) {
        EXPECT_EQ(std::get<std::string>(
                      DeletedFileRecovery::validateRestore(entry, "", *image, c.policy)),
                  "先頭文字を入力してください");
    }
    restore(entry, c.typed, c.policy);
    EXPECT_EQ(rootNames().at(0), named(c.restored));
    EXPECT_EQ(mtoolsRead(volume->path(), "::/" + named(c.restored)), patternBytes(1500, 3));
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

INSTANTIATE_TEST_SUITE_P(
    Choices, DeletedLongNameRestoreTest,
    ::testing::Values(
        // The typed character wins; the long name stays, with the checksum of the new alias.
        RestoreChoice{"another first character", LongNamePolicy::always, "q", "latin", "latin"},
        RestoreChoice{"never", LongNamePolicy::never, "A", "latin", "AVERYL~1.TXT"}));

// A live file under one long name, and a deleted one whose long name is the same but
// for case.
VolumeBuilder clashingVolume() {
    VolumeBuilder built;
    built.addFile(built.root(), name83("KEEPNA~1.TXT"), bytesOf("live"), u"Keep name.txt");
    const Bytes alias = name83("KEEPNA~2.TXT");
    for (Bytes slot : VolumeBuilder::longNameSlots(u"keep NAME.txt", alias)) {
        slot[0] = 0xE5;
        built.addSlot(built.root(), slot);
    }
    Bytes entry = VolumeBuilder::shortEntry(alias, 0x20, 0, 0);
    entry[0] = 0xE5;
    built.addSlot(built.root(), entry);
    return built;
}

// Catches a long name brought back beside a live entry of the same name, and one brought
// back from slots that changed since the listing.
TEST(DeletedLongNameClash, TheLongNameBroughtBackIsCheckedAgainstTheDirectoryAsItIsNow) {
    const VolumeBuilder built = clashingVolume();
    BuiltVolume volume(built);
    const DeletedFileEntry entry = volume.deleted().at(0);
    EXPECT_EQ(entry.displayName, "keep NAME.txt");
    EXPECT_EQ(errorText([&] { DeletedFileRecovery::restore(*volume.image, root, entry, 'K'); }),
              "文字エンコーディングエラー: 同名のファイルが既に存在します: keep NAME.txt");

    const Bytes before = readFile(volume.path());
    const DirectoryStorage storage = DirectoryStorage::root(*volume.image);
    const SlotIndex slot = entry.longNameSlots.at(0);
    Bytes sector = storage.readUnit(*volume.image, slot.unitIndex);
    sector[slot.offset + 1] = 'X'; // the name's first unit, changed in memory only
    storage.writeUnit(*volume.image, slot.unitIndex, sector);
    EXPECT_EQ(errorKind([&] {
                  DeletedFileRecovery::restore(*volume.image, root, entry, 'L',
                                               LongNamePolicy::always);
              }),
              DiskImageError::Kind::headerParseFailure);
    EXPECT_EQ(readFile(volume.path()), before);

    // Without its long name the entry is a name of its own.
    DeletedFileRecovery::restore(*volume.image, root, entry, 'K', LongNamePolicy::never);
    EXPECT_EQ(volume.liveNames(), (std::vector<std::string>{"Keep name.txt", "KEEPNA~2.TXT"}));
}

} // namespace
} // namespace tamberlane::test
