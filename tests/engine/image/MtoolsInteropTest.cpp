#include "engine/fat/ShiftJISConverter.h"
#include "engine/image/DiskImageError.h"
#include "engine/image/DiskImageService.h"
#include "tests/support/TestFiles.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace tamberlane {
namespace {

using test::shellQuote;
namespace fs = std::filesystem;

// mtools as the second reader: its configuration lives in the test's own folder.
class Mtools {
  public:
    explicit Mtools(const fs::path& folder, bool codePage932) : rc_(folder / "mtoolsrc") {
        std::string text = "mtools_skip_check=1\n";
        if (codePage932) {
            text += "default_codepage=932\n";
        }
        test::writeFile(rc_, test::bytesOf(text));
    }
    test::CommandResult run(const std::string& command) const {
        return test::runCommand("MTOOLSRC=" + shellQuote(rc_.string()) + " LC_ALL=C.UTF-8 " +
                                command);
    }
    // Every path of the volume as "/DIR/" or "/DIR/FILE", sorted.
    std::vector<std::string> paths(const fs::path& image) const {
        const auto result = run("mdir -i " + shellQuote(image.string()) + " -b -/ ::/");
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        std::vector<std::string> out;
        std::istringstream lines(result.output);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("::", 0) == 0) {
                out.push_back(line.substr(2));
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    Bytes contents(const fs::path& image, const std::string& path) const {
        const auto result =
            run("mtype -i " + shellQuote(image.string()) + " " + shellQuote("::" + path));
        EXPECT_EQ(result.exitStatus, 0) << path << ": " << result.errors;
        return test::bytesOf(result.output);
    }

  private:
    fs::path rc_;
};

struct EngineView {
    std::vector<std::string> paths;
    std::vector<std::pair<std::string, Bytes>> files;
};

void collect(const DiskImageService& service, const DiskPath& path, EngineView& view) {
    for (const FileEntry& entry : service.listDirectory(path)) {
        const std::string shown = entry.path.displayString();
        if (entry.directoryEntry.isDirectory()) {
            view.paths.push_back(shown + "/");
            collect(service, entry.path, view);
        } else {
            view.paths.push_back(shown);
            view.files.emplace_back(shown, service.readFile(entry));
        }
    }
}

EngineView engineView(const DiskImageService& service) {
    EngineView view;
    collect(service, DiskPath::root(), view);
    std::sort(view.paths.begin(), view.paths.end());
    return view;
}

void expectSameAsMtools(const DiskImageService& service, const Mtools& mtools,
                        const fs::path& image) {
    const EngineView view = engineView(service);
    EXPECT_EQ(view.paths, mtools.paths(image));
    for (const auto& [path, bytes] : view.files) {
        EXPECT_EQ(bytes, mtools.contents(image, path)) << path;
    }
}

bool toolsPresent() {
    return test::toolAvailable("mkfs.fat") && test::toolAvailable("mcopy") &&
           test::toolAvailable("mdir") && test::toolAvailable("mtype");
}

struct MadeVolume {
    const char* name;
    const char* mkfsOptions; // the file name and block count follow
    int kibibytes;
    std::optional<FATType> manual; // open with manual parameters of this FAT type
};

class MtoolsVolumeTest : public ::testing::TestWithParam<MadeVolume> {};

TEST_P(MtoolsVolumeTest, EngineListsAndReadsWhatMtoolsWrote) {
    if (!toolsPresent()) {
        GTEST_SKIP() << "mtools or dosfstools missing";
    }
    const MadeVolume& made = GetParam();
    test::TempDir dir;
    const Mtools mtools(dir.path(), false);
    const fs::path image = dir / "volume.img";
    const auto mkfs =
        test::runCommand("mkfs.fat " + std::string(made.mkfsOptions) + " -C " +
                         shellQuote(image.string()) + " " + std::to_string(made.kibibytes));
    ASSERT_EQ(mkfs.exitStatus, 0) << mkfs.errors;

    const fs::path host = dir / "host";
    fs::create_directories(host);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"README.TXT", test::bytesOf("read me\r\n")},
        {"DATA.BIN", test::patternBytes(20000, 3)},
        {"EMPTY.TXT", {}},
        {"A long file name with spaces.text", test::patternBytes(1500, 4)},
        {"MixedCase Name.Data", test::bytesOf("mixed")},
    };
    std::string copyAll;
    for (const auto& [name, bytes] : files) {
        test::writeFile(host / name, bytes);
        copyAll += " " + shellQuote((host / name).string());
    }
    const std::string img = shellQuote(image.string());
    const std::vector<std::string> steps = {
        "mcopy -i " + img + copyAll + " ::/",
        "mmd -i " + img + " ::/DIR1 '::/DIR1/Nested Directory' ::/DIR1/D2 ::/DIR1/D2/D3 ::/MANY",
        "mcopy -i " + img + copyAll + " '::/DIR1/Nested Directory/'",
        "mcopy -i " + img + " " + shellQuote((host / "DATA.BIN").string()) +
            " ::/DIR1/D2/D3/DEEP.DAT",
    };
    for (const std::string& step : steps) {
        const auto result = mtools.run(step);
        ASSERT_EQ(result.exitStatus, 0) << step << "\n" << result.errors;
    }
    // Enough long names that the subdirectory spans several clusters.
    std::string many;
    for (int i = 0; i < 60; ++i) {
        const std::string name = "entry number " + std::to_string(i) + " of many.txt";
        test::writeFile(host / name, test::bytesOf(name));
        many += " " + shellQuote((host / name).string());
    }
    ASSERT_EQ(mtools.run("mcopy -i " + img + many + " ::/MANY/").exitStatus, 0);

