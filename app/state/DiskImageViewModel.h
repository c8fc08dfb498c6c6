#pragma once

#include "app/state/Executor.h"
#include "app/state/Observable.h"
#include "app/state/OperationGate.h"
#include "app/state/StateTexts.h"
#include "engine/base/Signal.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/ImageSummary.h"
#include "engine/fat/ManualParameters.h"
#include "engine/image/NewImage.h"
#include "engine/image/PartitionTable.h"
#include "engine/image/formats/D88Format.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace tamberlane {

// The state of the image open in the main window and the flows that open, create,
// convert and close one.
class DiskImageViewModel : public std::enable_shared_from_this<DiskImageViewModel> {
  public:
    DiskImageViewModel(Executor& executor, std::shared_ptr<OperationGate> gate);

    Observable<bool> isImageOpen{false};
    Observable<std::string> windowTitle{texts::programTitle};
    Observable<bool> isWriteProtected{false};
    Observable<bool> isReadOnly{false};
    Observable<std::int64_t> usedSpace{0};
    Observable<std::int64_t> freeSpace{0};
    Observable<std::int64_t> totalSpace{0};
    Observable<bool> showManualParamsDialog{false};
    Observable<bool> showNewImageDialog{false};
    Observable<bool> showDiskSelectionDialog{false};
    Observable<bool> showDiskInfoDialog{false};
    Observable<bool> showConvertDialog{false};
    Observable<bool> showSectorEditor{false};
    Observable<bool> showErrorAlert{false};
    Observable<std::string> errorMessage;
    Observable<bool> showSpecialFormatAlert{false};
    // The volume was found by searching for its boot sector: the user is asked, before any
    // change, whether it may be changed (searchedVolumeQuestion is the question).
    Observable<bool> showSearchedVolumeQuestion{false};
    std::string searchedVolumeQuestion;
    void answerSearchedVolumeQuestion(bool allowChanges);
    // The error alert is about a file another program holds: it offers openReadOnly.
    Observable<bool> canOpenReadOnly{false};
    Observable<std::vector<D88Disk>, false> d88Disks;
    // A hard disk with several FAT partitions: the user picks one, like a disk of a D88.
    Observable<bool> showPartitionSelectionDialog{false};
    Observable<std::vector<PartitionInfo>> partitions;
    Observable<ManualParameters> manualParams;
    // Why the last open with the dialog's values failed; the dialog shows it and stays up
    // with those values. Absent before a try and after a new file is chosen.
    Observable<std::optional<std::string>> manualOpenError;
    // An image is being read and parsed in the background.
    Observable<bool> isOpening{false};
    Observable<std::string> openingFileName;
    Observable<bool> isConverting{false};
    Observable<std::optional<std::string>> conversionError;
    std::optional<std::filesystem::path> pendingOpenURL;
    // The file behind the open image is no longer the one read (another program wrote it,
    // moved it away, or holds it open for writing): the message the read-only banner shows,
    // with a way to open the file again. Absent while the file is as we left it.
    Observable<std::optional<std::string>> fileProblem;
    // Why the volume itself refuses changes (damage found at the open, FAT copies made to
    // differ or boot parameters changed by a raw edit): the read-only banner's text when
    // the file is fine. Absent while the volume may be changed.
    Observable<std::optional<std::string>> volumeProblem;
    // The volume refuses changes only because of damage a repair mends (its FAT copies
    // differ), and the file may be written: the banner offers the volume check.
    Observable<bool> volumeRepairable{false};

    DiskImageService& diskImageService() { return service_; }
    const std::shared_ptr<OperationGate>& gate() const { return gate_; }

    // Emitted when another image became current (never for a failed or pending open).
    Signal<const std::shared_ptr<DiskImage>&>& imageReplaced() { return imageReplaced_; }
    // Emitted when the image was closed.
    Signal<>& imageClosed() { return imageClosed_; }
    // Emitted with a line that says a piece of work finished (a toast, not an alert).
    Signal<const std::string&>& notice() { return notice_; }

