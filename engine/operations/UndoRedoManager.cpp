#include "engine/operations/UndoRedoManager.h"

namespace tamberlane {

UndoSnapshot UndoRedoManager::capture(const std::string& operationName,
                                      const std::shared_ptr<DiskImage>& image) {
    return UndoSnapshot{operationName, image->fatTable(), image->data(),
                        image->layout().originalFileData, image};
}

bool UndoRedoManager::canUndo(const DiskImage& image) const {
    return !undoStack_.empty() && undoStack_.back().belongsTo(image);
}

bool UndoRedoManager::canRedo(const DiskImage& image) const {
    return !redoStack_.empty() && redoStack_.back().belongsTo(image);
}

void UndoRedoManager::saveSnapshot(const std::string& operationName,
                                   const std::shared_ptr<DiskImage>& diskImage) {
    if (!diskImage) {
        return;
    }
    PutAside aside{std::move(redoStack_), std::nullopt};
    redoStack_.clear();
    undoStack_.push_back(capture(operationName, diskImage));
    if (undoStack_.size() > maxSnapshots) {
        aside.oldest = std::move(undoStack_.front());
        undoStack_.erase(undoStack_.begin());
    }
    putAside_ = std::move(aside);
    notify();
}

void UndoRedoManager::retractSnapshot() {
    if (!putAside_ || undoStack_.empty()) {
        return;
    }
    undoStack_.pop_back();
    if (putAside_->oldest) {
        undoStack_.insert(undoStack_.begin(), std::move(*putAside_->oldest));
    }
    redoStack_ = std::move(putAside_->redoStack);
    putAside_.reset();
    notify();
}

void UndoRedoManager::performUndo(const std::shared_ptr<DiskImage>& diskImage) {
    move(undoStack_, redoStack_, diskImage);
}

void UndoRedoManager::performRedo(const std::shared_ptr<DiskImage>& diskImage) {
    move(redoStack_, undoStack_, diskImage);
}

void UndoRedoManager::move(std::vector<UndoSnapshot>& source, std::vector<UndoSnapshot>& target,
                           const std::shared_ptr<DiskImage>& diskImage) {
    if (!diskImage || source.empty() || !source.back().belongsTo(*diskImage)) {
        return;
    }
    DiskImage& image = *diskImage;
    // Before memory moves: a refused save would put it back, but a refusal here is certain.
    // The volume's own refusal does not count: it may be the very edit being taken back.
    image.checkFileWritable();
    image.file().verify();
    UndoSnapshot restored = std::move(source.back());
    source.pop_back();
    UndoSnapshot current = capture(restored.operationName, diskImage);
    image.fatTable() = restored.fatTable;
    image.restore(restored.imageData, restored.originalFileData);
    try {
        image.saveToFile();
    } catch (...) {
        // The file still holds the current state: memory must say the same.
        image.fatTable() = current.fatTable;
        image.restore(std::move(current.imageData), std::move(current.originalFileData));
        source.push_back(std::move(restored));
        throw;
    }
    target.push_back(std::move(current));
    putAside_.reset();
    notify();
}

void UndoRedoManager::moveHistory(const DiskImage& from, const std::shared_ptr<DiskImage>& to) {
    for (std::vector<UndoSnapshot>* stack : {&undoStack_, &redoStack_}) {
        for (UndoSnapshot& snapshot : *stack) {
            if (snapshot.belongsTo(from)) {
                snapshot.image = to;
            }
        }
    }
    notify();
}

void UndoRedoManager::clear() {
    undoStack_.clear();
    redoStack_.clear();
    putAside_.reset();
    notify();
}

void UndoRedoManager::notify() const {
    stacksChanged_.emit();
}

} // namespace tamberlane
