#include "engine/fat/DiskPath.h"
#include "engine/image/DiskImageService.h"
#include "engine/image/NewImage.h"
#include "engine/operations/FileOperationService.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace tamberlane::test {
namespace {

const std::string lockConflictText =
    "ファイルのロック競合が発生しました: "
    "ファイルのロックを取得できませんでした。他のプロセスが使用中です。";

struct SizeCase {
    const char* option;
    DiskSize size;
    const char* fileSystem;
};

const std::vector<SizeCase> sizeCases = {
    {"640k", DiskSize::kb640, "FAT12"},   {"1.2m", DiskSize::mb1_2, "FAT12"},
    {"1.44m", DiskSize::mb1_44, "FAT12"}, {"10m", DiskSize::mb10, "FAT12"},
    {"20m", DiskSize::mb20, "FAT16"},     {"40m", DiskSize::mb40, "FAT16"},
};

const SizeCase& sizeCase(DiskSize size) {
    for (const SizeCase& c : sizeCases) {
        if (c.size == size) {
            return c;
        }
    }
    throw std::logic_error("no such size");
}

// Reads in one go: the byte-by-byte reader of the support library takes seconds for a
// hard-disk image under the sanitizers.
Bytes fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    Bytes bytes(static_cast<std::size_t>(std::filesystem::file_size(file)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// The geometry a new image reopens with. A DIM header has no media type for 2DD, so a
// 640 KB DIM carries type 0x00 and reopens with that type's 2HD geometry; its volume
// still opens from the boot sector.
DiskGeometry reopenedGeometry(NewImageFormat format, DiskSize size) {
    if (format == NewImageFormat::dim && size == DiskSize::kb640) {
        return {2, 77, 8, 1024};
    }
    return sizeSpec(size).geometry;
}

CliRun mustRun(const std::vector<std::string>& arguments) {
    CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 0) << arguments.front() << ": " << run.err;
    return run;
}

// Puts a host file holding `contents` into the root of the image (the image file is saved).
void importInto(const std::filesystem::path& image, const TempDir& dir, const std::string& name,
                const std::string& contents, std::optional<int> diskIndex = std::nullopt) {
    const auto host = dir / name;
    writeFile(host, Bytes(contents.begin(), contents.end()));
    DiskImageService service;
    FileOperationService operations(service.open(image, std::nullopt, diskIndex));
    operations.importFile(host, DiskPath::root(), false);
}

std::vector<std::string> rootNames(const std::vector<std::string>& globalOptions,
                                   const std::filesystem::path& image) {
    std::vector<std::string> arguments = globalOptions;
    arguments.insert(arguments.end(), {"ls", image.string(), "--json"});
    const CliRun run = mustRun(arguments);
    std::vector<std::string> names;
    for (const auto& entry : nlohmann::json::parse(run.out)) {
        names.push_back(entry.at("name").get<std::string>());
    }
    return names;
}

// --- new -------------------------------------------------------------------------------

struct OfferedCase {
    NewImageFormat format;
    DiskSize size;
};

std::vector<OfferedCase> offeredCases() {
    std::vector<OfferedCase> cases;
    for (NewImageFormat format : allNewImageFormats()) {
        for (DiskSize size : availableSizes(format)) {
            cases.push_back({format, size});
        }
    }
    return cases;
}

class NewImageOffered : public ::testing::TestWithParam<OfferedCase> {};

// Catches a container that writes a volume it cannot open again (hard-disk BIN), a D88
// that reopens with fewer cylinders than written, and a new volume that is not empty.
TEST_P(NewImageOffered, ReopensWithTheSizesGeometryAndFileSystemAndNoFiles) {
    const OfferedCase& c = GetParam();
    TempDir dir;
    const auto image = dir / ("new." + fileExtension(c.format));
    const CliRun created = mustRun({"new", image.string(), "--size", sizeCase(c.size).option});
    EXPECT_EQ(created.out, "作成しました: " + image.string() + " (" + rawValue(c.format) + ", " +
                               rawValue(c.size) + ")\n");

    const auto info = nlohmann::json::parse(mustRun({"info", image.string(), "--json"}).out);
    const DiskSizeSpec& layout = sizeSpec(c.size);
    const DiskGeometry geometry = reopenedGeometry(c.format, c.size);
    EXPECT_EQ(info["format"], rawValue(c.format));
    EXPECT_EQ(info["fileSystem"], sizeCase(c.size).fileSystem);
    EXPECT_EQ(info["geometry"]["heads"], geometry.heads);
    EXPECT_EQ(info["geometry"]["cylinders"], geometry.cylinders);
    EXPECT_EQ(info["geometry"]["sectorsPerTrack"], geometry.sectorsPerTrack);
    EXPECT_EQ(info["geometry"]["bytesPerSector"], geometry.bytesPerSector);
    EXPECT_EQ(info["bpb"]["bytesPerSector"], layout.geometry.bytesPerSector);
    EXPECT_EQ(info["bpb"]["totalSectors16"], layout.totalSectors);
    EXPECT_EQ(info["bpb"]["rootEntryCount"], layout.rootEntries);
    EXPECT_EQ(info["bpb"]["mediaDescriptor"], layout.media);
    EXPECT_EQ(info["freeClusters"], info["dataClusters"]);
    EXPECT_EQ(info["readOnly"], false);
    EXPECT_EQ(info["writeProtected"], false);
    EXPECT_TRUE(rootNames({}, image).empty());
}

INSTANTIATE_TEST_SUITE_P(EveryFormatAndSize, NewImageOffered, ::testing::ValuesIn(offeredCases()),
                         [](const auto& info) {
                             std::string name = fileExtension(info.param.format) + "_" +
                                                sizeCase(info.param.size).option;
                             for (char& ch : name) {
                                 ch = ch == '.' ? '_' : ch;
                             }
                             return name;
                         });

// Catches refusals that write a file anyway, exit with the wrong status or say nothing
// useful about what would have been allowed.
TEST(NewImageRefused, SizesTheContainerDoesNotOfferAndUnknownContainersWriteNothing) {
    struct Case {
        std::string file;
        std::vector<std::string> size; // the --size arguments
        int status;
        std::string err; // exact, or empty when only the status matters
    };
    const std::vector<Case> cases = {
        {"a.hdi",
         {"--size", "640k"},
         2,
         sizeNotOfferedText(NewImageFormat::hdi, DiskSize::kb640) + "\n"},
        {"a.nhd",
         {"--size", "1.44m"},
         2,
         sizeNotOfferedText(NewImageFormat::nhd, DiskSize::mb1_44) + "\n"},
        {"a.d88",
         {"--size", "10m"},
         2,
         sizeNotOfferedText(NewImageFormat::d88, DiskSize::mb10) + "\n"},
        {"a.dcp",
         {"--size", "40m"},
         2,
         sizeNotOfferedText(NewImageFormat::dcp, DiskSize::mb40) + "\n"},
        {"a.thd",
         {"--size", "10m"},
         1,
         "ディスクイメージの作成に失敗しました: サポートされていないディスクイメージ形式です: "
         "thd\n"},
        {"a.xyz",
         {"--size", "1.44m"},
         1,
         "ディスクイメージの作成に失敗しました: サポートされていないディスクイメージ形式です: "
         "xyz\n"},
        {"noextension",
         {"--size", "1.44m"},
         1,
         "ディスクイメージの作成に失敗しました: サポートされていないディスクイメージ形式です: "
         "\n"},
        {"a.bin", {"--size", "720k"}, 2, ""},
        {"a.bin", {"--size", "1.44"}, 2, ""},
        {"a.bin", {}, 2, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> arguments = {"new", (dir / c.file).string()};
        arguments.insert(arguments.end(), c.size.begin(), c.size.end());
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, c.status) << c.file << " " << run.err;
        if (!c.err.empty()) {
            EXPECT_EQ(run.err, c.err) << c.file;
        }
        EXPECT_FALSE(std::filesystem::exists(dir / c.file)) << c.file;
    }
    // The size hint of the message names exactly the sizes the container offers.
    EXPECT_NE(sizeNotOfferedText(NewImageFormat::hdi, DiskSize::kb640)
                  .find("10MB (HD), 20MB (HD), 40MB (HD)"),
              std::string::npos);
}

TEST(NewImageOptions, SizeAndExtensionAreReadWithoutRegardToCase) {
    TempDir dir;
    const auto image = dir / "UPPER.FDI";
    mustRun({"new", image.string(), "--size", "1.44M"});
    const auto info = nlohmann::json::parse(mustRun({"info", image.string(), "--json"}).out);
    EXPECT_EQ(info["format"], "FDI");
    EXPECT_EQ(info["bpb"]["totalSectors16"], 2880);
}

// --- convert ---------------------------------------------------------------------------

struct RoundTripCase {
    DiskSize size;
    ConvertFormat through;
};

std::vector<RoundTripCase> floppyRoundTrips() {
    std::vector<RoundTripCase> cases;
    for (DiskSize size : {DiskSize::kb640, DiskSize::mb1_2, DiskSize::mb1_44}) {
        for (ConvertFormat format : availableFormats(sizeSpec(size).geometry)) {
            if (format != ConvertFormat::bin) {
                cases.push_back({size, format});
            }
        }
    }
    return cases;
}

class ConvertRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Catches a writer or reader that moves, drops or pads sectors: BIN → container → BIN must
// give back the volume byte for byte, and the file inside must still read.
TEST_P(ConvertRoundTrip, FloppyThroughContainerBackToBinKeepsEveryVolumeByte) {
    const RoundTripCase& c = GetParam();
    TempDir dir;
    const auto original = dir / "original.bin";
    mustRun({"new", original.string(), "--size", sizeCase(c.size).option});
    std::string contents;
    for (int i = 0; contents.size() < 5000; ++i) {
        contents += "line " + std::to_string(i) + "\n";
    }
    importInto(original, dir, "DATA.TXT", contents);

    const auto middle = dir / ("middle." + fileExtension(c.through));
    const auto back = dir / "back.bin";
    EXPECT_EQ(mustRun({"convert", original.string(), middle.string()}).out,
              "変換しました: " + middle.string() + " (" + rawValue(c.through) + ")\n");
    EXPECT_EQ(mustRun({"cat", middle.string(), "/DATA.TXT"}).out, contents);
    mustRun({"convert", middle.string(), back.string()});
    EXPECT_TRUE(fileBytes(back) == fileBytes(original));
}

INSTANTIATE_TEST_SUITE_P(EveryFloppyTarget, ConvertRoundTrip,
                         ::testing::ValuesIn(floppyRoundTrips()), [](const auto& info) {
                             std::string name = std::string(sizeCase(info.param.size).option) +
                                                "_" + fileExtension(info.param.through);
                             for (char& ch : name) {
                                 ch = ch == '.' ? '_' : ch;
                             }
                             return name;
                         });

TEST(ConvertHardDisk, HdiToNhdKeepsGeometryFilesAndVolumeBytes) {
    TempDir dir;
    const auto hdi = dir / "disk.hdi";
    const auto nhd = dir / "disk.nhd";
    mustRun({"new", hdi.string(), "--size", "20m"});
    importInto(hdi, dir, "HELLO.TXT", "hello from a hard disk\n");
    mustRun({"convert", hdi.string(), nhd.string()});

    const auto info = nlohmann::json::parse(mustRun({"info", nhd.string(), "--json"}).out);
    EXPECT_EQ(info["format"], "NHD");
    EXPECT_EQ(info["fileSystem"], "FAT16");
    EXPECT_EQ(info["geometry"]["heads"], 4);
    EXPECT_EQ(info["geometry"]["cylinders"], 306);
    EXPECT_EQ(rootNames({}, nhd), std::vector<std::string>{"HELLO.TXT"});
    EXPECT_EQ(mustRun({"cat", nhd.string(), "/HELLO.TXT"}).out, "hello from a hard disk\n");

    mustRun({"convert", hdi.string(), (dir / "from-hdi.bin").string()});
    mustRun({"convert", nhd.string(), (dir / "from-nhd.bin").string()});
    EXPECT_TRUE(fileBytes(dir / "from-hdi.bin") == fileBytes(dir / "from-nhd.bin"));
}

// Catches a conversion that writes a container its geometry cannot live in, or that
// overwrites the open source image.
TEST(ConvertRefused, TargetsNotOfferedUnknownExtensionsAndTheSourceItselfLeaveFilesAlone) {
    TempDir dir;
    const auto hdi = dir / "hard.hdi";
    const auto floppy = dir / "floppy.d88";
    mustRun({"new", hdi.string(), "--size", "10m"});
    mustRun({"new", floppy.string(), "--size", "1.44m"});
    const Bytes floppyBefore = fileBytes(floppy);
    const std::string failed = "変換に失敗しました: ";
    const std::string unsupported = "サポートされていないディスクイメージ形式です: ";

    struct Case {
        std::filesystem::path source;
        std::string output;
        std::string err;
    };
    const std::vector<Case> cases = {
        {hdi, "out.d88",
         failed + unsupported +
             "このディスクイメージはD88形式に変換できません（変換できる形式: BIN, HDI, NHD）\n"},
        {hdi, "out.dcp",
         failed + unsupported +
             "このディスクイメージはDCP形式に変換できません（変換できる形式: BIN, HDI, NHD）\n"},
        {floppy, "out.hdi",
         failed + unsupported +
             "このディスクイメージはHDI形式に変換できません（変換できる形式: BIN, D88, FDI, NFD, "
             "DIM, DCP）\n"},
        {floppy, "out.thd", failed + unsupported + "thd\n"},
        {floppy, "out.img", failed + unsupported + "img\n"},
        {floppy, "floppy.d88", failed + lockConflictText + "\n"},
    };
    for (const Case& c : cases) {
        const auto output = dir / c.output;
        const bool existed = std::filesystem::exists(output);
        const CliRun run = runCli({"convert", c.source.string(), output.string()});
        EXPECT_EQ(run.status, 1) << c.output;
        EXPECT_EQ(run.err, c.err) << c.output;
        EXPECT_EQ(std::filesystem::exists(output), existed) << c.output;
    }
    EXPECT_TRUE(fileBytes(floppy) == floppyBefore);
}

// --- D88 disks and --disk ----------------------------------------------------------------

// Two disks with one file each, the second named in half-width katakana and
// write-protected, then a partial third disk that must not be listed.
class TwoDiskD88 : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto first = dir / "first.d88";
        const auto second = dir / "second.d88";
        mustRun({"new", first.string(), "--size", "640k"});
        mustRun({"new", second.string(), "--size", "1.44m"});
        importInto(first, dir, "ONE.TXT", "first disk\n");
        importInto(second, dir, "TWO.TXT", "second disk\n");
        firstSize = static_cast<std::int64_t>(std::filesystem::file_size(first));
        Bytes file = fileBytes(first);
        Bytes secondBytes = fileBytes(second);
        const std::uint8_t name[] = {0xC3, 0xDE, 0xA8, 0xBD, 0xB8, ' ', 'B'}; // "ﾃﾞｨｽｸ B"
        std::copy(std::begin(name), std::end(name), secondBytes.begin());
        secondBytes[0x1A] = 0x10;
        secondSize = static_cast<std::int64_t>(secondBytes.size());
        file.insert(file.end(), secondBytes.begin(), secondBytes.end());
        file.insert(file.end(), secondBytes.begin(), secondBytes.begin() + 5000);
        image = dir / "two.d88";
        writeFile(image, file);
    }

