#pragma once

class QWidget;

namespace tamberlane {
class FileBrowserViewModel;
}

namespace tamberlane::ui {

class BoundDialog;

// The browser's questions. Each button calls the browser, which lowers the flag that
// raised the dialog; a rejected dialog is answered by the window's dismissal.
BoundDialog* makeDeleteConfirmation(QWidget* parent, FileBrowserViewModel& browser);
BoundDialog* makeImportClash(QWidget* parent, FileBrowserViewModel& browser);
BoundDialog* makeExportClash(QWidget* parent, FileBrowserViewModel& browser);
BoundDialog* makeNewDirectory(QWidget* parent, FileBrowserViewModel& browser);
BoundDialog* makeRename(QWidget* parent, FileBrowserViewModel& browser);

} // namespace tamberlane::ui
