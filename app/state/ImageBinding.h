#pragma once

#include "engine/image/DiskImage.h"
#include "engine/image/DiskImageService.h"

#include <memory>

namespace tamberlane {

// The image a window was opened on. A window may outlive its image (another image was
// opened, or this one closed): from then on it must never write, since its sector
// numbers, slots and entries mean nothing in any other image.
class ImageBinding {
  public:
    void attach(const DiskImageService& service) {
        service_ = &service;
        image_ = service.currentImage();
    }
    void detach() {
        service_ = nullptr;
        image_.reset();
    }
    // The image, while it is still the one open; otherwise nothing.
    std::shared_ptr<DiskImage> image() const {
        std::shared_ptr<DiskImage> image = image_.lock();
        if (!service_ || !image || service_->currentImage() != image) {
            return nullptr;
        }
        return image;
    }

  private:
    const DiskImageService* service_ = nullptr;
    std::weak_ptr<DiskImage> image_;
};

} // namespace tamberlane