    TempDir dir;
    std::filesystem::path image;
    std::int64_t firstSize = 0;
    std::int64_t secondSize = 0;
};

TEST_F(TwoDiskD88, DisksListsBothCompleteDisksInTextAndJson) {
    const std::string expected = "番号  オフセット  種類    サイズ  保護  ディスク名\n"
                                 "   1           0  2DD     676528  なし  \n"
                                 "   2      676528  2HD    1521328  あり  ﾃﾞｨｽｸ B\n";
    ASSERT_EQ(firstSize, 676528);
    ASSERT_EQ(secondSize, 1521328);
    EXPECT_EQ(mustRun({"disks", image.string()}).out, expected);

    const auto disks = nlohmann::json::parse(mustRun({"disks", image.string(), "--json"}).out);
    const auto expectedJson = nlohmann::json::parse(R"([
        {"number": 1, "offset": 0, "name": "", "type": "2DD", "size": 676528,
         "writeProtected": false},
        {"number": 2, "offset": 676528, "name": "ﾃﾞｨｽｸ B", "type": "2HD", "size": 1521328,
         "writeProtected": true}])");
    EXPECT_EQ(disks, expectedJson);
}

// Catches the chosen disk being ignored (disk 1 shown for --disk 2) and a disk number past
// the list being accepted.
TEST_F(TwoDiskD88, DiskOptionOpensTheChosenDiskForEveryCommand) {
    EXPECT_EQ(rootNames({}, image), std::vector<std::string>{"ONE.TXT"});
    EXPECT_EQ(rootNames({"--disk", "1"}, image), std::vector<std::string>{"ONE.TXT"});
    EXPECT_EQ(rootNames({"--disk", "2"}, image), std::vector<std::string>{"TWO.TXT"});
    EXPECT_EQ(mustRun({"cat", image.string(), "/TWO.TXT", "--disk", "2"}).out, "second disk\n");

    const auto info =
        nlohmann::json::parse(mustRun({"--disk", "2", "info", image.string(), "--json"}).out);
    EXPECT_EQ(info["geometry"]["sectorsPerTrack"], 18);
    EXPECT_EQ(info["writeProtected"], true);

    const auto out = dir / "disk2.bin";
    mustRun({"--disk", "2", "convert", image.string(), out.string()});
    EXPECT_EQ(rootNames({}, out), std::vector<std::string>{"TWO.TXT"});
    EXPECT_EQ(std::filesystem::file_size(out), 1474560u);

    const CliRun beyond = runCli({"--disk", "3", "ls", image.string()});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_EQ(
        beyond.err,
        "ヘッダの解析に失敗しました: 指定されたディスク番号が範囲外です: 3（ディスク数: 2）\n");
}

