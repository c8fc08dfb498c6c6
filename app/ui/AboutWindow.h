#pragma once

class QWidget;

namespace tamberlane::ui {

class BoundDialog;

// The program's name and version, and the libraries it runs on with theirs (as loaded, not
// as built against), for a bug report.
BoundDialog* makeAbout(QWidget* parent);

} // namespace tamberlane::ui
