#include "engine/operations/HostExport.h"
#include "engine/fat/DiskImageService.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

// The volume opened from a file in `dir`, with its root entries.
struct OpenVolume {
    OpenVolume(const TempDir& dir, const VolumeBuilder& volume) {
        writeFile(dir / "raw.img", volume.build());
        image = service.open(dir / "raw.img");
        root = service.listDirectory(DiskPath::root());
    }
    DiskImageService service;
    std::shared_ptr<DiskImage> image;
    std::vector<FileEntry> root;
};

ExportOptions overwriting() {
    ExportOptions options;
    options.existing = ExistingHostFile::overwrite;
    return options;
}

std::set<std::string> treeOf(const fs::path& root) {
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        names.insert(fs::relative(item.path(), root).string());
    }
    return names;
}

TEST(HostExport, HostileNamesStayInsideTheChosenFolder) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("A.TXT"), bytesOf("one"), u"../../escape.txt");
    volume.addFile(volume.root(), name83("C.TXT"), bytesOf("three"), u"/etc/passwd");
    const auto dots = volume.addDirectory(volume.root(), name83("D"), u"..");
    volume.addFile(dots, name83("E.TXT"), bytesOf("four"), u"../../../deep.txt");
    volume.addFile(dots, name83("B.TXT"), bytesOf("two"), u".");
    volume.addFile(volume.root(), name83("F.TXT"), bytesOf("five"), u"a/b");
    OpenVolume open(dir, volume);
    const fs::path out = dir / "nest" / "out";

    const ExportResult result = exportEntries(*open.image, open.root, out);
    EXPECT_TRUE(result.failedNames().empty());
    EXPECT_EQ(treeOf(dir.path()),
              (std::set<std::string>{"raw.img", "nest", "nest/out", "nest/out/.._.._escape.txt",
                                     "nest/out/_", "nest/out/_etc_passwd", "nest/out/a_b",
                                     "nest/out/_/.._.._.._deep.txt", "nest/out/_/_"}));
    EXPECT_EQ(readFile(out / "_" / ".._.._.._deep.txt"), bytesOf("four"));
}

// Catches a writer that opens through a link someone planted at the destination, or
// that writes into a hard-linked file there (the other name outside changes with it).
TEST(HostExport, LinkPlantedAtADestinationIsNotWrittenThrough) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("EVIL.TXT"), bytesOf("payload"));
    const auto sub = volume.addDirectory(volume.root(), name83("SUB"));
    volume.addFile(sub, name83("X.TXT"), bytesOf("x"));
    volume.addFile(volume.root(), name83("HARD.TXT"), bytesOf("from disk"));
    OpenVolume open(dir, volume);
    const fs::path out = dir / "out";
    fs::create_directories(dir / "elsewhere");
    fs::create_directory(out);
    writeFile(dir / "victim", bytesOf("ok"));
    fs::create_symlink(dir / "victim", out / "EVIL.TXT");
    fs::create_directory_symlink(dir / "elsewhere", out / "SUB");
    writeFile(dir / "outside", bytesOf("kept"));
    fs::create_hard_link(dir / "outside", out / "HARD.TXT");

    const ExportResult result = exportEntries(*open.image, open.root, out, overwriting());
    EXPECT_EQ(result.failedNames(), (std::vector<std::string>{"EVIL.TXT", "SUB"}));
    for (const BatchItemResult& problem : result.problems) {
        EXPECT_EQ(problem.error->kind(), DiskImageError::Kind::ioError) << problem.name;
    }
    EXPECT_THROW(
        exportFileTo(*open.image, open.root[0], out / "EVIL.TXT", ExistingHostFile::overwrite),
        DiskImageError);
    EXPECT_EQ(readFile(dir / "victim"), bytesOf("ok"));
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_EQ(readFile(out / "HARD.TXT"), bytesOf("from disk"));
    EXPECT_EQ(readFile(dir / "outside"), bytesOf("kept"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3)
        << "no temporary file is left behind";
}

