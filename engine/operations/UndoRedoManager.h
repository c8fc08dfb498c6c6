#pragma once

#include "engine/base/Signal.h"
#include "engine/fat/DiskImage.h"
#include "engine/operations/UndoSnapshot.h"

#include <cstddef>
#include <functional>
#include <memory>
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
    // Restores the newest snapshot and saves the image file. Does nothing when the stack
    // is empty or its newest snapshot was taken from another image. When the save fails,
    // the image and both stacks are put back as they were and the error is thrown.
    void performUndo(const std::shared_ptr<DiskImage>& diskImage);
    void performRedo(const std::shared_ptr<DiskImage>& diskImage);
    // Empties both stacks (on close and on every open).
    void clear();

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
    Signal<> stacksChanged_;
};

} // namespace tamberlane
