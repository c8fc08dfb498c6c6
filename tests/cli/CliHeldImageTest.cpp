// An image the application holds open: the commands that only read still work on it, the
// ones that change it are refused and leave the file as it was.

#include "engine/fat/DiskImageService.h"
#include "engine/image/NewImage.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tamberlane::test {
namespace {

const std::string lockConflictText = "ファイルのロック競合が発生しました: "
                                     "ファイルのロックを取得できませんでした。"
                                     "他のプロセスが使用中です。\n";

TEST(HeldImage, ReadingCommandsReadItAndWritingCommandsAreRefusedWithTheLockMessage) {
    TempDir dir;
    const auto image = (dir / "held.bin").string();
    const std::string contents(3000, 'h');
    mustRun({"new", image, "--size", "1.44m"});
    mustRun({"put", image, writeHost(dir, "DATA.TXT", contents).string()});
    mustRun({"put", image, writeHost(dir, "GONE.TXT", "gone").string()});
    mustRun({"rm", image, "GONE.TXT"});
    const auto host = writeHost(dir, "NEW.TXT", "new").string();

    // Held as the application holds what it opens.
    DiskImageService application;
    application.open(image);
    ASSERT_FALSE(application.currentImage()->layout().isReadOnly);

    EXPECT_NE(mustRun({"ls", image}).out.find("DATA.TXT"), std::string::npos);
    EXPECT_EQ(mustRun({"cat", image, "DATA.TXT"}).out, contents);
    const std::string info = mustRun({"info", image}).out;
    EXPECT_NE(info.find("ファイル名: held.bin\n"), std::string::npos);
    // Read without the lock, the image is still one a change could write.
    EXPECT_NE(info.find("読み取り専用: いいえ\n"), std::string::npos) << info;
    EXPECT_NE(mustRun({"deleted", image}).out.find("?ONE.TXT"), std::string::npos);
    EXPECT_EQ(mustRun({"sector", image, "0"}).out.rfind("セクタ 0\n", 0), 0U);
    std::filesystem::create_directory(dir / "out");
    mustRun({"get", image, "DATA.TXT", "-o", (dir / "out").string()});
    EXPECT_TRUE(readFile(dir / "out" / "DATA.TXT") == Bytes(contents.begin(), contents.end()));
    mustRun({"convert", image, (dir / "copy.d88").string()});
    EXPECT_EQ(mustRun({"cat", (dir / "copy.d88").string(), "DATA.TXT"}).out, contents);

    const std::vector<std::vector<std::string>> writing = {
        {"put", image, host},          {"rm", image, "DATA.TXT"},
        {"mkdir", image, "SUB"},       {"rename", image, "DATA.TXT", "MOVED.TXT"},
        {"undelete", image, "1", "G"},
    };
    for (const auto& arguments : writing) {
        expectFailsUntouched(image, arguments, 1, lockConflictText);
    }
}

// Opening a FIFO for reading waits for a writer that never comes.
TEST(HeldImage, AFifoGivenAsTheImageIsRefusedRatherThanWaitedOn) {
    TempDir dir;
    const auto fifo = dir / "pipe.d88";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const char* command : {"ls", "info", "disks", "partitions"}) {
        EXPECT_EQ(runCli({command, fifo.string()}).status, 1) << command;
    }
}

// The names are the catalogue's; the help must say what each size really holds, and that
// must be what `new` makes.
TEST(NewCommandHelp, EverySizeShowsTheCapacityOfTheVolumeItMakes) {
    const std::string help = mustRun({"new", "--help"}).out;
    for (const char* shown : {"640k (640 KB)", "1.2m (1232 KB)", "1.44m (1440 KB)", "10m (5.1 MB)",
                              "20m (10.2 MB)", "40m (20.3 MB)"}) {
        EXPECT_NE(help.find(shown), std::string::npos) << shown << "\n" << help;
    }
}

} // namespace
} // namespace tamberlane::test
