#pragma once

#include "engine/fat/DiskImage.h"
#include "engine/operations/ImageJournal.h"

#include <type_traits>
#include <utility>

namespace tamberlane {

// Whether a change touched the FAT, so its copies must be written before the save.
enum class FATWrite { no, yes };

// One all-or-nothing change to a volume: the image is marked when the transaction starts
// and put back exactly as it was unless commit() saved it, whatever ends the change (a
// DiskImageError, a cancellation, a programming error).
class VolumeTransaction {
  public:
    explicit VolumeTransaction(DiskImage& image)
        : journal_(verified(image)), start_(journal_.mark()) {}
    ~VolumeTransaction() {
        if (!committed_) {
            journal_.rollbackTo(start_);
        }
    }
    VolumeTransaction(const VolumeTransaction&) = delete;
    VolumeTransaction& operator=(const VolumeTransaction&) = delete;

    ImageJournal& journal() { return journal_; }

    // Writes the FAT copies when asked and saves the image file once.
    void commit(FATWrite fatWrite) {
        if (fatWrite == FATWrite::yes) {
            journal_.writeFAT();
        }
        journal_.image().saveToFile();
        committed_ = true;
    }
    // Puts the image back as it was at the start; the transaction stays open.
    void rollback() noexcept { journal_.rollbackTo(start_); }

  private:
    // A change to an image whose file someone else changed would be refused at the save
    // anyway; refused before it starts, nothing in memory moves either.
    static DiskImage& verified(DiskImage& image) {
        image.file().verify();
        return image;
    }

    ImageJournal journal_;
    ImageJournal::Mark start_;
    bool committed_ = false;
};

// Applies one change to a writable image and saves it, or leaves the image (in memory and
// on disk) as it was. Returns what `apply` returns.
template <typename Apply> auto changeVolume(DiskImage& image, FATWrite fatWrite, Apply&& apply) {
    image.checkWritable();
    VolumeTransaction transaction(image);
    if constexpr (std::is_void_v<decltype(apply(transaction.journal()))>) {
        std::forward<Apply>(apply)(transaction.journal());
        transaction.commit(fatWrite);
    } else {
        auto result = std::forward<Apply>(apply)(transaction.journal());
        transaction.commit(fatWrite);
        return result;
    }
}

} // namespace tamberlane
