#pragma once

#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QString>

class QLabel;

namespace tamberlane::ui {

// The small pieces the main window's panels are built from.
QFrame* separatorLine(QFrame::Shape shape);
QLabel* symbolLabel(const QIcon& icon, int size);
// The secondary, smaller font of captions and the status bar.
QFont captionFont(const QFont& base);

} // namespace tamberlane::ui
