// Volumes written by mtools must list and read through the engine exactly as mtools
// itself lists and reads them.

#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DiskImageService.h"
#include "tests/support/FatTools.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

struct MadeVolume {
    const char* name;
    const char* mkfsOptions; // the file name and block count follow
    int kibibytes;
    std::optional<FATType> manual; // open with manual parameters of this FAT type
};

class MtoolsVolumeTest : public ::testing::TestWithParam<MadeVolume> {};

TEST_P(MtoolsVolumeTest, EngineListsAndReadsWhatMtoolsWrote) {
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mtools or dosfstools missing";
    }
    const MadeVolume& made = GetParam();
    TempDir dir;
    const fs::path image = dir / "volume.img";
    const auto mkfs = runCommand("mkfs.fat " + std::string(made.mkfsOptions) + " -C " +
                                 shellQuote(image.string()) + " " + std::to_string(made.kibibytes));
    ASSERT_EQ(mkfs.exitStatus, 0) << mkfs.errors;

    std::string files;
    const auto addHost = [&](const std::string& name, const Bytes& bytes) {
        writeFile(dir / name, bytes);
        files += " " + shellQuote((dir / name).string());
    };
    addHost("README.TXT", bytesOf("read me\r\n"));
    addHost("DATA.BIN", patternBytes(20000, 3));
    addHost("EMPTY.TXT", {});
    addHost("A long file name with spaces.text", patternBytes(1500, 4));
    addHost("MixedCase Name.Data", bytesOf("mixed"));
    const std::string img = " -i " + shellQuote(image.string());
    std::string many; // enough long names that the subdirectory spans several clusters
    for (int i = 0; i < 60; ++i) {
        const std::string name = "entry number " + std::to_string(i) + " of many.txt";
        writeFile(dir / name, bytesOf(name));
        many += " " + shellQuote((dir / name).string());
    }
    for (const std::string& step : {
             "mcopy" + img + files + " ::/",
             "mmd" + img + " ::/DIR1 '::/DIR1/Nested Directory' ::/DIR1/D2 ::/DIR1/D2/D3 ::/MANY",
             "mcopy" + img + files + " '::/DIR1/Nested Directory/'",
             "mcopy" + img + " " + shellQuote((dir / "DATA.BIN").string()) +
                 " ::/DIR1/D2/D3/DEEP.DAT",
             "mcopy" + img + many + " ::/MANY/",
         }) {
        const auto result = mtools(step);
        ASSERT_EQ(result.exitStatus, 0) << step << "\n" << result.errors;
    }

    DiskImageService service;
    std::optional<ManualParameters> params;
    if (made.manual) {
        params.emplace().fatType = *made.manual;
    }
    const auto opened = service.open(image, params);
    const Tree tree = engineTree(*opened);
    EXPECT_EQ(tree, mtoolsTree(image));
    EXPECT_EQ(tree.size(), 5u + 5 + 5 + 1 + 60) << "files and directories";
    // The names the engine shows are the ones it matches on lookup, in any case.
    EXPECT_EQ(service.listDirectory(DiskPath::fromString("/dir1/NESTED DIRECTORY")).size(), 5u);
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
    if (!fatToolsAvailable()) {
        GTEST_SKIP() << "mtools missing";
    }
    TempDir dir;
    VolumeBuilder v;
    v.addFile(v.root(), name83("テスト.TXT"), bytesOf("sjis\r\n"));
    v.addFile(v.root(), name83("ｱｲｳｴｵ.DAT"), patternBytes(3000, 9));
    v.addFile(v.root(), name83("漢字名前.文"), bytesOf("kanji"));
    v.addFile(v.root(), Bytes{0x05, 0x40, 'A', ' ', ' ', ' ', ' ', ' ', 'T', 'X', 'T'},
              bytesOf("e5"));
    const auto folder = v.addDirectory(v.root(), name83("資料"));
    v.addFile(folder, name83("表.CSV"), bytesOf("a,b\r\n"));
    v.addFile(folder, name83("ﾃﾞｰﾀ"), bytesOf("half-width"));
    const fs::path image = dir / "sjis.img";
    writeFile(image, v.build());

    DiskImageService service;
    const Tree tree = engineTree(*service.open(image));
    EXPECT_EQ(tree, mtoolsTree(image, true));
    const std::string e5 = ShiftJISConverter::toUnicode(Bytes{0xE5, 0x40}) + "A.TXT";
    EXPECT_TRUE(tree.contains("テスト.TXT") && tree.contains(e5) && tree.contains("資料/ﾃﾞｰﾀ"));
}

} // namespace
} // namespace tamberlane::test
