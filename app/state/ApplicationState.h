#pragma once

#include "app/state/ActionEnablement.h"
#include "app/state/DiskImageViewModel.h"
#include "app/state/ErrorCoordinator.h"
#include "app/state/Executor.h"
#include "app/state/FileBrowserViewModel.h"
#include "app/state/OperationGate.h"
#include "app/state/SectorEditorViewModel.h"
#include "app/state/VolumeCheckViewModel.h"
#include "engine/operations/UndoRedoManager.h"

#include <memory>
#include <vector>

namespace tamberlane {

// The objects that live for the whole run, and the rules that tie them together: which
// image the browser works on, when the undo history ends, what the windows may offer.
class ApplicationState {
  public:
    explicit ApplicationState(Executor& executor);
    ApplicationState(const ApplicationState&) = delete;
    ApplicationState& operator=(const ApplicationState&) = delete;

    DiskImageViewModel& image() { return *image_; }
    FileBrowserViewModel& browser() { return *browser_; }
    ErrorCoordinator& errors() { return errors_; }
    UndoRedoManager& undoRedo() { return undoRedo_; }
    OperationGate& gate() { return *gate_; }
    VolumeCheckViewModel& volumeCheck() { return *volumeCheck_; }

    // The sector editor of the open image; nothing while its window is shut.
    Observable<std::shared_ptr<SectorEditorViewModel>> sectorEditorVM;
    void openSectorEditor();
    // Asks first while the editor holds unsaved bytes.
    void requestCloseSectorEditor();
    // The check of the open volume, in its window. Not while unsaved edits are open: a
    // repair would change the volume under them.
    void openVolumeCheck();
    // Whether opening or closing an image now would throw away unsaved edits, so the
    // window can ask before it does.
    bool hasUnsavedEdits() const;
    // Asks whatever runs to stop: an open, a conversion, an import, export or paste. A save
    // already under way cannot be stopped halfway; it ends on its own.
    void stopWork();

    ActionContext actionContext() const;
    ActionEnablement enablement() const { return computeActionEnablement(actionContext()); }
    // Emitted whenever anything the enablement depends on may have changed.
    Signal<>& enablementChanged() { return enablementChanged_; }

  private:
    void bindBrowser();
    void closeSectorEditor();
    void reopenAfterBootParametersChanged();
    // After every change of the volume and of the image's read-only state: what the
    // windows show and whether the editors may write follow the volume's own judgement.
    void followVolumeState();
    void refreshEditorsWritable();

    Executor& executor_;
    std::shared_ptr<OperationGate> gate_;
    std::shared_ptr<DiskImageViewModel> image_;
    std::shared_ptr<FileBrowserViewModel> browser_;
    std::shared_ptr<VolumeCheckViewModel> volumeCheck_;
    ErrorCoordinator errors_;
    UndoRedoManager undoRedo_;
    Signal<> enablementChanged_;
    std::vector<Subscription> subscriptions_;
    std::vector<Subscription> sectorEditorSubscriptions_;
    // The image being opened again after its boot parameters changed, held until the new
    // one is current: its history moves there, and the sector editor stays up.
    std::shared_ptr<DiskImage> reopening_;
};

} // namespace tamberlane
