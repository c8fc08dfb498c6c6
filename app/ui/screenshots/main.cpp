// Renders the main screens on one image offscreen into PNG files, so that text, icons
// and layout can be looked at without a display: tamberlane-screenshots IMAGE OUTDIR.

#include "app/state/Executor.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/TamberlaneApp.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
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
    return ok ? 0 : 1;
}