// Catches an export that stops at the first bad entry, names none of them, writes a
// broken directory as an empty folder, re-reads a cross-linked directory, gives a file
// whose clusters lie past the image a short copy with success, writes a second entry of
// a name over the first, or fails a whole tree for its part below the depth limit.
TEST(HostExport, GoesOnPastEachBadEntryAndNamesIt) {
    TempDir dir;
    VolumeParameters small = VolumeParameters::floppy144();
    small.volumeBytes = 1261568; // a 1.2 MB file: clusters from 2432 on lie past its end
    VolumeBuilder volume(small);
    volume.addSlot(volume.root(), VolumeBuilder::shortEntry(name83("BROKEN"), 0x10, 4000, 0));
    const auto loop = volume.addDirectory(volume.root(), name83("LOOP"));
    volume.addSlot(loop,
                   VolumeBuilder::shortEntry(name83("AGAIN"), 0x10, volume.firstCluster(loop), 0));
    volume.addFile(loop, name83("IN.TXT"), bytesOf("inside"));
    volume.addFile(volume.root(), name83("TWICE.TXT"), bytesOf("first"));
    volume.addFile(volume.root(), name83("TWICE.TXT"), bytesOf("second"));
    // 1,000 bytes: cluster 6, then 2800 (past the end of the image).
    const auto cut = volume.addFile(volume.root(), name83("CUT.BIN"), Bytes(1000, 'c'));
    volume.setFAT(cut[0], 2800);
    volume.setFAT(2800, 0xFFF);
    volume.addSlot(volume.root(), VolumeBuilder::shortEntry(name83("PAST.BIN"), 0x20, 2801, 10));
    // Bytes but no cluster: nothing to write, and nothing of a started file left behind.
    volume.addSlot(volume.root(), VolumeBuilder::shortEntry(name83("NONE.BIN"), 0x20, 0, 10));
    volume.addFile(volume.root(), name83("OK.TXT"), bytesOf("fine"));
    OpenVolume open(dir, volume);
    const fs::path out = dir / "out";
    fs::create_directory(out);
    writeFile(out / "TWICE.TXT", bytesOf("the user's"));

    const ExportResult result = exportEntries(*open.image, open.root, out, overwriting());
    EXPECT_EQ(result.failedNames(), (std::vector<std::string>{"BROKEN", "LOOP", "TWICE.TXT",
                                                              "CUT.BIN", "PAST.BIN", "NONE.BIN"}));
    EXPECT_EQ(result.problemNames(),
              (std::vector<std::string>{"/BROKEN", "/LOOP/AGAIN", "/TWICE.TXT", "/CUT.BIN",
                                        "/PAST.BIN", "/NONE.BIN"}));
    EXPECT_EQ(result.problems[1].error->chainErrorType(), ClusterChainErrorType::circularReference);
    EXPECT_EQ(result.problems[3].error->errorDescription(),
              "FATテーブルが破損しています: ファイルのクラスタがイメージの範囲外にあるため、"
              "読めた部分だけを取り出しました: /CUT.BIN");
    EXPECT_EQ(treeOf(out), (std::set<std::string>{"LOOP", "LOOP/IN.TXT", "TWICE.TXT", "CUT.BIN",
                                                  "PAST.BIN", "OK.TXT"}));
    EXPECT_EQ(readFile(out / "TWICE.TXT"), bytesOf("first"));
    EXPECT_EQ(readFile(out / "CUT.BIN"), Bytes(512, 'c')) << "what lies inside is kept";

    // A tree deeper than the limit: everything down to the last readable level is written.
    VolumeBuilder deep;
    VolumeBuilder::Dir level = deep.root();
    fs::path expected = dir / "deep";
    for (int i = 1; i <= 66; ++i) {
        level = deep.addDirectory(level, name83("D" + std::to_string(i)));
        deep.addFile(level, name83("F.TXT"), bytesOf(std::to_string(i)));
        expected /= "D" + std::to_string(i);
    }
    TempDir deepDir;
    OpenVolume deepOpen(deepDir, deep);
    const ExportResult deepResult = exportEntries(*deepOpen.image, deepOpen.root, dir / "deep");
    ASSERT_EQ(deepResult.problems.size(), 1u);
    EXPECT_EQ(deepResult.problems[0].error->kind(), DiskImageError::Kind::directoryDepthExceeded);
    EXPECT_EQ(readFile(expected.parent_path().parent_path() / "F.TXT"), bytesOf("64"));
    EXPECT_FALSE(fs::exists(expected.parent_path()));
}

