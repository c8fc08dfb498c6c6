#include "app/state/DiskImageViewModel.h"

#include "engine/base/Bytes.h"
#include "engine/base/FileExtension.h"
#include "engine/fat/NewImageFile.h"
#include "engine/image/formats/FormatTable.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace tamberlane {

namespace {

// The multi-disk check only: any failure here is left for the real open to report.
std::vector<D88Disk> disksOfD88File(const std::filesystem::path& url) {
    try {
        return DiskImageService::disksOf(url);
    } catch (const DiskImageError&) {
        return {};
    }
}

bool isUnrecognisedVolume(const DiskImageError& error) {
    using Kind = DiskImageError::Kind;
    return error.kind() == Kind::invalidFileSize || error.kind() == Kind::headerParseFailure ||
           error.kind() == Kind::invalidBPB;
}

} // namespace

DiskImageViewModel::DiskImageViewModel(Executor& executor, std::shared_ptr<OperationGate> gate)
    : executor_(executor), gate_(std::move(gate)) {}

void DiskImageViewModel::showError(std::string message) {
    errorMessage = std::move(message);
    showErrorAlert = true;
}

bool DiskImageViewModel::openRequest(const OpenRequest& request, OpenFailure onError,
                                     std::function<void()> onOpened,
                                     std::function<void()> onSettled) {
    if (!gate_->tryBegin()) {
        if (!isOpening) {
            return false;
        }
        openStop_.request_stop();
        if (queuedOpen_ && queuedOpen_->onSettled) {
            queuedOpen_->onSettled();
        }
        queuedOpen_ =
            QueuedOpen{request, std::move(onError), std::move(onOpened), std::move(onSettled)};
        return true;
    }
    // Reading and parsing a large image takes a moment: it runs in the background, and
    // only making the result current happens here.
    isOpening = true;
    openingFileName = request.url.filename().string();
    openStop_ = std::stop_source();
    const std::stop_token stop = openStop_.get_token();
    const DiskImageService* service = &service_;
    std::weak_ptr<DiskImageViewModel> weak = weak_from_this();
    runTask<OpenOutcome>(
        executor_,
        [service, request] {
            OpenOutcome result;
            result.prepared =
                service->prepareOpen(request.url, request.manual, request.volume, request.readOnly);
            // A disk with several FAT partitions asks which one first (only a disk that
            // has a table pays for reading it again).
            if (!request.volume.partition && result.prepared->image->layout().partition) {
                std::vector<PartitionInfo> choices = DiskImageService::partitionsOf(request.url);
                if (choices.size() >= 2) {
                    result.prepared.reset();
                    result.choices = std::move(choices);
                }
            }
            return result;
        },
        [weak, request, stop, onError = std::move(onError), onOpened = std::move(onOpened),
         onSettled = std::move(onSettled)](TaskOutcome<OpenOutcome> outcome) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->gate_->end();
            self->isOpening = false;
            self->openingFileName = "";
            const auto settle = [&onSettled] {
                if (onSettled) {
                    onSettled();
                }
            };
            // A stopped open leaves everything as it was; its lock goes with the outcome.
            if (stop.stop_requested()) {
                settle();
                if (std::optional<QueuedOpen> next = std::exchange(self->queuedOpen_, {})) {
                    self->openRequest(next->request, std::move(next->onError),
                                      std::move(next->onOpened), std::move(next->onSettled));
                }
                return;
            }
            if (!outcome.succeeded()) {
                if (outcome.error->kind() == DiskImageError::Kind::lockConflict) {
                    self->lockedOut_ = request;
                }
                onError(*outcome.error);
                settle();
                return;
            }
            if (!outcome.value->prepared) {
                self->pendingOpenURL = request.url;
                self->partitions = std::move(outcome.value->choices);
                self->showPartitionSelectionDialog = true;
                settle();
                return;
            }
            const std::shared_ptr<DiskImage> before = self->service_.currentImage();
            const std::shared_ptr<DiskImage> opened =
                self->service_.adopt(std::move(*outcome.value->prepared));
            self->lastOpen_ = request;
            self->applyImageState(*opened);
            if (opened != before) {
                self->imageReplaced_.emit(opened);
            }
            if (onOpened) {
                onOpened();
            }
            settle();
        });
    return true;
}

