#pragma once

#include "app/state/BackgroundChange.h"
#include "app/state/OperationGate.h"
#include "app/state/StateTexts.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskImageService.h"
#include "engine/operations/UndoRedoManager.h"

#include <functional>
#include <memory>
#include <string>

namespace tamberlane {

// The image a window was opened on. A window may outlive its image (another image was
// opened, or this one closed): from then on it must never write, since its sector
// numbers, slots and entries mean nothing in any other image.
class ImageBinding {
  public:
    // `undoRedoManager` may be null: changes then take no undo step.
    void attach(const DiskImageService& service, UndoRedoManager* undoRedoManager) {
        service_ = &service;
        image_ = service.currentImage();
        undoRedoManager_ = undoRedoManager;
    }
    void detach() {
        service_ = nullptr;
        image_.reset();
        undoRedoManager_ = nullptr;
    }
    // The image, while it is still the one open; otherwise nothing.
    std::shared_ptr<DiskImage> image() const {
        std::shared_ptr<DiskImage> image = image_.lock();
        if (!service_ || !image || service_->currentImage() != image) {
            return nullptr;
        }
        return image;
    }

    // Starts a change of the image: the gate taken. Nothing when another operation runs,
    // or, after telling `refuse`, when the image is no longer the one open. The caller
    // goes on with runChange.
    std::shared_ptr<DiskImage> beginChange(OperationGate& gate,
                                           const std::function<void(std::string)>& refuse) const {
        std::shared_ptr<DiskImage> target = image();
        if (!target) {
            refuse(texts::noImageOpen);
            return nullptr;
        }
        if (!gate.tryBegin()) {
            return nullptr;
        }
        return target;
    }
    ChangeRun changeRun(Executor& executor, std::shared_ptr<OperationGate> gate,
                        Text undoName) const {
        return ChangeRun{executor, std::move(gate), undoRedoManager_, undoName};
    }

  private:
    const DiskImageService* service_ = nullptr;
    UndoRedoManager* undoRedoManager_ = nullptr;
    std::weak_ptr<DiskImage> image_;
};

} // namespace tamberlane
