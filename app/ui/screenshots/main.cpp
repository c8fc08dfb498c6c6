// Renders the main screens on one image offscreen into PNG files, so that text, icons
// and layout can be looked at without a display: tamberlane-screenshots IMAGE OUTDIR.

#include "app/state/Executor.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/SectorEditorWindow.h"
#include "app/ui/TamberlaneApp.h"
#include "app/ui/TextEditorWindow.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <functional>

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
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

// A Shift-JIS text and a program, put into the working copy so the editor windows have
// something to show whatever image was given.
std::vector<std::filesystem::path> writeSampleFiles(const QTemporaryDir& work) {
    const std::filesystem::path text = work.filePath(QStringLiteral("MEMO.TXT")).toStdString();
    const std::filesystem::path program = work.filePath(QStringLiteral("GAME.EXE")).toStdString();
    // "日本語のテキスト" and "半角ｶﾀｶﾅ" in Shift-JIS, with CR LF line ends.
    QFile textFile(QString::fromStdString(text.string()));
    if (textFile.open(QIODevice::WriteOnly)) {
        textFile.write("MEMO.TXT\r\n\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67\r\n"
                       "\x94\xbc\x8a\x70\xb6\xc0\xb6\xc5\r\n10 PRINT \"HELLO\"\r\n20 END\r\n");
    }
    QFile programFile(QString::fromStdString(program.string()));
    if (programFile.open(QIODevice::WriteOnly)) {
        QByteArray bytes("MZ\x90\x00\x03\x00\x00\x00", 8);
        for (int i = 0; i < 4096; ++i) {
            bytes.append(static_cast<char>((i * 37) & 0xFF));
        }
        programFile.write(bytes);
    }
    return {text, program};
}

QWidget* messageBox(QWidget* owner, const char* name) {
    return owner->findChild<QMessageBox*>(QString::fromLatin1(name));
}

void select(tamberlane::FileBrowserViewModel& browser, const std::string& name) {
    for (const tamberlane::FileEntry& entry : browser.entries.get()) {
        if (entry.directoryEntry.displayName() == name) {
            browser.setSelection({entry.id});
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamberlane-screenshots IMAGE OUTDIR\n");
        return 2;
    }
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
    tamberlane::ui::MainWindowView& window = app.window();
    tamberlane::ApplicationState& state = app.state();
    window.resize(1200, 700);
    window.show();
    bool ok = save(&window, out, QStringLiteral("screenshot-empty.png"));
    app.openFiles({image});
    ok = save(&window, out, QStringLiteral("screenshot.png")) && ok;

    const auto dialog = [&](const char* name, const std::function<void()>& raise,
                            const std::function<void()>& lower) {
        raise();
        ok = save(window.raisedDialog(name), out, QStringLiteral("dialog-%1.png").arg(QLatin1String(name))) && ok;
        lower();
        settle();
    };
    auto& image_ = state.image();
    auto& browser = state.browser();
    dialog("diskInfo", [&] { image_.showDiskInfoDialog = true; }, [&] { image_.showDiskInfoDialog = false; });
    dialog("newImage", [&] { image_.showNewImageDialog = true; }, [&] { image_.showNewImageDialog = false; });
    dialog("conversion", [&] { image_.showConvertDialog = true; }, [&] { image_.showConvertDialog = false; });
    dialog("manualParameters", [&] { image_.showManualParamsDialog = true; },
           [&] { image_.showManualParamsDialog = false; });
    dialog("newDirectory", [&] { browser.requestNewDirectory(); }, [&] { browser.showNewDirectoryDialog = false; });
    if (!browser.entries.get().empty()) {
        browser.setSelection({browser.entries.get().front().id});
        dialog("rename", [&] { browser.prepareRename(); }, [&] { browser.showRenameDialog = false; });
        browser.selectAll();
        dialog("deleteConfirmation", [&] { browser.requestDelete(); }, [&] { browser.cancelDelete(); });
    }
    dialog("deletedFiles", [&] { browser.openDeletedFiles(); }, [&] { browser.showDeletedFiles = false; });

    if (!image_.isWriteProtected && !image_.isReadOnly) {
        browser.importFiles(writeSampleFiles(work));
    }
    select(browser, "MEMO.TXT");
    browser.openTextEditor();
    if (auto* editor = qobject_cast<tamberlane::ui::TextEditorWindow*>(window.raisedDialog("textEditor"))) {
        editor->textArea()->moveCursor(QTextCursor::End);
        editor->textArea()->insertPlainText(QStringLiteral("30 REM 編集中\n"));
        ok = save(editor, out, QStringLiteral("window-textEditor.png")) && ok;
        browser.requestCloseTextEditor();
        ok = save(messageBox(editor, "discardQuestion"), out, QStringLiteral("alert-discard.png")) && ok;
        if (QWidget* question = messageBox(editor, "discardQuestion")) {
            for (QPushButton* button : question->findChildren<QPushButton*>()) {
                if (button->text() == QString::fromUtf8("破棄")) {
                    button->click();
                }
            }
        }
        settle();
    }
    select(browser, "GAME.EXE");
    browser.openTextEditor();
    ok = save(messageBox(&window, "binaryAlert"), out, QStringLiteral("alert-binary.png")) && ok;
    browser.openHexViewer();
    ok = save(window.raisedDialog("hexViewer"), out, QStringLiteral("window-hexViewer.png")) && ok;
    browser.closeHexViewer();
    settle();

    state.openSectorEditor();
    if (auto* sector = qobject_cast<tamberlane::ui::SectorEditorWindow*>(window.raisedDialog("sectorEditor"))) {
        state.sectorEditorVM.get()->setCursor(6);
        for (const char typed : {'4', 'E'}) {
            QKeyEvent press(QEvent::KeyPress, typed, Qt::NoModifier, QString(QLatin1Char(typed)));
            QApplication::sendEvent(sector->dump(), &press);
        }
        ok = save(sector, out, QStringLiteral("window-sectorEditor.png")) && ok;
        state.sectorEditorVM.get()->showBPBView = true;
        ok = save(sector, out, QStringLiteral("window-sectorEditor-bpb.png")) && ok;
    }
    return ok ? 0 : 1;
}
