#include "app/state/ApplicationState.h"

namespace tamberlane {

ApplicationState::ApplicationState(Executor& executor)
    : executor_(executor), gate_(std::make_shared<OperationGate>()),
      image_(std::make_shared<DiskImageViewModel>(executor, gate_)),
      browser_(std::make_shared<FileBrowserViewModel>(executor, gate_)),
      volumeCheck_(std::make_shared<VolumeCheckViewModel>(executor, gate_)) {
    // Only a new current image rebinds: a failed open, or a disk choice still pending,
    // leaves the browser, its clipboard and the undo history where they are.
    subscriptions_.push_back(image_->imageReplaced().subscribe(
        [this](const std::shared_ptr<DiskImage>&) { bindBrowser(); }));
    subscriptions_.push_back(image_->imageClosed().subscribe([this] {
        closeSectorEditor();
        undoRedo_.clear();
        browser_->unbind();
        volumeCheck_->reset();
    }));
    subscriptions_.push_back(browser_->volumeChanged().subscribe([this] {
        image_->updateCapacityInfo();
        followVolumeState();
        enablementChanged_.emit();
        volumeCheck_->volumeChanged();
    }));
    // A repair is a change like any other: the list, the tree, the capacity and the
    // banner follow it the way they follow an import.
    subscriptions_.push_back(
        volumeCheck_->repaired().subscribe([this] { browser_->reloadAfterChange(); }));
    for (Signal<const std::string&>* notices :
         {&image_->notice(), &browser_->notice(), &volumeCheck_->notice()}) {
        subscriptions_.push_back(notices->subscribe([this](const std::string& line) {
            errors_.addToast(AppError::make(AppErrorType::notice, "", line));
        }));
    }
    const auto relay = [this] { enablementChanged_.emit(); };
    subscriptions_.push_back(gate_->isBusy.subscribe(relay));
    // An operation that ended on a refusal because of the file leaves the image refused;
    // the window says why at once rather than at its next look.
    subscriptions_.push_back(gate_->isBusy.subscribe([this] {
        if (!gate_->isBusy) {
            image_->checkImageFile();
        }
    }));
    subscriptions_.push_back(image_->isImageOpen.subscribe(relay));
    subscriptions_.push_back(image_->isWriteProtected.subscribe(relay));
    subscriptions_.push_back(image_->isReadOnly.subscribe(relay));
    subscriptions_.push_back(image_->isReadOnly.subscribe([this] { refreshEditorsWritable(); }));
    subscriptions_.push_back(
        image_->showSearchedVolumeQuestion.subscribe([this] { refreshEditorsWritable(); }));
    subscriptions_.push_back(browser_->selectedEntries.subscribe(relay));
    subscriptions_.push_back(browser_->entries.subscribe(relay));
    subscriptions_.push_back(browser_->clipboard.subscribe(relay));
    subscriptions_.push_back(browser_->currentPath.subscribe(relay));
    // An undo step is saved in the background, and the history tells of it there: the
    // windows hear of every change made under the gate when the gate opens.
    subscriptions_.push_back(undoRedo_.stacksChanged().subscribe([this, relay] {
        if (!gate_->isBusy) {
            relay();
        }
    }));
}

void ApplicationState::bindBrowser() {
    const std::shared_ptr<DiskImage> current = image_->diskImageService().currentImage();
    if (reopening_ && current) {
        undoRedo_.moveHistory(*reopening_, current);
    } else {
        // Snapshots of the image that was current mean nothing for this one.
        undoRedo_.clear();
    }
    browser_->bind(image_->diskImageService(), undoRedo_);
    volumeCheck_->bind(current, &undoRedo_);
    if (reopening_ && sectorEditorVM.get()) {
        sectorEditorVM.get()->reattach(image_->diskImageService(), &undoRedo_);
    } else {
        closeSectorEditor();
    }
    // An undo after the reopen may take the boot parameters back again.
    followVolumeState();
}

void ApplicationState::followVolumeState() {
    image_->refreshVolumeState();
    refreshEditorsWritable();
    const std::shared_ptr<DiskImage> current = image_->diskImageService().currentImage();
    if (!reopening_ && current && current->changeRefusal() &&
        current->changeRefusal()->reason() == DiskImageError::Reason::bootParametersChanged) {
        reopenAfterBootParametersChanged();
    }
}

void ApplicationState::refreshEditorsWritable() {
    if (const std::shared_ptr<SectorEditorViewModel> editor = sectorEditorVM.get()) {
        editor->refreshWritable();
    }
    if (const std::shared_ptr<TextEditorViewModel> editor = browser_->textEditorVM.get()) {
        editor->refreshWritable();
    }
}

void ApplicationState::openSectorEditor() {
    if (!image_->isImageOpen || gate_->isBusy || hasUnsavedEdits()) {
        return;
    }
    closeSectorEditor();
    auto editor = std::make_shared<SectorEditorViewModel>(executor_, gate_);
    editor->attach(image_->diskImageService(), &undoRedo_);
    // A save that changed the boot parameters is seen there and opens the image again.
    sectorEditorSubscriptions_.push_back(
        editor->sectorSaved().subscribe([this] { browser_->reloadAfterChange(); }));
    sectorEditorVM = std::move(editor);
    image_->showSectorEditor = true;
}

void ApplicationState::closeSectorEditor() {
    if (sectorEditorVM.get()) {
        sectorEditorVM.get()->detach();
    }
    sectorEditorSubscriptions_.clear();
    image_->showSectorEditor = false;
    sectorEditorVM = nullptr;
}

void ApplicationState::requestCloseSectorEditor() {
    const std::shared_ptr<SectorEditorViewModel> editor = sectorEditorVM.get();
    if (!editor) {
        image_->showSectorEditor = false;
        return;
    }
    // Its end still has to refresh the list, or open the image again after a change of
    // the boot parameters.
    if (editor->isSaving) {
        return;
    }
    editor->discard.request(editor->isModified, [this] { closeSectorEditor(); });
}

bool ApplicationState::hasUnsavedEdits() const {
    const std::shared_ptr<SectorEditorViewModel> editor = sectorEditorVM.get();
    return browser_->hasUnsavedEdits() || (editor && editor->isModified);
}

void ApplicationState::stopWork() {
    browser_->cancelOperation();
    image_->cancelOpen();
    image_->cancelConversion();
}

void ApplicationState::reopenAfterBootParametersChanged() {
    // The layout in memory no longer describes the volume, and the engine refuses every
    // change made through it. Only a fresh open reads the new one; should it fail, the
    // image stays current and read-only with the reason, and an undo of the edit makes it
    // writable again.
    reopening_ = image_->diskImageService().currentImage();
    const bool started = image_->reopenCurrentImage([this] { reopening_.reset(); });
    if (!started) {
        reopening_.reset();
    }
}

void ApplicationState::openVolumeCheck() {
    if (!image_->isImageOpen || gate_->isBusy || hasUnsavedEdits()) {
        return;
    }
    volumeCheck_->open();
}

ActionContext ApplicationState::actionContext() const {
    ActionContext c;
    c.isImageOpen = image_->isImageOpen;
    c.isWriteProtected = image_->isWriteProtected;
    c.isReadOnly = image_->isReadOnly;
    c.isBusy = gate_->isBusy;
    const std::vector<FileEntry> selected = browser_->selectedFileEntries();
    c.selectionCount = selected.size();
    c.selectionHasDirectory = std::any_of(selected.begin(), selected.end(), [](const FileEntry& e) {
        return e.directoryEntry.isDirectory();
    });
    c.entryCount = browser_->entries.get().size();
    c.clipboardHasEntries = !browser_->clipboard.get().empty();
    c.isAtRoot = browser_->currentPath.get().isRoot();
    // The history belongs to the running work until it ends.
    c.canUndo = !c.isBusy && browser_->canUndo();
    c.canRedo = !c.isBusy && browser_->canRedo();
    return c;
}

} // namespace tamberlane
