// Long names written by import, new folder, rename, copy and move, read back by mtools and
// judged by fsck.fat; and the choice of when they are written.

#include "engine/fat/DirectorySlot.h"
#include "engine/fat/PathResolver.h"
#include "tests/engine/operations/OperationsTestSupport.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

using Reason = DiskImageError::Reason;
const DiskPath root = DiskPath::root();

class LongNameWriteTest : public VolumeOperationsTest {
  protected:
    BatchResult import(const std::vector<std::string>& names, LongNamePolicy policy,
                       const DiskPath& to = root) {
        std::vector<std::filesystem::path> files;
        std::uint8_t seed = 1;
        for (const std::string& name : names) {
            files.push_back(host(name, 100 + seed, seed));
            ++seed;
        }
        BatchOptions options;
        options.longNames = policy;
        return FileImport(image).importFiles(files, to, options);
    }
    std::vector<std::string> namesIn(const std::string& path) const {
        std::vector<std::string> names;
        for (const FileEntry& listed : PathResolver(*image).list(DiskPath::fromString(path))) {
            names.push_back(listed.directoryEntry.displayName());
        }
        return names;
    }
    std::string aliasOf(const std::string& path, const std::string& name) const {
        return listedEntry(*image, DiskPath::fromString(path), name).directoryEntry.shortName();
    }
    // The listing mtools gives, long names where there are any.
    std::string mdir(const std::string& path) const {
        return mtools("mdir -i '" + volume->path().string() + "' '::" + path + "'").output;
    }
};

TEST_F(LongNameWriteTest, ImportedNamesAreWhatMtoolsAndFsckSee) {
    open();
    const std::string longest(255, 'n');
    const std::vector<std::string> names = {"report_august.txt",
                                            "report_april.txt",
                                            "A very long file name.txt",
                                            "日本語の長いファイル名.txt",
                                            "readme.txt",
                                            "README2.TXT",
                                            longest};
    EXPECT_TRUE(import(names, LongNamePolicy::always).allSucceeded());
    EXPECT_EQ(rootNames(), names);
    EXPECT_EQ(aliasOf("/", "report_august.txt"), "REPORT~1.TXT");
    EXPECT_EQ(aliasOf("/", "report_april.txt"), "REPORT~2.TXT");
    EXPECT_EQ(aliasOf("/", "readme.txt"), "README.TXT");
    EXPECT_TRUE(fsckAccepts(volume->path()));
    const std::string listing = mdir("/");
    for (const std::string& name : names) {
        // mdir lists an 8.3 name in its columns.
        const std::string shown = name == "README2.TXT" ? "README2  TXT" : name;
        EXPECT_NE(listing.find(shown), std::string::npos) << shown << " in\n" << listing;
    }
    EXPECT_EQ(mtoolsRead(volume->path(), "::/日本語の長いファイル名.txt"), patternBytes(104, 4));
    EXPECT_EQ(mtoolsRead(volume->path(), "::/" + longest), patternBytes(107, 7));
    // No host file has a longer name: a new folder does.
    EXPECT_EQ(errorText([&] {
                  EntryRename(image).createDirectory(longest + "x", root, LongNamePolicy::always);
              }),
              "名前が長すぎます（最大 255 文字）: " + longest + "x");
}

