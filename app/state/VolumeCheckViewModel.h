#pragma once

#include "app/state/Executor.h"
#include "app/state/Observable.h"
#include "app/state/OperationGate.h"
#include "engine/base/DiskImageError.h"
#include "engine/base/Signal.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/VolumeCheck.h"
#include "engine/operations/UndoRedoManager.h"
#include "engine/operations/VolumeRepair.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// A repair that found none of its fixes still wanted wrote nothing: it takes no undo step.
inline bool changedNothing(const VolumeRepairResult& result) {
    return result.fixed.empty();
}

// One problem as the window lists it.
struct ListedProblem {
    // Its place in the check's list: what setChosen names.
    std::size_t index = 0;
    std::vector<std::string> paths;
    std::string message;
    // What the repair would do, or that it only reports the problem.
    std::string fix;
    bool hasFix = false;
    bool chosen = false;
    bool operator==(const ListedProblem&) const = default;
};

// The problems of one kind, under the kind's heading.
struct ProblemGroup {
    ProblemKind kind = ProblemKind::lostChain;
    std::string title;
    std::vector<ListedProblem> problems;
    bool operator==(const ProblemGroup&) const = default;
};

// The check of the open volume and the repair of the problems the user chose. It remembers
// the image it checked and repairs no other: its problems name places in that one only.
class VolumeCheckViewModel : public std::enable_shared_from_this<VolumeCheckViewModel> {
  public:
    VolumeCheckViewModel(Executor& executor, std::shared_ptr<OperationGate> gate);

    Observable<bool> showWindow{false};
    Observable<bool> isChecking{false};
    Observable<bool> isRepairing{false};
    // A check has ended on the volume as it is now; until then the list means nothing.
    Observable<bool> hasResult{false};
    Observable<std::vector<ProblemGroup>> groups;
    Observable<std::vector<std::string>> notes;
    // Why no repair may run on this image (write-protected, another refusal, ...).
    Observable<std::optional<std::string>> notRepairable;
    // A repair may start now: something is chosen, the image allows it, nothing runs.
    Observable<bool> canRepair{false};
    Observable<std::string> errorMessage;
    Observable<bool> showError{false};

    // Emitted after a repair changed the volume, so the windows list it afresh.
    Signal<>& repaired() { return repaired_; }
    // Emitted with a line that says the repair finished (a toast, not an alert).
    Signal<const std::string&>& notice() { return notice_; }

    // The image the window works on, with the history a repair adds its step to. Forgets
    // the last check.
    void bind(const std::shared_ptr<DiskImage>& image, UndoRedoManager* history);
    void reset();

    // Raises the window and checks the volume.
    void open();
    // Checks the bound volume in the background; refused while other work runs.
    void check();
    // The volume changed under the window (an undo, an import, ...): its list follows.
    void volumeChanged();

    bool isClean() const { return hasResult && result_.problems.empty(); }
    std::size_t chosenCount() const;
    // Ticks or unticks the fix of problem `index`. Where the FAT copies differ, every fix
    // is written through the agreeing copy: ticking any fix ticks that one, unticking it
    // unticks the rest.
    void setChosen(std::size_t index, bool chosen);
    // Makes the chosen fixes as one change with one undo step, then lists what is left.
    void repair();

  private:
    void take(VolumeCheckResult result);
    void publish();
    void refreshRepairable();
    void fail(std::string message);
    void finishRepair(TaskOutcome<VolumeRepairResult> outcome);

    Executor& executor_;
    std::shared_ptr<OperationGate> gate_;
    std::weak_ptr<DiskImage> image_;
    UndoRedoManager* history_ = nullptr;
    VolumeCheckResult result_;
    std::vector<bool> chosen_;
    // The volume changed while other work held the image: checked again once it ends.
    bool stale_ = false;
    // Another image was bound, or none: what was started for the last one is dropped.
    std::uint64_t generation_ = 0;
    // The repair's own end reports the volume changed; its result is already the check.
    bool announcingRepair_ = false;
    Signal<> repaired_;
    Signal<const std::string&> notice_;
    Subscription busyChanged_;
};

} // namespace tamberlane
