#pragma once

#include <QIcon>
#include <QStyle>

class QLabel;
class QWidget;

namespace tamberlane::ui {

// Adwaita stands in for a desktop that sets no icon theme of its own.
void installIconFallbacks();
// The desktop theme's icon, else the style's own picture of the same thing.
QIcon themedIcon(const char* name, QStyle::StandardPixmap fallback);
// The first of two theme names that exists, else nothing (the control shows text only).
QIcon themedIcon(const char* name, const char* alternative);
// The hex viewer's symbol, a "#" in a rounded square: no theme names one.
QIcon numberSquareIcon();
// The orange strip with the lock that says a window cannot write, holding `message`.
QWidget* makeLockBanner(QWidget* banner, QLabel* message);

} // namespace tamberlane::ui