    void openDiskImage(const std::filesystem::path& url);
    void openWithManualParams(const std::filesystem::path& url);
    void openD88Disk(const std::filesystem::path& url, std::int64_t diskIndex);
    // Opens the file of the failed open again, for reading only.
    void openReadOnly();
    void openPartition(const std::filesystem::path& url, std::int64_t partitionIndex);
    // Drops a running open when it ends: nothing of it becomes current.
    void cancelOpen();
    // The dialog's "open": stores the parameters and opens the pending file with them.
    void applyManualParameters(const ManualParameters& params);
    // Builds and writes a new image in the background, then opens it. `existing` is
    // ExistingTarget::replace only when the user agreed to replace the file at `saveURL`;
    // otherwise a file found there, even one that appeared since, is refused.
    void createNewImage(const NewImageParameters& params, const std::filesystem::path& saveURL,
                        ExistingTarget existing);
    // Writes the open image in another container in the background; the open image stays.
    // `existing` as for createNewImage.
    void convertImage(ConvertFormat format, const std::filesystem::path& saveURL,
                      ExistingTarget existing);
    // Stops a running conversion before it writes anything.
    void cancelConversion();
    void closeImage();
    // Opens the current image's file again, the way it was opened (disk of a D88 file,
    // hand-entered parameters): after its boot parameters changed on disk. A failure is
    // reported as any failed open is, and the current image stays.
    // `onSettled` runs once the open has ended, however it ended; false when it could
    // not start (nothing open, or another operation running).
    bool reopenCurrentImage(std::function<void()> onSettled = {});

    // Looks at the open image's file again (the window does so while it runs, and after
    // every operation). Skipped while an operation runs: its own save moves the file on.
    void checkImageFile();
    // Whether the open image must be opened again before anything of its file can be
    // shown: a reload then offers reopenCurrentImage instead.
    bool fileNeedsReopen();

    void updateCapacityInfo();
    // Judges the open volume again after a change: a raw edit or an undo can make it
    // refuse changes, or take that refusal back.
    void refreshVolumeState();
    // Nothing while no image is open.
    std::optional<ImageSummary> imageSummary() const;
    // The containers the open image can be written in; empty while none is open.
    std::vector<ConvertFormat> conversionTargets() const;
    void resetState();
    void dismissErrorAlert() {
        showErrorAlert = false;
        canOpenReadOnly = false;
    }

  private:
    struct OpenOutcome {
        std::optional<DiskImageService::PreparedOpen> prepared;
        // Set instead when the user must choose a partition first.
        std::vector<PartitionInfo> choices;
    };
    struct OpenRequest {
        std::filesystem::path url;
        std::optional<ManualParameters> manual;
        VolumeChoice volume;
        bool readOnly = false;
    };
    using OpenFailure = std::function<void(const DiskImageError&)>;
    struct QueuedOpen {
        OpenRequest request;
        OpenFailure onError;
        std::function<void()> onOpened;
        std::function<void()> onSettled;
    };
    // Opens in the background; a success becomes current, is remembered for
    // reopenCurrentImage and announced. The callbacks run on the main thread, only
    // while this object lives. Asked while another open runs, the later request wins:
    // the running one is stopped and this one starts when it has ended.
    bool openRequest(const OpenRequest& request, OpenFailure onError,
                     std::function<void()> onOpened = {}, std::function<void()> onSettled = {});
    void applyImageState(const DiskImage& image);
    void handleOpenError(const DiskImageError& error, const std::filesystem::path& url);
    void showError(std::string message);

    Executor& executor_;
    std::shared_ptr<OperationGate> gate_;
    DiskImageService service_;
    Signal<const std::shared_ptr<DiskImage>&> imageReplaced_;
    Signal<> imageClosed_;
    Signal<const std::string&> notice_;
    std::stop_source conversionStop_;
    std::optional<OpenRequest> lastOpen_;
    std::optional<OpenRequest> lockedOut_;
    std::stop_source openStop_;
    std::optional<QueuedOpen> queuedOpen_;
    // An open may be asked for now: nothing runs, or only another open, which gives way.
    bool mayRequestOpen() const { return !gate_->isBusy || isOpening; }
};

} // namespace tamberlane
