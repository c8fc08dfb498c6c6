#include "app/state/Executor.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/TamberlaneApp.h"
#include "engine/base/Translation.h"

#include <QApplication>
#include <QIcon>

#include <optional>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // After the application, which sets the locale from the environment itself.
    tamberlane::setUpLanguage();
    QApplication::setApplicationName(QStringLiteral("Tamberlane"));
    QApplication::setOrganizationName(QStringLiteral("Tamberlane"));
    QApplication::setDesktopFileName(QStringLiteral("tamberlane"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tamberlane")));

    // Destroyed after the executor: a save still running when the window closes is
    // finished on the worker before the state it works with goes away.
    std::optional<tamberlane::ui::TamberlaneApp> app;
    tamberlane::ThreadedExecutor executor([](std::function<void()> task) {
        QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
    });
    app.emplace(executor);
    app->window().show();
    QStringList files = QApplication::arguments();
    files.removeFirst();
    app->openFiles(files);
    return QApplication::exec();
}
