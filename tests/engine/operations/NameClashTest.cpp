// Each test names a way a name could make a change replace, duplicate or damage the wrong
// entry: host names that shorten alike, long names written by other tools, paths that
// match several entries, and case flags left from an old name.

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DirectoryStorage.h"
#include "engine/fat/PathResolver.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"
#include "tests/engine/operations/OperationsTestSupport.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

using Reason = DiskImageError::Reason;
const DiskPath root = DiskPath::root();
const std::string clash = "文字エンコーディングエラー: 同名のファイルが既に存在します: ";

class NameClashTest : public VolumeOperationsTest {
  protected:
    // A new volume for one case of a table, in its own folder.
    void freshVolume(const TempDir& folder) {
        image.reset();
        volume = std::make_unique<Volume>(folder, allVolumeKinds()[0]);
    }
    BatchResult importBatch(const std::vector<std::filesystem::path>& files, bool overwrite) {
        BatchOptions options;
        options.overwrite = overwrite;
        return FileImport(image).importFiles(files, root, options);
    }
};

// report_august.txt and report_april.txt both become REPORT_A.TXT: the second must never
// replace the file the first just became, whether the name was free, taken, or overwritten.
TEST_F(NameClashTest, SecondHostNameShorteningAlikeFailsAndTheFirstKeepsItsData) {
    struct Case {
        bool existing;
        bool overwrite;
        Reason first;
        std::string kept;
    };
    const std::vector<Case> cases = {
        {false, false, Reason::none, "august"},
        {false, true, Reason::none, "august"},
        {true, false, Reason::nameClash, "old"},
        {true, true, Reason::none, "august"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.existing) + std::to_string(c.overwrite));
        const TempDir folder;
        freshVolume(folder);
        if (c.existing) {
            writeFile(hostDir / "old", bytesOf("old"));
            mtoolsPut(volume->path(), hostDir / "old", "::/REPORT_A.TXT");
        }
        open();
        writeFile(hostDir / "report_august.txt", bytesOf("august"));
        writeFile(hostDir / "report_april.txt", bytesOf("april"));
        const BatchResult result =
            importBatch({hostDir / "report_august.txt", hostDir / "report_april.txt"}, c.overwrite);
        ASSERT_EQ(result.items.size(), 2u);
        EXPECT_EQ(result.items[0].error ? result.items[0].error->reason() : Reason::none, c.first);
        ASSERT_TRUE(result.items[1].error);
        EXPECT_EQ(result.items[1].error->reason(), Reason::nameTakenInBatch);
        EXPECT_EQ(result.items[1].error->errorDescription(),
                  clash + "report_april.txt（既存: REPORT_A.TXT）");
        EXPECT_EQ(mtoolsRead(volume->path(), "::/REPORT_A.TXT"), bytesOf(c.kept));
        EXPECT_EQ(rootNames(), std::vector<std::string>{"REPORT_A.TXT"});
        image.reset();
        volume.reset();
    }
}

// mcopy stores "My Document.docx" as MYDOCU~1.DOC with a long name; an import of that host
// name shortens to MY_DOCUM.DOC, which no slot holds.
TEST_F(NameClashTest, HostNameMatchingALongNameIsThatFileAndIsReplacedInItsOwnSlot) {
    struct Case {
        std::string hostName;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"My Document.docx", clash + "My Document.docx"},
        {"my document.DOCX", clash + "my document.DOCX"},
        // By its alias: named by the entry's own name too, which the user may not know.
        {"mydocu~1.doc", clash + "mydocu~1.doc（既存: My Document.docx）"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hostName);
        const TempDir folder;
        freshVolume(folder);
        put("::/My Document.docx", 3000, 1);
        open();
        const auto hostFile = host(c.hostName, 700, 2);
        const std::optional<DiskImageError> refused = importBatch({hostFile}, false).items[0].error;
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->reason(), Reason::nameClash);
        EXPECT_EQ(refused->errorDescription(), c.message);

        EXPECT_TRUE(importBatch({hostFile}, true).allSucceeded());
        EXPECT_EQ(rootNames(), std::vector<std::string>{"My Document.docx"});
        EXPECT_EQ(mtoolsRead(volume->path(), "::/My Document.docx"), patternBytes(700, 2));
        EXPECT_TRUE(fsckAccepts(volume->path()));
        image.reset();
        volume.reset();
    }
}

