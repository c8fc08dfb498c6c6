#pragma once

class QWidget;

namespace tamberlane {
class ApplicationState;
class FileBrowserViewModel;
} // namespace tamberlane

namespace tamberlane::ui {

class BoundDialog;

BoundDialog* makeDeletedFiles(QWidget* parent, ApplicationState& state);
// Asks for the lost first character of the entry the deleted-files window chose.
BoundDialog* makeRestoreFirstChar(QWidget* parent, FileBrowserViewModel& browser);

} // namespace tamberlane::ui
