#pragma once

#include "engine/base/Signal.h"
#include "engine/fat/DiskImage.h"
#include "engine/operations/UndoSnapshot.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// Whole-image undo and redo, one object for the application.
class UndoRedoManager {
  public:
    static constexpr std::size_t maxSnapshots = 10;

    // Oldest first, newest last.
    const std::vector<UndoSnapshot>& undoStack() const { return undoStack_; }
    const std::vector<UndoSnapshot>& redoStack() const { return redoStack_; }
    bool canUndo(const DiskImage& image) const;
    bool canRedo(const DiskImage& image) const;

    void saveSnapshot(const std::string& operationName,
                      const std::shared_ptr<DiskImage>& diskImage);
    // Takes back the snapshot just saved, for a change that left the image as it was (it
    // failed, or changed nothing): the stacks are again what they were before it, redo
    // steps and the oldest step included. Nothing when another step came since.
    void retractSnapshot();
    // The change went through: what was put aside for a retraction goes.
    void keepSnapshot() { putAside_.reset(); }
    // Restores the newest snapshot and saves the image file. Does nothing when the stack
    // is empty or its newest snapshot was taken from another image. When the save fails,
    // the image and both stacks are put back as they were and the error is thrown.
    void performUndo(const std::shared_ptr<DiskImage>& diskImage);
    void performRedo(const std::shared_ptr<DiskImage>& diskImage);
    // Empties both stacks (on close and on every open).
    void clear();
    // The same file opened again (after its boot parameters changed): what was taken from
    // `from` belongs to `to` from now on, so the change that made the reopen necessary can
    // still be taken back.
    void moveHistory(const DiskImage& from, const std::shared_ptr<DiskImage>& to);

    // Emitted after every change of either stack.
    Signal<>& stacksChanged() { return stacksChanged_; }

  private:
    static UndoSnapshot capture(const std::string& operationName,
                                const std::shared_ptr<DiskImage>& image);
    void move(std::vector<UndoSnapshot>& source, std::vector<UndoSnapshot>& target,
              const std::shared_ptr<DiskImage>& diskImage);
    void notify() const;

    std::vector<UndoSnapshot> undoStack_;
    std::vector<UndoSnapshot> redoStack_;
    // What the newest saveSnapshot put aside, while it may still be retracted.
    struct PutAside {
        std::vector<UndoSnapshot> redoStack;
        std::optional<UndoSnapshot> oldest;
    };
    std::optional<PutAside> putAside_;
    Signal<> stacksChanged_;
};

} // namespace tamberlane
