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
    restoreFirstChar = "";
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

std::optional<std::uint8_t>
DeletedFilesViewModel::validateRestore(const std::shared_ptr<DiskImage>& image) {
    if (!restoreTarget.get()) {
        return std::nullopt;
    }
    if (!isListedImage(image)) {
        fail(texts::noImageOpen);
        return std::nullopt;
    }
    const auto checked =
        DeletedFileRecovery::validateRestore(*restoreTarget.get(), restoreFirstChar.get(), *image);
    if (const auto* message = std::get_if<std::string>(&checked)) {
        fail(*message);
        return std::nullopt;
    }
    return std::get<std::uint8_t>(checked);
}

bool DeletedFilesViewModel::restore(const std::shared_ptr<DiskImage>& image,
                                    std::uint8_t firstByte) {
    if (!restoreTarget.get() || !isListedImage(image)) {
        fail(texts::noImageOpen);
        return false;
    }
    try {
        DeletedFileRecovery::restore(*image, directory_, *restoreTarget.get(), firstByte);
    } catch (const DiskImageError& error) {
        fail(texts::restoreFailedPrefix + error.errorDescription());
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
