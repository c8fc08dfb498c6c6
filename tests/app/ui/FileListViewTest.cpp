// Drags out of the file list, on an executor the test steps by hand.
#include "app/ui/DragOutMimeData.h"
#include "tests/app/state/SteppingExecutor.h"
#include "tests/app/ui/MainWindowFixture.h"

#include <QTimer>

#include <optional>

namespace tamberlane::ui {
namespace {

namespace fs = std::filesystem;

// Catches a drop target handed files that are not written yet, our own window waiting on
// its own drag, and drag folders left behind when the application goes.
TEST(FileListDragTest, ATargetGetsTheFilesOnceTheBackgroundCopyWroteThemAndTheFolderGoesLast) {
    test::SteppingExecutor executor;
    TempDir images;
    TempDir host;
    const auto image = images.path() / "disk.img";
    writeImageFile(image,
                   createNewImage(NewImageParameters{NewImageFormat::bin, DiskSize::mb1_44, {}}));
    writeFile(host.path() / "A.TXT", bytesOf("alpha"));
    std::optional<TamberlaneApp> app(std::in_place, executor);
    app->openFiles(QStringList{QString::fromStdString(image.string())});
    executor.runHeld();
    FileBrowserViewModel& browser = app->state().browser();
    browser.importFiles({host.path() / "A.TXT"});
    executor.runHeld();
    ASSERT_EQ(browser.entries.get().size(), 1u);
    browser.setSelection({browser.entries.get().front().id});

    std::unique_ptr<QMimeData> data(app->window().fileList()->dragData());
    auto* out = qobject_cast<DragOutMimeData*>(data.get());
    ASSERT_NE(out, nullptr);
    const fs::path folder = out->copies().folder;
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_TRUE(browser.isOperationInProgress);
    EXPECT_EQ(dropMeaning(*data, DropTarget::fileList, true), DropMeaning::nothing);
    EXPECT_FALSE(out->copies().finished);

    // The copy ends while the target waits for the list of files.
    QTimer::singleShot(0, [&executor] { executor.runHeld(); });
    const QList<QUrl> urls = data->urls();
    EXPECT_TRUE(out->copies().finished);
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(test::readFile(hostPath(urls.front())), bytesOf("alpha"));
    EXPECT_EQ(hostPath(urls.front()).parent_path(), folder);
    EXPECT_FALSE(browser.isOperationInProgress);

    data.reset();
    app.reset();
    EXPECT_FALSE(fs::exists(folder));
}

} // namespace
} // namespace tamberlane::ui
