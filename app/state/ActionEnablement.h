#pragma once

#include <array>
#include <cstddef>

namespace tamberlane {

enum class Action {
    open,
    close,
    newImage,
    convert,
    importFiles,
    exportFiles,
    deleteEntries,
    copy,
    cut,
    paste,
    rename,
    newDirectory,
    navigate,
    navigateUp,
    undo,
    redo,
    textEditor,
    hexViewer,
    sectorEditor,
    imageInfo,
    // Opening the deleted-files window (it only reads).
    restore,
    // Writing one of them back.
    restoreEntry,
    selectAll,
    reload,
    // Opening the volume-check window (the check only reads; the repair has its own rule).
    checkVolume,
};
inline constexpr std::size_t actionCount = static_cast<std::size_t>(Action::checkVolume) + 1;

// What the enabled state of the actions depends on, read from the observable state.
struct ActionContext {
    bool isImageOpen = false;
    bool isWriteProtected = false;
    bool isReadOnly = false;
    // Any operation on the image is running (open, import, export, paste, ...).
    bool isBusy = false;
    std::size_t selectionCount = 0;
    bool selectionHasDirectory = false;
    std::size_t entryCount = 0;
    bool clipboardHasEntries = false;
    bool isAtRoot = true;
    bool canUndo = false;
    bool canRedo = false;
};

class ActionEnablement {
  public:
    bool isEnabled(Action action) const { return enabled_[static_cast<std::size_t>(action)]; }
    void set(Action action, bool enabled) { enabled_[static_cast<std::size_t>(action)] = enabled; }
    bool operator==(const ActionEnablement&) const = default;

  private:
    std::array<bool, actionCount> enabled_{};
};

// The one place that decides which actions the windows offer.
ActionEnablement computeActionEnablement(const ActionContext& context);

} // namespace tamberlane