// A later item of a batch that names, by alias, the file an earlier item replaced.
TEST_F(NameClashTest, BatchNeverReplacesAFileItReplacedThroughAnotherName) {
    put("::/My Document.docx", 3000, 1);
    open();
    const BatchResult result =
        importBatch({host("My Document.docx", 10, 2), host("MYDOCU~1.DOC", 20, 3)}, true);
    ASSERT_EQ(result.items.size(), 2u);
    EXPECT_TRUE(result.items[0].succeeded());
    ASSERT_TRUE(result.items[1].error);
    EXPECT_EQ(result.items[1].error->errorDescription(),
              clash + "MYDOCU~1.DOC（既存: My Document.docx）");
    EXPECT_EQ(mtoolsRead(volume->path(), "::/My Document.docx"), patternBytes(10, 2));
}

// Two entries answer to "docs" ignoring case: DOCS itself and one whose long name is docs.
TEST_F(NameClashTest, OperationsResolveAPathToTheEntryItNamesExactly) {
    VolumeBuilder built;
    const auto upper = built.addDirectory(built.root(), name83("DOCS"));
    built.addFile(upper, name83("UPPER.TXT"), bytesOf("u"));
    const auto lower = built.addDirectory(built.root(), name83("DOCS2"), u"docs");
    built.addFile(lower, name83("LOWER.TXT"), bytesOf("l"));
    writeFile(volume->path(), built.build());
    open();
    const auto namesIn = [&](const std::string& path) {
        std::vector<std::string> names;
        for (const FileEntry& listed : PathResolver(*image).list(DiskPath::fromString(path))) {
            const DirectoryEntry& e = listed.directoryEntry;
            names.push_back(e.displayName());
        }
        return names;
    };
    EntryRename(image).createDirectory("new", DiskPath::fromString("docs"));
    // The root holds a long name, so new names keep their case as long names.
    EXPECT_EQ(namesIn("DOCS2"), (std::vector<std::string>{"LOWER.TXT", "new"}));
    FileImport(image).importFile(host("a.txt", 5), DiskPath::fromString("DOCS"), false);
    EXPECT_EQ(namesIn("DOCS"), (std::vector<std::string>{"UPPER.TXT", "a.txt"}));
    const Bytes before = volume->fileBytes();
    EXPECT_EQ(
        errorText([&] { EntryRename(image).createDirectory("x", DiskPath::fromString("Docs")); }),
        "ヘッダの解析に失敗しました: 名前が複数のエントリに一致します: Docs");
    EXPECT_EQ(volume->fileBytes(), before);
}

// mcopy stores lower.txt as LOWER.TXT with the lower-case flags; left on テスト.TXT they
// make other systems lower-case its Shift-JIS bytes and list a name that does not open.
TEST_F(NameClashTest, RenameAndOverwriteLeaveOnlyTheCaseFlagsThatDescribeTheName) {
    put("::/lower.txt", 10, 1);
    put("::/keep.txt", 10, 2);
    open();
    const auto caseFlags = [&](const std::string& name) {
        const FileEntry entry = listedEntry(*image, root, name);
        const Bytes slots = DirectoryStorage::root(*image).readAll(*image);
        for (std::size_t o = 0; o + 32 <= slots.size(); o += 32) {
            const DirectorySlot slot(ByteView(slots).subspan(o, 32));
            if (!slot.isLongName() && slot.hasShortName(entry.directoryEntry.rawName,
                                                        entry.directoryEntry.rawExtension)) {
                return slots[o + DirectorySlot::caseFlagsOffset] & 0x18;
            }
        }
        return -1;
    };
    ASSERT_EQ(caseFlags("LOWER.TXT"), 0x18) << "mtools no longer sets the flags";
    EntryRename(image).rename(listedEntry(*image, root, "LOWER.TXT"), "テスト.TXT");
    EXPECT_EQ(caseFlags("テスト.TXT"), 0);
    // A replaced file keeps its name, so its flags still describe it.
    FileImport(image).importFile(host("keep.txt", 20, 3), root, true);
    EXPECT_EQ(caseFlags("KEEP.TXT"), 0x18);
    const Tree tree = mtoolsTree(volume->path(), true);
    EXPECT_EQ(tree.count("テスト.TXT"), 1u);
    EXPECT_EQ(tree.count("keep.txt"), 1u);
    EXPECT_TRUE(fsckAccepts(volume->path()));
}

} // namespace
} // namespace tamberlane::test
