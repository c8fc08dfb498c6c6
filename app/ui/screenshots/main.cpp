// Renders the main screens on one image offscreen into PNG files, so that text, icons
// and layout can be looked at without a display: tamberlane-screenshots IMAGE OUTDIR.

#include "app/state/Executor.h"
#include "app/state/StateTexts.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/SectorEditorWindow.h"
#include "app/ui/TamberlaneApp.h"
#include "app/ui/TextEditorWindow.h"
#include "app/ui/ToastStack.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <functional>

namespace {

using tamberlane::ApplicationState;
using tamberlane::FileBrowserViewModel;
using tamberlane::ui::MainWindowView;

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool save(QWidget* widget, const QDir& folder, const QString& name) {
    settle();
    const QString path = folder.filePath(name);
    if (widget == nullptr || !widget->grab().save(path)) {
        std::fprintf(stderr, "tamberlane-screenshots: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

std::filesystem::path writeSample(const QTemporaryDir& work, const QString& name,
                                  const QByteArray& bytes) {
    const QString path = work.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
    return path.toStdString();
}

// Files with Japanese names, put into the working copy so the list and the editor
// windows have something to show whatever image was given.
std::vector<std::filesystem::path> writeSampleFiles(const QTemporaryDir& work) {
    // "日本語のテキスト" and "半角ｶﾀｶﾅ" in Shift-JIS, with CR LF line ends.
    const QByteArray text(
        "MEMO.TXT\r\n\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67\r\n"
        "\x94\xbc\x8a\x70\xb6\xc0\xb6\xc5\r\n10 PRINT \"HELLO\"\r\n20 END\r\n");
    QByteArray program("MZ\x90\x00\x03\x00\x00\x00", 8);
    for (int i = 0; i < 4096; ++i) {
        program.append(static_cast<char>((i * 37) & 0xFF));
    }
    return {writeSample(work, QStringLiteral("メモ.TXT"), text),
            writeSample(work, QStringLiteral("ゲーム.EXE"), program),
            writeSample(work, QStringLiteral("セーブ.DAT"), QByteArray(20000, '\x5a'))};
}

// The alert shown over the window, which no flag of the window names.
QMessageBox* shownMessageBox(QWidget* owner) {
    for (QMessageBox* box : owner->findChildren<QMessageBox*>()) {
        if (box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

void click(QWidget* owner, const QString& title) {
    if (owner == nullptr) {
        return;
    }
    for (QAbstractButton* button : owner->findChildren<QAbstractButton*>()) {
        if (button->text() == title) {
            button->click();
            return;
        }
    }
}

void select(FileBrowserViewModel& browser, const std::string& name) {
    for (const tamberlane::FileEntry& entry : browser.entries.get()) {
        if (entry.directoryEntry.displayName() == name) {
            browser.setSelection({entry.id});
        }
    }
}

class Shots {
  public:
    Shots(tamberlane::ui::TamberlaneApp& app, QDir out) : app_(app), out_(std::move(out)) {}

    void take(QWidget* widget, const QString& name) { ok_ = save(widget, out_, name) && ok_; }
    // Raises a dialog through the state, as the window's controls would, and lowers it.
    void dialog(const char* name, const std::function<void()>& raise,
                const std::function<void()>& lower) {
        raise();
        take(window().raisedDialog(name), QStringLiteral("dialog-%1.png").arg(QLatin1String(name)));
        lower();
        settle();
    }
    MainWindowView& window() { return app_.window(); }
    bool ok() const { return ok_; }

  private:
    tamberlane::ui::TamberlaneApp& app_;
    QDir out_;
    bool ok_ = true;
};

void imageDialogs(Shots& shots, ApplicationState& state, const QTemporaryDir& work) {
    auto& image = state.image();
    shots.dialog(
        "diskInfo", [&] { image.showDiskInfoDialog = true; },
        [&] { image.showDiskInfoDialog = false; });
    shots.dialog(
        "newImage", [&] { image.showNewImageDialog = true; },
        [&] { image.showNewImageDialog = false; });
    shots.dialog(
        "conversion", [&] { image.showConvertDialog = true; },
        [&] { image.showConvertDialog = false; });
    shots.dialog(
        "manualParameters", [&] { image.showManualParamsDialog = true; },
        [&] { image.showManualParamsDialog = false; });

    // The choice only reads the disk list, so a made-up one shows the dialog without a
    // multi-disk file; the open image is left alone.
    const auto disks = image.d88Disks.get();
    std::vector<tamberlane::D88Disk> made(3);
    const char* names[] = {"システムディスク", "ゲームディスク A", "ユーザーディスク"};
    for (std::size_t i = 0; i < made.size(); ++i) {
        made[i].header.diskName = names[i];
    }
    shots.dialog(
        "diskSelection",
        [&] {
            image.d88Disks = made;
            image.showDiskSelectionDialog = true;
        },
        [&] {
            image.showDiskSelectionDialog = false;
            image.d88Disks = disks;
        });

    // A file no volume is found in: the image already open stays.
    const QString broken = work.filePath(QStringLiteral("UNKNOWN.IMG"));
    writeSample(work, QStringLiteral("UNKNOWN.IMG"), QByteArray(1000, '\0'));
    shots.window().openImage(broken);
    settle();
    QMessageBox* alert = shownMessageBox(&shots.window());
    shots.take(alert, QStringLiteral("alert-specialFormat.png"));
    click(alert, tamberlane::ui::text(tamberlane::ui::texts::closeButton));
    settle();
}

void fileDialogs(Shots& shots, FileBrowserViewModel& browser, const QTemporaryDir& work) {
    shots.dialog(
        "newDirectory",
        [&] {
            browser.requestNewDirectory();
            browser.newDirectoryName = "セーブデータ";
        },
        [&] { browser.showNewDirectoryDialog = false; });
    const std::vector<std::filesystem::path> samples = writeSampleFiles(work);
    browser.importFiles(samples);
    // One more, deleted at once, for the deleted-files window.
    browser.importFiles({writeSample(work, QStringLiteral("古いメモ.TXT"), QByteArray("old\r\n"))});
    // Long names as a disk of the 90s holds them, one of them deleted as well.
    browser.longNamePolicy = tamberlane::LongNamePolicy::always;
    browser.importFiles(
        {writeSample(work, QStringLiteral("セーブデータ 1995年版.dat"), QByteArray(3000, '\x11')),
         writeSample(work, QStringLiteral("Old club notes.txt"), QByteArray("notes\r\n"))});
    browser.longNamePolicy = tamberlane::LongNamePolicy::automatic;
    select(browser, "古いメモ.TXT");
    browser.requestDelete();
    browser.confirmDelete();
    select(browser, "Old club notes.txt");
    browser.requestDelete();
    browser.confirmDelete();
    settle();
    shots.window().resize(1200, 700);
    shots.take(&shots.window(), QStringLiteral("window-main-japanese.png"));

    select(browser, "セーブデータ 1995年版.dat");
    shots.dialog(
        "rename", [&] { browser.prepareRename(); }, [&] { browser.showRenameDialog = false; });
    browser.selectAll();
    shots.dialog(
        "deleteConfirmation", [&] { browser.requestDelete(); }, [&] { browser.cancelDelete(); });
    shots.dialog(
        "importClash", [&] { browser.importFiles(samples); },
        [&] { browser.cancelImportOverwrite(); });

    select(browser, "メモ.TXT");
    const QString exported = work.filePath(QStringLiteral("export"));
    QDir().mkpath(exported);
    browser.exportSelectedFiles(exported.toStdString());
    shots.dialog(
        "exportClash", [&] { browser.exportSelectedFiles(exported.toStdString()); },
        [&] { browser.cancelExportOverwrite(); });

    tamberlane::DeletedFilesViewModel& deleted = *browser.deletedFilesVM();
    browser.openDeletedFiles();
    shots.take(shots.window().raisedDialog("deletedFiles"),
               QStringLiteral("dialog-deletedFiles.png"));
    if (!deleted.deletedEntries.get().empty()) {
        shots.dialog(
            "restoreFirstChar",
            [&] { deleted.requestRestore(deleted.deletedEntries.get().front()); },
            [&] { deleted.cancelRestore(); });
    }
    browser.showDeletedFiles = false;
    settle();
}

void editMenu(Shots& shots) {
    for (QAction* item : shots.window().menuBar()->actions()) {
        QMenu* menu = item->menu();
        if (menu == nullptr ||
            item->text() != tamberlane::ui::text(tamberlane::ui::texts::editMenu)) {
            continue;
        }
        menu->popup(QPoint(0, 0));
        settle();
        shots.take(menu, QStringLiteral("menu-edit.png"));
        for (QAction* entry : menu->actions()) {
            if (QMenu* choices = entry->menu()) {
                choices->popup(QPoint(0, 0));
                settle();
                shots.take(choices, QStringLiteral("menu-edit-longNames.png"));
                choices->hide();
            }
        }
        menu->hide();
    }
}

void editorWindows(Shots& shots, ApplicationState& state) {
    FileBrowserViewModel& browser = state.browser();
    MainWindowView& window = shots.window();
    select(browser, "メモ.TXT");
    browser.openTextEditor();
    if (auto* editor =
            qobject_cast<tamberlane::ui::TextEditorWindow*>(window.raisedDialog("textEditor"))) {
        editor->textArea()->moveCursor(QTextCursor::End);
        editor->textArea()->insertPlainText(QStringLiteral("30 REM 編集中\n"));
        shots.take(editor, QStringLiteral("window-textEditor.png"));
        browser.requestCloseTextEditor();
        auto* question = editor->findChild<QMessageBox*>(QStringLiteral("discardQuestion"));
        shots.take(question, QStringLiteral("alert-discard.png"));
        click(question, tamberlane::ui::text(tamberlane::texts::discardButton));
        settle();
    }
    select(browser, "ゲーム.EXE");
    browser.openTextEditor();
    shots.take(window.findChild<QMessageBox*>(QStringLiteral("binaryAlert")),
               QStringLiteral("alert-binary.png"));
    browser.openHexViewer();
    shots.take(window.raisedDialog("hexViewer"), QStringLiteral("window-hexViewer.png"));
    browser.closeHexViewer();
    settle();
}

// The views only a passing state shows: a toast, an empty directory, and the deleted files
// of an image that cannot be written.
void passingViews(Shots& shots, ApplicationState& state) {
    MainWindowView& window = shots.window();
    tamberlane::ErrorCoordinator& errors = state.errors();
    errors.addToast(tamberlane::AppError::make(tamberlane::AppErrorType::io,
                                               tamberlane::ui::texts::exportTool,
                                               tamberlane::ui::texts::dragExportFailed));
    window.toasts()->finishMotion();
    shots.take(&window, QStringLiteral("window-toast.png"));
    for (const tamberlane::AppError& toast : std::vector(errors.toastMessages.get())) {
        errors.dismissToast(toast.id);
    }
    window.toasts()->finishMotion();

    FileBrowserViewModel& browser = state.browser();
    browser.newDirectoryName = "空のフォルダ";
    browser.createNewDirectory();
    browser.navigateToPath(tamberlane::DiskPath::root().appending("空のフォルダ"));
    shots.take(&window, QStringLiteral("window-emptyDirectory.png"));
    browser.navigateToPath(tamberlane::DiskPath::root());

    // Shown as read-only without a second program holding the file.
    state.image().isReadOnly = true;
    shots.take(&window, QStringLiteral("window-readOnly.png"));
    browser.openDeletedFiles();
    shots.take(window.raisedDialog("deletedFiles"),
               QStringLiteral("dialog-deletedFiles-readOnly.png"));
    browser.showDeletedFiles = false;
    state.image().isReadOnly = false;
    settle();
}

void sectorEditor(Shots& shots, ApplicationState& state) {
    MainWindowView& window = shots.window();
    state.openSectorEditor();
    if (auto* sector = qobject_cast<tamberlane::ui::SectorEditorWindow*>(
            window.raisedDialog("sectorEditor"))) {
        state.sectorEditorVM.get()->setCursor(6);
        for (const char typed : {'4', 'E'}) {
            QKeyEvent press(QEvent::KeyPress, typed, Qt::NoModifier, QString(QLatin1Char(typed)));
            QApplication::sendEvent(sector->dump(), &press);
        }
        shots.take(sector, QStringLiteral("window-sectorEditor.png"));
        state.sectorEditorVM.get()->showBPBView = true;
        shots.take(sector, QStringLiteral("window-sectorEditor-bpb.png"));
    }
}

// A copy of the open image with damage the check finds: a file's entry deleted with its
// chain left allocated (a lost chain), another's size a cluster short, and the second
// FAT copy blank, so the copy opens read-only with the banner's offer.
QString damagedCopy(ApplicationState& state, const QTemporaryDir& work) {
    const std::shared_ptr<tamberlane::DiskImage> open =
        state.image().diskImageService().currentImage();
    if (!open) {
        return {};
    }
    const tamberlane::ImageLayout& layout = open->layout();
    const tamberlane::BIOSParameterBlock& bpb = layout.bpb;
    QFile source(QString::fromStdString(layout.url.string()));
    if (!source.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = source.readAll();
    const qint64 sector = bpb.bytesPerSector;
    const qint64 fat2 = layout.dataOffset + (bpb.reservedSectors + bpb.sectorsPerFAT) * sector;
    const qint64 root =
        layout.dataOffset + (bpb.reservedSectors + bpb.numberOfFATs * bpb.sectorsPerFAT) * sector;
    const qint64 cluster = sector * bpb.sectorsPerCluster;
    if (bpb.numberOfFATs < 2 || root + bpb.rootEntryCount * 32 > bytes.size()) {
        return {};
    }
    bytes.replace(fat2, bpb.sectorsPerFAT * sector, QByteArray(bpb.sectorsPerFAT * sector, '\0'));
    int files = 0;
    for (qint64 at = root; at < root + bpb.rootEntryCount * 32 && files < 2; at += 32) {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto attributes = static_cast<unsigned char>(bytes[at + 11]);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 28);
        if (first == 0) {
            break;
        }
        if (first == 0xE5 || (attributes & 0x18) != 0 || attributes == 0x0F ||
            size <= static_cast<quint32>(cluster)) {
            continue;
        }
        if (files == 0) {
            bytes[at] = static_cast<char>(0xE5);
        } else {
            qToLittleEndian<quint32>(size - static_cast<quint32>(cluster), bytes.data() + at + 28);
        }
        ++files;
    }
    const QString path = work.filePath(QStringLiteral("damaged-") +
                                       QString::fromStdString(layout.url.filename().string()));
    QFile target(path);
    if (!target.open(QIODevice::WriteOnly) || target.write(bytes) != bytes.size()) {
        return {};
    }
    return path;
}

// The banner of a volume refused for its FAT copies, its offer, and the check's window.
void volumeCheck(Shots& shots, tamberlane::ui::TamberlaneApp& app, const QTemporaryDir& work) {
    ApplicationState& state = app.state();
    const QString damaged = damagedCopy(state, work);
    if (damaged.isEmpty()) {
        std::fprintf(stderr, "tamberlane-screenshots: no damaged copy made; the volume check "
                             "is left out\n");
        return;
    }
    app.openFiles({damaged});
    shots.take(&shots.window(), QStringLiteral("window-repairableBanner.png"));
    state.openVolumeCheck();
    shots.take(shots.window().raisedDialog("volumeCheck"),
               QStringLiteral("dialog-volumeCheck.png"));
    state.volumeCheck().repair();
    shots.take(shots.window().raisedDialog("volumeCheck"),
               QStringLiteral("dialog-volumeCheck-repaired.png"));
    state.volumeCheck().showWindow = false;
    settle();
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // LANG=en_US.UTF-8 renders the English screens.
    tamberlane::setUpLanguage();
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamberlane-screenshots IMAGE OUTDIR\n");
        return 2;
    }
    // The offscreen platform looks for icon themes nowhere; a desktop session looks in
    // the system's data folders, and the pictures should show what users see.
    QStringList iconFolders = QIcon::themeSearchPaths();
    for (const QString& folder :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory)) {
        if (!iconFolders.contains(folder)) {
            iconFolders << folder;
        }
    }
    QIcon::setThemeSearchPaths(iconFolders);
    // Neither the recent list nor the panel folders of the user are touched.
    QStandardPaths::setTestModeEnabled(true);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir work;
    const QString image = work.filePath(QFileInfo(QString::fromLocal8Bit(argv[1])).fileName());
    if (!QFile::copy(QString::fromLocal8Bit(argv[1]), image)) {
        std::fprintf(stderr, "tamberlane-screenshots: cannot read %s\n", argv[1]);
        return 1;
    }

    tamberlane::SynchronousExecutor executor;
    tamberlane::ui::TamberlaneApp app(executor);
    ApplicationState& state = app.state();
    Shots shots(app, out);
    app.window().resize(1200, 700);
    app.window().show();
    shots.take(&app.window(), QStringLiteral("screenshot-empty.png"));
    app.window().showAbout();
    if (auto* about = app.window().findChild<QDialog*>(QStringLiteral("about"))) {
        shots.take(about, QStringLiteral("dialog-about.png"));
        about->close();
        settle();
    }
    app.openFiles({image});
    shots.take(&app.window(), QStringLiteral("screenshot.png"));
    if (!state.image().isImageOpen) {
        std::fprintf(stderr, "tamberlane-screenshots: %s: %s\n", argv[1],
                     state.image().errorMessage.get().c_str());
        return 1;
    }

    imageDialogs(shots, state, work);
    if (state.image().isWriteProtected || state.image().isReadOnly) {
        std::fprintf(stderr, "tamberlane-screenshots: the image cannot be written; the file "
                             "dialogs and editors are left out\n");
    } else {
        fileDialogs(shots, state.browser(), work);
        editMenu(shots);
        editorWindows(shots, state);
        passingViews(shots, state);
    }
    volumeCheck(shots, app, work);
    app.openFiles({image});
    sectorEditor(shots, state);
    return shots.ok() ? 0 : 1;
}
