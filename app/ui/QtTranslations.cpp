#include "app/ui/QtTranslations.h"

#include "engine/base/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tamberlane::ui {

void installQtTranslations() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return;
    }
    auto* installed = application->findChild<QTranslator*>(QStringLiteral("qtTranslations"));
    const bool japanese = currentLanguage() == Language::japanese;
    if (installed != nullptr) {
        if (japanese) {
            return;
        }
        QCoreApplication::removeTranslator(installed);
        delete installed;
        return;
    }
    if (!japanese) {
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
