#include "app/ui/AboutWindow.h"

#include "app/state/StateTexts.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "engine/base/Version.h"

#include <QApplication>
#include <QLabel>

#include <gnu/libc-version.h>
#include <unicode/uversion.h>

namespace tamberlane::ui {

namespace {

QString icuVersion() {
    UVersionInfo version;
    u_getVersion(version);
    char shown[U_MAX_VERSION_STRING_LENGTH];
    u_versionToString(version, shown);
    return QString::fromLatin1(shown);
}

QLabel* selectableLabel(const QString& shown) {
    auto* label = new QLabel(shown);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

BoundDialog* makeAbout(QWidget* parent) {
    auto* dialog = new BoundDialog(parent, text(texts::aboutAction), 380);
    auto* name = new QLabel(text(tamberlane::texts::programTitle));
    QFont large = name->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.5);
    name->setFont(large);
    dialog->content()->addWidget(name);
    QLabel* version =
        selectableLabel(text(texts::aboutVersionFormat).arg(QString::fromUtf8(programVersion())));
    version->setObjectName(QStringLiteral("aboutVersion"));
    dialog->content()->addWidget(version);
    auto* description = new QLabel(text(texts::aboutDescription));
    description->setWordWrap(true);
    dialog->content()->addWidget(description);
    dialog->content()->addSpacing(8);
    dialog->content()->addWidget(new QLabel(text(texts::aboutLibrariesHeading)));
    const QString libraries[] = {
        QString::fromUtf8(texts::aboutQtFormat).arg(QString::fromLatin1(qVersion())),
        QString::fromUtf8(texts::aboutICUFormat).arg(icuVersion()),
        text(texts::aboutLibcFormat).arg(QString::fromLatin1(gnu_get_libc_version())),
    };
    for (const QString& library : libraries) {
        QLabel* row = selectableLabel(QStringLiteral("    ") + library);
        row->setObjectName(QStringLiteral("aboutLibrary"));
        dialog->content()->addWidget(row);
    }
    dialog->addCancelButton(text(texts::closeButton))->setDefault(true);
    return dialog;
}

} // namespace tamberlane::ui