void DiskImageViewModel::openPartition(const std::filesystem::path& url,
                                       std::int64_t partitionIndex) {
    showPartitionSelectionDialog = false;
    const auto count = static_cast<std::int64_t>(partitions.get().size());
    if (partitionIndex < 0 || partitionIndex >= count) {
        showError(texts::invalidDiskIndex);
        return;
    }
    openRequest({url, std::nullopt, VolumeChoice::ofPartition(static_cast<int>(partitionIndex))},
                [this, url](const DiskImageError& error) { handleOpenError(error, url); });
}

void DiskImageViewModel::openReadOnly() {
    dismissErrorAlert();
    if (!lockedOut_ || gate_->isBusy) {
        return;
    }
    OpenRequest request = *std::exchange(lockedOut_, std::nullopt);
    request.readOnly = true;
    openRequest(request, [this, url = request.url](const DiskImageError& error) {
        handleOpenError(error, url);
    });
}

void DiskImageViewModel::cancelOpen() {
    if (std::optional<QueuedOpen> queued = std::exchange(queuedOpen_, {});
        queued && queued->onSettled) {
        queued->onSettled();
    }
    openStop_.request_stop();
}

bool DiskImageViewModel::reopenCurrentImage(std::function<void()> onSettled) {
    if (!lastOpen_ || !service_.currentImage() || gate_->isBusy) {
        return false;
    }
    const OpenRequest request = *lastOpen_;
    pendingOpenURL = request.url;
    return openRequest(
        request,
        [this, url = request.url](const DiskImageError& error) { handleOpenError(error, url); }, {},
        std::move(onSettled));
}

void DiskImageViewModel::openDiskImage(const std::filesystem::path& url) {
    if (!mayRequestOpen()) {
        return;
    }
    pendingOpenURL = url;
    manualOpenError = std::nullopt;
    if (capabilitiesOfExtension(lowerExtension(url)).holdsSeveralDisks) {
        std::vector<D88Disk> disks = disksOfD88File(url);
        if (disks.size() >= 2) {
            d88Disks = std::move(disks);
            showDiskSelectionDialog = true;
            return;
        }
    }
    openRequest({url, std::nullopt, {}},
                [this, url](const DiskImageError& error) { handleOpenError(error, url); });
}

void DiskImageViewModel::openWithManualParams(const std::filesystem::path& url) {
    if (!mayRequestOpen()) {
        return;
    }
    pendingOpenURL = url;
    const ManualParameters params = manualParams.get();
    openRequest(
        {url, params, {}},
        [this, offset = params.dataOffset](const DiskImageError& error) {
            manualOpenError = texts::manualOpenFailed(offset, error.errorDescription());
            showManualParamsDialog = true;
        },
        [this] { showManualParamsDialog = false; });
}

void DiskImageViewModel::applyManualParameters(const ManualParameters& params) {
    manualParams = params;
    manualOpenError = std::nullopt;
    // With a file to open the dialog stays up until it opens, so that a failure is shown
    // in it beside the values that caused it.
    if (pendingOpenURL) {
        openWithManualParams(*pendingOpenURL);
    } else {
        showManualParamsDialog = false;
    }
}

void DiskImageViewModel::openD88Disk(const std::filesystem::path& url, std::int64_t diskIndex) {
    showDiskSelectionDialog = false;
    const auto count = static_cast<std::int64_t>(d88Disks.get().size());
    if (diskIndex < 0 || diskIndex >= count) {
        showError(texts::invalidDiskIndex);
        return;
    }
    // The chosen disk, not the first: the service opens the disk at this index.
    openRequest({url, std::nullopt, VolumeChoice::ofDisk(static_cast<int>(diskIndex))},
                [this, url](const DiskImageError& error) { handleOpenError(error, url); });
}

