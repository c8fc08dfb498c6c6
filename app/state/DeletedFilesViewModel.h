#pragma once

#include "app/state/Observable.h"
#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/LongNamePolicy.h"
#include "engine/operations/DeletedFileRecovery.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// The deleted entries of one directory and the restore of one of them. It remembers the
// image it listed, and writes into no other: its slot locations mean nothing elsewhere.
class DeletedFilesViewModel {
  public:
    Observable<std::vector<DeletedFileEntry>, false> deletedEntries;
    Observable<bool> showRestoreDialog{false};
    Observable<std::optional<DeletedFileEntry>, false> restoreTarget;
    Observable<std::string> restoreFirstChar;
    Observable<std::string> errorMessage;
    Observable<bool> showError{false};
    Observable<bool> showSuccess{false};

    void loadDeletedEntries(const DiskPath& path, const std::shared_ptr<DiskImage>& image);
    // Whether a restore brings recovered long names back (not with `never`).
    void setLongNamePolicy(LongNamePolicy policy) { longNamePolicy_ = policy; }
    LongNamePolicy longNamePolicy() const { return longNamePolicy_; }
    // Offers the first character the long name told, where the policy uses it.
    void requestRestore(const DeletedFileEntry& entry);
    void cancelRestore();
    // What a restore writes, fixed when it starts.
    struct RestoreRequest {
        DiskPath directory;
        DeletedFileEntry target;
        std::uint8_t firstByte = 0;
        LongNamePolicy longNamePolicy = LongNamePolicy::automatic;
    };
    // Checks the dialog's input against `image`; what to write, or nothing after setting
    // the error.
    std::optional<RestoreRequest> prepareRestore(const std::shared_ptr<DiskImage>& image);
    // Writes the request into `image` and saves it; may run in the background.
    static void restore(DiskImage& image, const RestoreRequest& request);
    // The restore has ended, failed with `error` or not: false after setting the error.
    bool finishRestore(const std::optional<DiskImageError>& error);
    // Forgets the image and the list (another image was bound, or none).
    void reset();

    const DiskPath& directory() const { return directory_; }

  private:
    void fail(std::string message);
    bool isListedImage(const std::shared_ptr<DiskImage>& image) const;

    DiskPath directory_;
    std::weak_ptr<DiskImage> image_;
    LongNamePolicy longNamePolicy_ = LongNamePolicy::automatic;
};

} // namespace tamberlane
