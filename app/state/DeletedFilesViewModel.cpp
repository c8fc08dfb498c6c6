#include "app/state/DeletedFilesViewModel.h"

#include "app/state/StateTexts.h"

namespace tamberlane {

void DeletedFilesViewModel::loadDeletedEntries(const DiskPath& path,
                                               const std::shared_ptr<DiskImage>& image) {
    directory_ = path;
    image_ = image;
    deletedEntries = image ? DeletedFileRecovery::listDeletedEntries(*image, path)
                           : std::vector<DeletedFileEntry>{};
}

void DeletedFilesViewModel::requestRestore(const DeletedFileEntry& entry) {
    restoreTarget = entry;
    restoreFirstChar = longNamePolicy_ == LongNamePolicy::never
                           ? std::string()
                           : DeletedFileRecovery::recoveredFirstCharacter(entry);
    showSuccess = false;
    showRestoreDialog = true;
}

void DeletedFilesViewModel::cancelRestore() {
    showRestoreDialog = false;
    restoreTarget = std::nullopt;
}

void DeletedFilesViewModel::fail(std::string message) {
    errorMessage = std::move(message);
    showError = true;
}

bool DeletedFilesViewModel::isListedImage(const std::shared_ptr<DiskImage>& image) const {
    return image && image_.lock() == image;
}

std::optional<DeletedFilesViewModel::RestoreRequest>
DeletedFilesViewModel::prepareRestore(const std::shared_ptr<DiskImage>& image) {
    if (!restoreTarget.get()) {
        return std::nullopt;
    }
    if (!isListedImage(image)) {
        fail(texts::noImageOpen);
        return std::nullopt;
    }
    const auto checked = DeletedFileRecovery::validateRestore(
        *restoreTarget.get(), restoreFirstChar.get(), *image, longNamePolicy_);
    if (const auto* message = std::get_if<std::string>(&checked)) {
        fail(*message);
        return std::nullopt;
    }
    return RestoreRequest{directory_, *restoreTarget.get(), std::get<std::uint8_t>(checked),
                          longNamePolicy_};
}

void DeletedFilesViewModel::restore(DiskImage& image, const RestoreRequest& request) {
    DeletedFileRecovery::restore(image, request.directory, request.target, request.firstByte,
                                 request.longNamePolicy);
}

bool DeletedFilesViewModel::finishRestore(const std::optional<DiskImageError>& error) {
    if (error) {
        fail(texts::restoreFailed(error->errorDescription()));
        return false;
    }
    showRestoreDialog = false;
    showSuccess = true;
    return true;
}

void DeletedFilesViewModel::reset() {
    image_.reset();
    directory_ = DiskPath::root();
    deletedEntries.set({});
    showRestoreDialog = false;
    restoreTarget = std::nullopt;
    restoreFirstChar = "";
    showError = false;
    showSuccess = false;
}

} // namespace tamberlane