// Catches an export that replaces a host file nobody agreed to replace, fails a folder
// that exists instead of writing into it, touches a host file the volume does not hold, or
// keeps a file the user agreed to replace.
TEST(HostExport, ExistingHostFilesFollowTheChosenPolicyAndFoldersAreMerged) {
    TempDir dir;
    VolumeBuilder volume;
    volume.addFile(volume.root(), name83("KEEP.TXT"), bytesOf("from disk"));
    const auto sub = volume.addDirectory(volume.root(), name83("SUB"));
    volume.addFile(sub, name83("OLD.TXT"), bytesOf("from disk"));
    volume.addFile(sub, name83("NEW.TXT"), bytesOf("new"));
    OpenVolume open(dir, volume);
    const std::string exists =
        "I/Oエラーが発生しました: 書き出し先に同名のファイルが既に存在します: ";
    struct Case {
        ExistingHostFile existing;
        std::vector<std::string> problems;
        const char* replacedWith;
    };
    const std::vector<Case> cases = {
        {ExistingHostFile::refuse, {"/KEEP.TXT", "/SUB/OLD.TXT"}, "host"},
        {ExistingHostFile::skip, {}, "host"},
        {ExistingHostFile::overwrite, {}, "from disk"},
    };
    for (const Case& c : cases) {
        const TempDir outDir;
        const fs::path out = outDir / "out";
        fs::create_directories(out / "SUB");
        writeFile(out / "KEEP.TXT", bytesOf("host"));
        writeFile(out / "SUB" / "OLD.TXT", bytesOf("host"));
        writeFile(out / "SUB" / "MINE.TXT", bytesOf("mine"));
        EXPECT_EQ(existingHostNames(open.root, out), (std::vector<std::string>{"KEEP.TXT", "SUB"}));

        ExportOptions options;
        options.existing = c.existing;
        const ExportResult result = exportEntries(*open.image, open.root, out, options);
        const auto label = static_cast<int>(c.existing);
        EXPECT_EQ(result.problemNames(), c.problems) << label;
        if (!c.problems.empty()) {
            EXPECT_EQ(result.problems[0].error->errorDescription(),
                      exists + (out / "KEEP.TXT").string());
            EXPECT_EQ(result.problems[1].error->reason(), DiskImageError::Reason::nameClash);
        }
        EXPECT_EQ(readFile(out / "KEEP.TXT"), bytesOf(c.replacedWith)) << label;
        EXPECT_EQ(readFile(out / "SUB" / "OLD.TXT"), bytesOf(c.replacedWith)) << label;
        EXPECT_EQ(readFile(out / "SUB" / "NEW.TXT"), bytesOf("new")) << label;
        EXPECT_EQ(readFile(out / "SUB" / "MINE.TXT"), bytesOf("mine")) << label;
        EXPECT_EQ(treeOf(out).size(), 5u) << "no temporary file is left behind";
    }
}