    DiskImageService service;
    if (made.manual) {
        ManualParameters params;
        params.fatType = *made.manual;
        service.open(image, params);
    } else {
        service.open(image);
    }
    expectSameAsMtools(service, mtools, image);
    EXPECT_EQ(engineView(service).files.size(), 2 * files.size() + 1 + 60);

    // The names the engine shows must be the ones mtools matches on lookup.
    const auto nested = service.listDirectory(DiskPath::fromString("/dir1/NESTED DIRECTORY"));
    EXPECT_EQ(nested.size(), files.size());
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, MtoolsVolumeTest,
    ::testing::Values(MadeVolume{"floppy144", "", 1440, std::nullopt},
                      MadeVolume{"floppy2HD", "-S 1024 -s 1 -r 192 -f 2", 1232, std::nullopt},
                      MadeVolume{"floppy640", "-s 2 -r 112", 640, std::nullopt},
                      MadeVolume{"fat16Manual", "-F 16 -s 1", 4000, FATType::fat16},
                      MadeVolume{"fat12Manual", "-F 12 -s 4", 3000, FATType::fat12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MtoolsShiftJISTest, ShortNamesInShiftJISReadAlikeWithCodePage932) {
    if (!toolsPresent()) {
        GTEST_SKIP() << "mtools missing";
    }
    test::TempDir dir;
    const Mtools mtools(dir.path(), true);
    test::VolumeBuilder v;
    v.addFile(v.root(), test::name83("テスト.TXT"), test::bytesOf("sjis\r\n"));
    v.addFile(v.root(), test::name83("ｱｲｳｴｵ.DAT"), test::patternBytes(3000, 9));
    v.addFile(v.root(), test::name83("漢字名前.文"), test::bytesOf("kanji"));
    v.addFile(v.root(), Bytes{0x05, 0x40, 'A', ' ', ' ', ' ', ' ', ' ', 'T', 'X', 'T'},
              test::bytesOf("e5"));
    const auto folder = v.addDirectory(v.root(), test::name83("資料"));
    v.addFile(folder, test::name83("表.CSV"), test::bytesOf("a,b\r\n"));
    v.addFile(folder, test::name83("ﾃﾞｰﾀ"), test::bytesOf("half-width"));
    const fs::path image = dir / "sjis.img";
    test::writeFile(image, v.build());

    DiskImageService service;
    service.open(image);
    expectSameAsMtools(service, mtools, image);
    const auto root = service.listDirectory(DiskPath::root());
    ASSERT_EQ(root.size(), 5u);
    EXPECT_EQ(root[0].directoryEntry.displayName(), "テスト.TXT");
    EXPECT_EQ(root[3].directoryEntry.displayName(),
              ShiftJISConverter::toUnicode(Bytes{0xE5, 0x40}) + "A.TXT");
}

} // namespace
} // namespace tamberlane