void DiskImageViewModel::createNewImage(const NewImageParameters& params,
                                        const std::filesystem::path& saveURL,
                                        ExistingTarget existing) {
    showNewImageDialog = false;
    // Our own lock would refuse it as held by "another program", which is no help to a
    // user who aimed at the image open in this very window.
    if (const std::shared_ptr<DiskImage> open = service_.currentImage()) {
        std::error_code ignored;
        if (std::filesystem::equivalent(open->layout().url, saveURL, ignored)) {
            showError(texts::createFailed(texts::newImageOpenHere(saveURL.filename().string())));
            return;
        }
    }
    if (!gate_->tryBegin()) {
        return;
    }
    std::weak_ptr<DiskImageViewModel> weak = weak_from_this();
    runTask<bool>(
        executor_,
        [params, saveURL, existing] {
            writeImageFile(saveURL, tamberlane::createNewImage(params), existing);
            return true;
        },
        [weak, saveURL](TaskOutcome<bool> outcome) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->gate_->end();
            if (!outcome.succeeded()) {
                self->showError(texts::createFailed(outcome.error->errorDescription()));
                return;
            }
            // Runs only while this object lives (openRequest checks), so a plain pointer.
            DiskImageViewModel* vm = self.get();
            vm->openRequest({saveURL, std::nullopt, {}}, [vm](const DiskImageError& error) {
                vm->showError(texts::createFailed(error.errorDescription()));
            });
        });
}

void DiskImageViewModel::convertImage(ConvertFormat format, const std::filesystem::path& saveURL,
                                      ExistingTarget existing) {
    const std::shared_ptr<DiskImage> image = service_.currentImage();
    if (!image || !gate_->tryBegin()) {
        return;
    }
    isConverting = true;
    conversionError = std::nullopt;
    conversionStop_ = std::stop_source();
    const std::stop_token stop = conversionStop_.get_token();
    std::weak_ptr<DiskImageViewModel> weak = weak_from_this();
    runTask<bool>(
        executor_,
        [image, format, saveURL, existing, stop] {
            return tamberlane::convertImage(*image, format, saveURL, existing, stop);
        },
        [weak, stop, saveURL](TaskOutcome<bool> outcome) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->gate_->end();
            self->isConverting = false;
            // The dialog may have been closed while the conversion ran: what happened is
            // then told in the main window, never dropped.
            if (!outcome.succeeded()) {
                std::string message = texts::convertFailed(outcome.error->errorDescription());
                if (self->showConvertDialog) {
                    self->conversionError = std::move(message);
                } else {
                    self->showError(std::move(message));
                }
                return;
            }
            if (!*outcome.value) {
                return; // stopped before it wrote anything, as asked
            }
            self->showConvertDialog = false;
            const std::string name = saveURL.filename().string();
            if (stop.stop_requested()) {
                self->showError(texts::conversionWrittenDespiteStop(name));
            } else {
                self->notice_.emit(texts::conversionDone(name));
            }
        });
}

void DiskImageViewModel::cancelConversion() {
    conversionStop_.request_stop();
}

void DiskImageViewModel::closeImage() {
    if (gate_->isBusy) {
        return;
    }
    service_.close();
    lastOpen_.reset();
    resetState();
    imageClosed_.emit();
}

void DiskImageViewModel::applyImageState(const DiskImage& image) {
    isImageOpen = true;
    windowTitle = image.layout().url.filename().string();
    isWriteProtected = image.layout().isWriteProtected;
    // A volume the engine refuses to change is offered as one opened read-only, so no
    // action starts that can only end in the refusal.
    isReadOnly = image.layout().isReadOnly || image.changeRefusal().has_value() ||
                 image.file().refusal().has_value();
    fileProblem = image.file().refusal() ? std::optional(image.file().refusal()->errorDescription())
                                         : std::nullopt;
    volumeProblem = image.changeRefusal() ? std::optional(image.changeRefusal()->errorDescription())
                                          : std::nullopt;
    volumeRepairable = image.changeRefusal().has_value() && !image.whyNotRepairable();
    updateCapacityInfo();
    // Asked once, right after the open, so no change ever starts before the answer.
    if (image.awaitsSearchConfirmation() && !image.layout().isReadOnly &&
        !image.layout().isWriteProtected && !image.changeRefusal()) {
        searchedVolumeQuestion = texts::searchedVolumeQuestion(*image.layout().searchedBootOffset);
        showSearchedVolumeQuestion = true;
    }
}

