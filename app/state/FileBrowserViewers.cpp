#include "app/state/FileBrowserViewModel.h"

#include "app/state/StateTexts.h"

namespace tamberlane {

// Viewers and the text editor ----------------------------------------------------------

void FileBrowserViewModel::closeViewers() {
    if (textEditorVM.get()) {
        textEditorVM.get()->detach();
    }
    textEditorSaved_ = {};
    showTextEditor = false;
    showBinaryAlert = false;
    showHexViewer = false;
    textEditorVM = nullptr;
    hexViewerVM = nullptr;
}

std::optional<FileEntry> FileBrowserViewModel::firstSelectedFile() const {
    const std::vector<FileEntry> selected = selectedFileEntries();
    if (!service_ || !boundImage() || selected.empty() ||
        selected.front().directoryEntry.isDirectory()) {
        return std::nullopt;
    }
    return selected.front();
}

void FileBrowserViewModel::openTextEditor() {
    const std::optional<FileEntry> entry = firstSelectedFile();
    if (!entry || gate_->isBusy) {
        return;
    }
    const std::shared_ptr<TextEditorViewModel> current = textEditorVM.get();
    if (!hasUnsavedEdits()) {
        openTextEditorOn(*entry);
        return;
    }
    // Another file in the editor is never replaced behind the user's back.
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    current->discard.request(true, [weak, entry] {
        if (const auto self = weak.lock()) {
            self->openTextEditorOn(*entry);
        }
    });
}

void FileBrowserViewModel::openTextEditorOn(const FileEntry& entry) {
    // Also reached from the discard question, which may be answered while work runs.
    if (!service_ || !boundImage() || gate_->isBusy) {
        return;
    }
    auto editor = std::make_shared<TextEditorViewModel>(executor_, gate_);
    switch (editor->openFile(entry, *service_, undoRedoManager_)) {
    case TextEditorViewModel::OpenResult::failed:
        errorMessage = editor->errorMessage.get();
        showError = true;
        return;
    case TextEditorViewModel::OpenResult::binary:
        showBinaryAlert = true;
        return;
    case TextEditorViewModel::OpenResult::text:
        break;
    }
    if (textEditorVM.get()) {
        textEditorVM.get()->detach();
    }
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    textEditorSaved_ = editor->saved().subscribe([weak] {
        if (const auto self = weak.lock()) {
            self->afterChange();
        }
    });
    // The window is built for one editor: a new one means a new window.
    showTextEditor = false;
    textEditorVM = std::move(editor);
    showTextEditor = true;
}

void FileBrowserViewModel::openHexViewer() {
    showBinaryAlert = false;
    const std::optional<FileEntry> entry = firstSelectedFile();
    if (!entry) {
        return;
    }
    auto viewer = std::make_shared<HexViewerViewModel>();
    // A file that cannot be read is said to be so in the viewer's own window, where the
    // user asked to see it, not in the browser behind it.
    viewer->openFile(*entry, *boundImage());
    hexViewerVM = std::move(viewer);
    showHexViewer = true;
}

bool FileBrowserViewModel::hasUnsavedEdits() const {
    return showTextEditor && textEditorVM.get() && textEditorVM.get()->isModified;
}

void FileBrowserViewModel::requestCloseTextEditor() {
    const std::shared_ptr<TextEditorViewModel> editor = textEditorVM.get();
    if (!editor) {
        showTextEditor = false;
        return;
    }
    // Its end still has to refresh the list, or show why the save failed.
    if (editor->isSaving) {
        return;
    }
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    editor->discard.request(editor->isModified, [weak] {
        if (const auto self = weak.lock()) {
            self->textEditorSaved_ = {};
            self->showTextEditor = false;
            self->textEditorVM = nullptr;
        }
    });
}

void FileBrowserViewModel::closeHexViewer() {
    showHexViewer = false;
    hexViewerVM = nullptr;
}

// Deleted files -----------------------------------------------------------------------

void FileBrowserViewModel::openDeletedFiles() {
    const auto image = boundImage();
    if (!image || gate_->isBusy) {
        return;
    }
    deletedFiles_->loadDeletedEntries(currentPath.get(), image);
    showDeletedFiles = true;
}

void FileBrowserViewModel::reloadDeletedFiles() {
    if (const auto image = boundImage()) {
        deletedFiles_->loadDeletedEntries(deletedFiles_->directory(), image);
    }
}

void FileBrowserViewModel::restoreDeletedEntry() {
    const auto image = boundImage();
    if (!image || gate_->isBusy) {
        return;
    }
    std::optional<DeletedFilesViewModel::RestoreRequest> request =
        deletedFiles_->prepareRestore(image);
    if (!request || !gate_->tryBegin()) {
        return;
    }
    // A restore is a change like any other: without its own step, the next undo would
    // silently take it back along with the step before.
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    runChange<bool>(
        changeRun(texts::undoRestore), image,
        [image, request = *request] {
            DeletedFilesViewModel::restore(*image, request);
            return true;
        },
        [weak, image](TaskOutcome<bool> outcome) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            if (!self->deletedFiles_->finishRestore(outcome.error)) {
                return;
            }
            // The restored entry is no longer deleted: the window's list follows at once.
            self->deletedFiles_->loadDeletedEntries(self->deletedFiles_->directory(), image);
            self->afterChange();
        });
}

} // namespace tamberlane
