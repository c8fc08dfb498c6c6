#include "app/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tamberlane::ui {

void installQtTranslations() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr ||
        application->findChild<QTranslator*>(QStringLiteral("qtTranslations")) != nullptr) {
        return;
    }
    auto* translator = new QTranslator(application);
    translator->setObjectName(QStringLiteral("qtTranslations"));
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return;
    }
    QCoreApplication::installTranslator(translator);
}

} // namespace tamberlane::ui