TEST(DisksRefused, NonD88FilesAndBrokenHeadersFailWithTheReason) {
    TempDir dir;
    const auto bin = dir / "floppy.bin";
    mustRun({"new", bin.string(), "--size", "1.44m"});
    const auto shortFile = dir / "short.d88";
    writeFile(shortFile, Bytes(100, 0));
    const auto badType = dir / "badtype.d88";
    Bytes header(688, 0);
    header[0x1B] = 0x30;
    writeFile(badType, header);
    const auto noSize = dir / "nosize.d88";
    writeFile(noSize, Bytes(688, 0));

    struct Case {
        std::filesystem::path file;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {bin, 2, "ディスクの一覧は D88 ファイルだけで表示できます: " + bin.string() + "\n"},
        {shortFile, 1,
         "ヘッダの解析に失敗しました: D88ヘッダに必要なデータが不足しています（必要: "
         "688バイト、実際: 100バイト）\n"},
        {badType, 1, "ヘッダの解析に失敗しました: 不明なD88ディスクタイプです: 0x30\n"},
        {noSize, 1, "完全なディスクが見つかりません: " + noSize.string() + "\n"},
        {dir / "missing.d88", 1, "I/Oエラーが発生しました: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli({"disks", c.file.string()});
        EXPECT_EQ(run.status, c.status) << c.file;
        EXPECT_EQ(run.err, c.err) << c.file;
        EXPECT_EQ(run.out, "") << c.file;
    }
}

// --- files in use ------------------------------------------------------------------------

// Another process holding an exclusive flock on a file until destroyed.
class ForeignLock {
  public:
    explicit ForeignLock(const std::filesystem::path& file) {
        int ready[2];
        int release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            const int fd = open(file.c_str(), O_RDONLY);
            const char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!write(ready[1], &ok, 1);
            char byte;
            (void)!read(release[0], &byte, 1); // returns when the parent closes its end
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        releaseFd_ = release[1];
        char ok = 'n';
        (void)!read(ready[0], &ok, 1);
        close(ready[0]);
        if (ok != 'y') {
            throw std::runtime_error("child could not lock");
        }
    }
    ~ForeignLock() {
        close(releaseFd_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;

  private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
};

// Catches a new or converted image replacing a file another program is using: the
// command must fail with the lock conflict and the file keep its bytes.
TEST(FileInUse, NewAndConvertOverAFileLockedByAnotherProcessFailAndLeaveItUntouched) {
    TempDir dir;
    const auto source = dir / "source.bin";
    mustRun({"new", source.string(), "--size", "640k"});
    const auto busy = dir / "busy.d88";
    const std::string text = "somebody else's data";
    writeFile(busy, Bytes(text.begin(), text.end()));
    {
        ForeignLock lock(busy);
        const CliRun created = runCli({"new", busy.string(), "--size", "1.44m"});
        EXPECT_EQ(created.status, 1);
        EXPECT_EQ(created.err, "ディスクイメージの作成に失敗しました: " + lockConflictText + "\n");
        const CliRun converted = runCli({"convert", source.string(), busy.string()});
        EXPECT_EQ(converted.status, 1);
        EXPECT_EQ(converted.err, "変換に失敗しました: " + lockConflictText + "\n");
        const Bytes after = fileBytes(busy);
        EXPECT_EQ(std::string(after.begin(), after.end()), text);
    }
    // Once the other program lets go, the file is replaced.
    mustRun({"new", busy.string(), "--size", "1.44m"});
    EXPECT_EQ(std::filesystem::file_size(busy), 1521328u);
}

} // namespace
} // namespace tamberlane::test
