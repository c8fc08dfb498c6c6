#include "app/state/ActionEnablement.h"

namespace tamberlane {

ActionEnablement computeActionEnablement(const ActionContext& c) {
    ActionEnablement e;
    // While anything runs on the image, nothing else may touch it: not even an open,
    // which would replace the image under the running work.
    const bool idle = !c.isBusy;
    const bool viewable = idle && c.isImageOpen;
    const bool writable = viewable && !c.isWriteProtected && !c.isReadOnly;
    const bool oneFile = c.selectionCount == 1 && !c.selectionHasDirectory;

    e.set(Action::open, idle);
    e.set(Action::newImage, idle);
    e.set(Action::close, viewable);
    e.set(Action::convert, viewable);
    e.set(Action::imageInfo, viewable);
    e.set(Action::sectorEditor, viewable);
    e.set(Action::reload, viewable);
    e.set(Action::navigate, viewable);
    e.set(Action::navigateUp, viewable && !c.isAtRoot);
    e.set(Action::selectAll, viewable && c.entryCount > 0);
    e.set(Action::exportFiles, viewable && c.selectionCount > 0);
    e.set(Action::copy, viewable && c.selectionCount > 0);
    e.set(Action::textEditor, viewable && oneFile);
    e.set(Action::hexViewer, viewable && oneFile);
    // Listing deleted entries only reads; the restore itself refuses a protected image.
    e.set(Action::restore, viewable);
    e.set(Action::checkVolume, viewable);

    e.set(Action::restoreEntry, writable);
    e.set(Action::importFiles, writable);
    e.set(Action::newDirectory, writable);
    e.set(Action::deleteEntries, writable && c.selectionCount > 0);
    e.set(Action::cut, writable && c.selectionCount > 0);
    e.set(Action::rename, writable && c.selectionCount == 1);
    e.set(Action::paste, writable && c.clipboardHasEntries);
    e.set(Action::undo, writable && c.canUndo);
    e.set(Action::redo, writable && c.canRedo);
    return e;
}

} // namespace tamberlane
