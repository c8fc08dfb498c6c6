#include "app/ui/Icons.h"

#include <QApplication>

namespace tamberlane::ui {

void installIconFallbacks() {
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    }
}

namespace {

// Recent Adwaita ships many actions only as "-symbolic" pictures.
QIcon findThemed(const QString& name) {
    for (const QString& candidate : {name, name + QStringLiteral("-symbolic")}) {
        if (QIcon::hasThemeIcon(candidate)) {
            return QIcon::fromTheme(candidate);
        }
    }
    return {};
}

} // namespace

QIcon themedIcon(const char* name, QStyle::StandardPixmap fallback) {
    const QIcon found = findThemed(QString::fromLatin1(name));
    return found.isNull() ? QApplication::style()->standardIcon(fallback) : found;
}

QIcon themedIcon(const char* name, const char* alternative) {
    const QIcon found = findThemed(QString::fromLatin1(name));
    return found.isNull() ? findThemed(QString::fromLatin1(alternative)) : found;
}

} // namespace tamberlane::ui
