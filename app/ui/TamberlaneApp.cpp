#include "app/ui/TamberlaneApp.h"

#include "app/ui/Icons.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/QtTranslations.h"

#include <QFileInfo>

namespace tamberlane::ui {

TamberlaneApp::TamberlaneApp(Executor& executor) : state_(executor) {
    installIconFallbacks();
    installQtTranslations();
    window_ = std::make_unique<MainWindowView>(state_, settings_);
}

TamberlaneApp::~TamberlaneApp() = default;

void TamberlaneApp::openFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    window_->openImage(QFileInfo(paths.constFirst()).absoluteFilePath());
}

} // namespace tamberlane::ui
