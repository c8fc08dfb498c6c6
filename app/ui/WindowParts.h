#pragma once

#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QString>

class QBoxLayout;

class QLabel;

namespace tamberlane::ui {

// The small pieces the main window's panels are built from.
QFrame* separatorLine(QFrame::Shape shape);
QLabel* symbolLabel(const QIcon& icon, int size);
// The secondary, smaller font of captions and the status bar.
QFont captionFont(const QFont& base);
// A window's bold title on the left of `layout`'s new row and, on the right, the label it
// returns, for a count the window keeps up to date.
QLabel* addTitleRow(QBoxLayout* layout, const QString& title);

} // namespace tamberlane::ui
