// Host names that are not UTF-8: old archives unpacked on Linux leave Shift-JIS bytes,
// which Qt's text cannot hold.
#include "tests/app/ui/MainWindowFixture.h"

#include <QFile>

namespace tamberlane::ui {
namespace {

const std::string shiftJISName = "\x83\x5A\x81\x5B\x83\x75.DAT";

QString shownByQt(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

TEST_F(MainWindowTest, AHostFileWithAShiftJISNameDroppedOnTheListIsImportedUnderThatName) {
    openNewImage("disk.img");
    const auto file = hostFile(shiftJISName);
    EXPECT_TRUE(drop(window().fileList()->viewport(), {file}, false));
    EXPECT_FALSE(state().browser().showError) << state().browser().errorMessage.get();
    EXPECT_EQ(listedNames(), std::vector<std::string>{"セーブ.DAT"});
}

TEST_F(MainWindowTest, APathQtCouldNotDecodeIsFoundAgainOnlyWhereOneNameReadsTheSame) {
    const auto folder = host.path() / "\x83\x66\x81\x5B\x83\x5E";
    std::filesystem::create_directory(folder);
    const auto file = folder / shiftJISName;
    writeFile(file, bytesOf("save"));
    ASSERT_TRUE(shownByQt(file).contains(QChar::ReplacementCharacter));
    EXPECT_EQ(hostPath(shownByQt(file)), file);
    EXPECT_EQ(hostPath(QString::fromStdString((host.path() / "plain.txt").string())),
              host.path() / "plain.txt");

    // Two names that Qt shows alike: neither is taken for the other.
    const auto twin = folder / "\x84\x5A\x81\x5B\x83\x75.DAT";
    writeFile(twin, bytesOf("other"));
    ASSERT_EQ(shownByQt(twin), shownByQt(file));
    EXPECT_NE(hostPath(shownByQt(file)), file);
    EXPECT_NE(hostPath(shownByQt(file)), twin);
}

} // namespace
} // namespace tamberlane::ui
