#include "app/ui/Icons.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QStandardPaths>

namespace tamberlane::ui {

void installIconFallbacks() {
    // Some platform plugins (offscreen among them) search no system folder for themes:
    // the installed themes are added, so the same icons show wherever the window draws.
    QStringList folders = QIcon::themeSearchPaths();
    for (const QString& folder :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory)) {
        if (!folders.contains(folder)) {
            folders << folder;
        }
    }
    QIcon::setThemeSearchPaths(folders);
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

QIcon numberSquareIcon() {
    QIcon icon;
    const QColor ink = QApplication::palette().color(QPalette::WindowText);
    for (const int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal stroke = size / 12.0;
        QPen pen(ink, stroke);
        painter.setPen(pen);
        const QRectF frame(stroke, stroke, size - 2 * stroke, size - 2 * stroke);
        painter.drawRoundedRect(frame, size / 6.0, size / 6.0);
        const qreal a = size * 0.38;
        const qreal b = size * 0.62;
        const qreal from = size * 0.25;
        const qreal to = size * 0.75;
        painter.drawLine(QPointF(a, from), QPointF(a, to));
        painter.drawLine(QPointF(b, from), QPointF(b, to));
        painter.drawLine(QPointF(from, a), QPointF(to, a));
        painter.drawLine(QPointF(from, b), QPointF(to, b));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QWidget* makeLockBanner(QWidget* banner, QLabel* message) {
    banner->setAutoFillBackground(true);
    // The strip alone: on its labels and buttons the tint would be laid on twice.
    banner->setStyleSheet(QStringLiteral(".QWidget { background: rgba(230, 97, 0, 40); }"));
    auto* layout = new QHBoxLayout(banner);
    layout->setContentsMargins(8, 4, 8, 4);
    auto* lock = new QLabel;
    lock->setPixmap(themedIcon("changes-prevent", "emblem-readonly").pixmap(16, 16));
    layout->addWidget(lock);
    message->setWordWrap(true);
    layout->addWidget(message, 1);
    return banner;
}

} // namespace tamberlane::ui