// Catches an export that writes over the image it reads: under the image's own name, by a
// link planted at the destination, by a hard link, or when the image was opened through a
// link; and one that replaces a file another program holds locked. Each stays byte for
// byte even when told to overwrite, is named, and the rest is still written.
TEST(HostExport, NeverReplacesTheOpenImageOrALockedFile) {
    enum class Target { imageItself, symlinkToImage, hardLinkToImage, openedThroughLink, locked };
    const std::string sameFile = "I/Oエラーが発生しました: 書き出し先が開いているディスクイメージ"
                                 "と同じファイルのため、書き出しませんでした: ";
    const std::string locked = "ファイルのロック競合が発生しました: ファイルのロックを取得"
                               "できませんでした。他のプロセスが使用中です。";
    for (const Target target :
         {Target::imageItself, Target::symlinkToImage, Target::hardLinkToImage,
          Target::openedThroughLink, Target::locked}) {
        const auto label = static_cast<int>(target);
        TempDir dir;
        VolumeBuilder volume;
        volume.addFile(volume.root(), name83("DISK.IMG"), bytesOf("8 bytes!"), u"disk.img");
        volume.addFile(volume.root(), name83("OTHER.TXT"), bytesOf("other"));
        writeFile(dir / "disk.img", volume.build());
        fs::path opened = dir / "disk.img";
        fs::path out = dir / "out";
        fs::create_directory(out);
        int holder = -1;
        switch (target) {
        case Target::imageItself:
            out = dir.path();
            break;
        case Target::symlinkToImage:
            fs::create_symlink(dir / "disk.img", out / "disk.img");
            break;
        case Target::hardLinkToImage:
            fs::create_hard_link(dir / "disk.img", out / "disk.img");
            break;
        case Target::openedThroughLink:
            fs::create_symlink(dir / "disk.img", dir / "link.img");
            opened = dir / "link.img";
            out = dir.path();
            break;
        case Target::locked:
            writeFile(out / "disk.img", bytesOf("another program's"));
            holder = ::open((out / "disk.img").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
            break;
        }
        const fs::path kept = out / "disk.img";
        const Bytes before = readFile(kept);
        DiskImageService service;
        const auto image = service.open(opened);
        const auto root = service.listDirectory(DiskPath::root());

        const ExportResult result = exportEntries(*image, root, out, overwriting());
        const std::string expected = target == Target::locked ? locked : sameFile + kept.string();
        ASSERT_EQ(result.problemNames(), std::vector<std::string>{"/disk.img"}) << label;
        EXPECT_EQ(result.problems[0].error->errorDescription(), expected) << label;
        EXPECT_EQ(readFile(out / "OTHER.TXT"), bytesOf("other")) << label;
        try {
            exportFileTo(*image, root[0], kept, ExistingHostFile::overwrite);
            ADD_FAILURE() << label << ": a chosen destination is refused too";
        } catch (const DiskImageError& error) {
            EXPECT_EQ(error.errorDescription(), expected) << label;
        }
        EXPECT_TRUE(readFile(kept) == before) << label;
        if (holder >= 0) {
            ::close(holder);
        }
    }
}

TEST(HostExport, StopEndsAfterTheCurrentFileAndKeepsWhatWasWritten) {
    TempDir dir;
    VolumeBuilder volume;
    for (const char* name : {"ONE.TXT", "TWO.TXT", "THREE.TXT", "FOUR.TXT"}) {
        volume.addFile(volume.root(), name83(name), bytesOf(name));
    }
    OpenVolume open(dir, volume);
    std::stop_source stop;
    std::vector<std::pair<std::string, double>> reports;
    ExportOptions options;
    options.stop = stop.get_token();
    options.progress = [&](const std::string& name, double fraction) {
        reports.emplace_back(name, fraction);
        if (reports.size() == 2) {
            stop.request_stop();
        }
    };

    const ExportResult result = exportEntries(*open.image, open.root, dir / "out", options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.items.size(), 2u);
    EXPECT_EQ(treeOf(dir / "out"), (std::set<std::string>{"ONE.TXT", "TWO.TXT"}));
    EXPECT_EQ(readFile(dir / "out" / "TWO.TXT"), bytesOf("TWO.TXT"));
    EXPECT_EQ(reports,
              (std::vector<std::pair<std::string, double>>{{"ONE.TXT", 0.25}, {"TWO.TXT", 0.5}}));
}

} // namespace
} // namespace tamberlane::test