void DiskImageViewModel::answerSearchedVolumeQuestion(bool allowChanges) {
    showSearchedVolumeQuestion = false;
    const std::shared_ptr<DiskImage> image = service_.currentImage();
    if (allowChanges && image) {
        image->confirmChangesToSearchedVolume();
    } else if (image) {
        isReadOnly = true;
    }
}

void DiskImageViewModel::checkImageFile() {
    const std::shared_ptr<DiskImage> image = service_.currentImage();
    if (!image || gate_->isBusy || fileProblem.get()) {
        return;
    }
    if (const auto refusal = image->file().check(); refusal && refusal->asksToReopen()) {
        fileProblem = refusal->errorDescription();
        isReadOnly = true;
    }
}

bool DiskImageViewModel::fileNeedsReopen() {
    checkImageFile();
    return fileProblem.get().has_value();
}

void DiskImageViewModel::refreshVolumeState() {
    const std::shared_ptr<DiskImage> image = service_.currentImage();
    if (!image) {
        return;
    }
    volumeProblem = image->changeRefusal()
                        ? std::optional(image->changeRefusal()->errorDescription())
                        : std::nullopt;
    volumeRepairable = image->changeRefusal().has_value() && !image->whyNotRepairable();
    // Only the volume's own judgement moves here; a refused file and the user's "no" to a
    // searched volume keep the image read-only whatever the volume says.
    isReadOnly = image->layout().isReadOnly || image->changeRefusal().has_value() ||
                 fileProblem.get().has_value() || image->file().refusal().has_value() ||
                 (image->awaitsSearchConfirmation() && !showSearchedVolumeQuestion);
}

void DiskImageViewModel::updateCapacityInfo() {
    const std::shared_ptr<DiskImage> image = service_.currentImage();
    if (!image) {
        usedSpace = 0;
        freeSpace = 0;
        totalSpace = 0;
        return;
    }
    const VolumeCapacity capacity = image->capacity();
    usedSpace = capacity.usedBytes;
    freeSpace = capacity.freeBytes;
    totalSpace = capacity.totalBytes;
}

std::optional<ImageSummary> DiskImageViewModel::imageSummary() const {
    const std::shared_ptr<DiskImage> image = service_.currentImage();
    if (!image) {
        return std::nullopt;
    }
    return summarizeImage(*image);
}

std::vector<ConvertFormat> DiskImageViewModel::conversionTargets() const {
    const std::shared_ptr<DiskImage> image = service_.currentImage();
    return image ? availableFormats(image->layout().geometry) : std::vector<ConvertFormat>{};
}

void DiskImageViewModel::handleOpenError(const DiskImageError& error,
                                         const std::filesystem::path& url) {
    if (isUnrecognisedVolume(error)) {
        errorMessage =
            texts::specialFormatWithReason(url.filename().string(), error.errorDescription());
        showSpecialFormatAlert = true;
        return;
    }
    if (error.kind() == DiskImageError::Kind::lockConflict) {
        // The alert reads the flag when it comes up, so the flag goes first.
        canOpenReadOnly = lockedOut_.has_value();
        showError(texts::lockConflict(error.errorDescription()));
        return;
    }
    showError(texts::openFailed(error.errorDescription()));
}

void DiskImageViewModel::resetState() {
    showSearchedVolumeQuestion = false;
    isImageOpen = false;
    windowTitle = texts::programTitle;
    isWriteProtected = false;
    isReadOnly = false;
    fileProblem = std::nullopt;
    volumeProblem = std::nullopt;
    volumeRepairable = false;
    usedSpace = 0;
    freeSpace = 0;
    totalSpace = 0;
    d88Disks.set({});
    partitions.set({});
    pendingOpenURL.reset();
}

} // namespace tamberlane
