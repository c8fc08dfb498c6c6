#include "app/state/Executor.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/TamberlaneApp.h"

#include <QApplication>
#include <QIcon>

#include <clocale>
#include <optional>

int main(int argc, char** argv) {
    // System error texts (strerror) follow the user's language.
    std::setlocale(LC_ALL, "");
    QApplication application(argc, argv);
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