// auto keeps a DOS disk 8.3 until it holds a long name; never keeps 8.3 names everywhere.
TEST_F(LongNameWriteTest, TheChoiceFollowsTheVolumeOrTheUser) {
    mtoolsMkdir(volume->path(), "::/DATA");
    open();
    BatchResult dos = import({"report_august.txt", "report_april.txt"}, LongNamePolicy::automatic);
    ASSERT_EQ(dos.items.size(), 2u);
    EXPECT_TRUE(dos.items[0].succeeded());
    ASSERT_TRUE(dos.items[1].error);
    EXPECT_EQ(dos.items[1].error->reason(), Reason::nameTakenInBatch);
    EXPECT_EQ(rootNames(), (std::vector<std::string>{"DATA", "REPORT_A.TXT"}));

    // A long name in the root turns auto on in every directory of the volume.
    EXPECT_TRUE(import({"Notes for later.txt"}, LongNamePolicy::always).allSucceeded());
    EXPECT_TRUE(import({"report_may.txt", "report_june.txt"}, LongNamePolicy::automatic,
                       DiskPath::fromString("DATA"))
                    .allSucceeded());
    EXPECT_EQ(namesIn("DATA"), (std::vector<std::string>{"report_may.txt", "report_june.txt"}));

    BatchResult never = import({"summary one.txt", "summary two.txt"}, LongNamePolicy::never);
    ASSERT_EQ(never.items.size(), 2u);
    EXPECT_TRUE(never.items[0].succeeded());
    EXPECT_EQ(never.items[1].error->reason(), Reason::nameTakenInBatch);
    EXPECT_EQ(rootNames().back(), "SUMMARY_.TXT");
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

TEST_F(LongNameWriteTest, NewFoldersAndRenamesKeepTheNamesTheUserGave) {
    open();
    ASSERT_TRUE(
        import({"A very long file name.txt", "readme.txt", "Old name.doc"}, LongNamePolicy::always)
            .allSucceeded());
    EntryRename(image).createDirectory("セーブデータ", root, LongNamePolicy::always);
    EntryRename(image).createDirectory("New Folder", root, LongNamePolicy::always);
    const auto entry = [&](const std::string& name) { return listedEntry(*image, root, name); };
    // Three slots where there was two: the entry moves to where they fit.
    EntryRename(image).rename(entry("A very long file name.txt"),
                              "An even longer name that needs three slots.txt",
                              LongNamePolicy::always);
    // The same name in other case is a rename, not a clash with itself.
    EntryRename(image).rename(entry("readme.txt"), "ReadMe.txt", LongNamePolicy::always);
    // Its own 8.3 form needs no long name: the slots go.
    EntryRename(image).rename(entry("Old name.doc"), "OLDNAME.DOC", LongNamePolicy::always);
    EXPECT_EQ(rootNames(),
              (std::vector<std::string>{"ReadMe.txt", "OLDNAME.DOC", "セーブデータ", "New Folder",
                                        "An even longer name that needs three slots.txt"}));
    EXPECT_EQ(errorText([&] {
                  EntryRename(image).rename(entry("OLDNAME.DOC"), "readme.TXT",
                                            LongNamePolicy::always);
              }),
              "文字エンコーディングエラー: 同名のファイルが既に存在します: readme.TXT");
    // Without long names, a rename is the 8.3 rename it always was.
    EntryRename(image).rename(entry("New Folder"), "Another Folder", LongNamePolicy::never);
    EXPECT_EQ(rootNames()[3], "ANOTHER_");
    EXPECT_TRUE(fsckAccepts(volume->path()));
    const std::string listing = mdir("/");
    for (const char* name :
         {"ReadMe.txt", "セーブデータ", "An even longer name that needs three slots.txt"}) {
        EXPECT_NE(listing.find(name), std::string::npos) << name << " in\n" << listing;
    }
    EXPECT_EQ(mtoolsRead(volume->path(), "::/An even longer name that needs three slots.txt"),
              patternBytes(101, 1));
}

// Two long names with the same alias in two directories: brought together, the one that
// arrives gets a new alias, and its slots follow it.
// Catches a name shown while typing that is not the one the volume then lists, and one
// shown where a long name keeps what was typed.
TEST_F(LongNameWriteTest, TheShortNameShownBeforehandIsTheOneWrittenAndListed) {
    open();
    for (const std::string given : {"Another Folder", "readme.txt", "a.b.c", "日本語フォルダ"}) {
        const std::optional<std::string> shown =
            EntryRename(image).storedShortName(given, root, LongNamePolicy::never);
        ASSERT_TRUE(shown.has_value()) << given;
        EXPECT_EQ(EntryRename(image).createDirectory(given, root, LongNamePolicy::never), *shown);
        const std::vector<std::string> names = rootNames();
        EXPECT_NE(std::find(names.begin(), names.end(), *shown), names.end()) << *shown;
    }
    EXPECT_EQ(EntryRename(image).storedShortName("..", root, LongNamePolicy::never), std::nullopt);
    EXPECT_EQ(EntryRename(image).storedShortName("x", DiskPath::fromString("/gone"),
                                                 LongNamePolicy::never),
              std::nullopt);
    // Automatic writes 8.3 names until the volume holds a long one.
    EXPECT_TRUE(EntryRename(image).storedShortName("Long Name", root, LongNamePolicy::automatic));
    EXPECT_EQ(EntryRename(image).createDirectory("Long Name", root, LongNamePolicy::always),
              "Long Name");
    EXPECT_EQ(EntryRename(image).storedShortName("Other Name", root, LongNamePolicy::automatic),
              std::nullopt);
}

TEST_F(LongNameWriteTest, CopyAndMoveCarryLongNamesAndRetieThemToANewAlias) {
    open();
    for (const char* directory : {"First", "Second", "Third"}) {
        EntryRename(image).createDirectory(directory, root, LongNamePolicy::always);
    }
    ASSERT_TRUE(import({"report one.txt"}, LongNamePolicy::always, DiskPath::fromString("First"))
                    .allSucceeded());
    ASSERT_TRUE(import({"report two.txt", "report three.txt"}, LongNamePolicy::always,
                       DiskPath::fromString("Second"))
                    .allSucceeded());
    EXPECT_EQ(aliasOf("First", "report one.txt"), "REPORT~1.TXT");
    EXPECT_EQ(aliasOf("Second", "report two.txt"), "REPORT~1.TXT");
    const FileEntry one = listedEntry(*image, DiskPath::fromString("First"), "report one.txt");
    EXPECT_TRUE(
        EntryTransfer(image).copyEntries({one}, DiskPath::fromString("Second"), {}).allSucceeded());
    EXPECT_EQ(aliasOf("Second", "report one.txt"), "REPORT~3.TXT");
    const FileEntry three = listedEntry(*image, DiskPath::fromString("Second"), "report three.txt");
    EXPECT_TRUE(EntryTransfer(image)
                    .moveEntries({three}, DiskPath::fromString("Third"), {})
                    .allSucceeded());
    // Moved even under `never`: copies and moves never drop a name.
    const FileEntry two = listedEntry(*image, DiskPath::fromString("Second"), "report two.txt");
    BatchOptions never;
    never.longNames = LongNamePolicy::never;
    EXPECT_TRUE(EntryTransfer(image).moveEntries({two}, root, never).allSucceeded());
    EXPECT_EQ(namesIn("Second"), std::vector<std::string>{"report one.txt"});
    EXPECT_EQ(namesIn("Third"), std::vector<std::string>{"report three.txt"});
    EXPECT_EQ(rootNames().back(), "report two.txt");
    EXPECT_TRUE(fsckAccepts(volume->path()));
    EXPECT_EQ(mtoolsRead(volume->path(), "::/Second/report one.txt"), patternBytes(101, 1));
    EXPECT_EQ(mtoolsRead(volume->path(), "::/Third/report three.txt"), patternBytes(102, 2));
    // A long name already there is a clash, whatever the aliases.
    EXPECT_EQ(
        EntryTransfer(image)
            .copyEntries({listedEntry(*image, DiskPath::fromString("Second"), "report one.txt")},
                         DiskPath::fromString("First"), {})
            .failedNames(),
        std::vector<std::string>{"report one.txt"});
}

// Linux keeps names as bytes: an old archive unpacked there leaves Shift-JIS names that are
// not UTF-8, and the entry they become must carry those bytes, not "_" for each.
TEST_F(LongNameWriteTest, HostNamesInShiftJISBytesKeepThoseBytesOnTheVolume) {
    open();
    struct Case {
        std::string host;
        LongNamePolicy policy;
        std::string shown;
        Bytes rawName;
    };
    const Case cases[] = {
        {"\x83\x5A\x81\x5B\x83\x75.DAT",
         LongNamePolicy::automatic,
         "セーブ.DAT",
         {0x83, 0x5A, 0x81, 0x5B, 0x83, 0x75, ' ', ' '}},
        {"\xB1\xB2.TXT",
         LongNamePolicy::never,
         "ｱｲ.TXT",
         {0xB1, 0xB2, ' ', ' ', ' ', ' ', ' ', ' '}},
        {"\x83\x5A\x81\x5B\x83\x75\x83\x66\x81\x5B\x83\x5E.DAT",
         LongNamePolicy::always,
         "セーブデータ.DAT",
         {}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(FileImport::hostFileName(hostDir / c.host), c.shown);
        const BatchResult result = import({c.host}, c.policy);
        ASSERT_TRUE(result.allSucceeded())
            << c.shown << ": " << result.items[0].error->errorDescription();
        const DirectoryEntry entry = listedEntry(*image, root, c.shown).directoryEntry;
        if (!c.rawName.empty()) {
            EXPECT_EQ(entry.rawName, c.rawName) << c.shown;
            EXPECT_FALSE(entry.longFileName) << c.shown;
        }
    }
    EXPECT_TRUE(fsckAccepts(volume->path()));

    // A failure names the file as the user reads it, not as raw bytes.
    const BatchResult again = import({cases[0].host}, LongNamePolicy::automatic);
    ASSERT_EQ(again.items.size(), 1u);
    ASSERT_TRUE(again.items[0].error);
    EXPECT_EQ(again.items[0].name, "セーブ.DAT");
    EXPECT_NE(again.items[0].error->errorDescription().find("セーブ.DAT"), std::string::npos)
        << again.items[0].error->errorDescription();
}

} // namespace
} // namespace tamberlane::test
