#include "app/state/VolumeCheckViewModel.h"

#include "app/state/BackgroundChange.h"
#include "app/state/StateTexts.h"

#include <algorithm>

namespace tamberlane {

namespace {

Text kindTitle(ProblemKind kind) {
    switch (kind) {
    case ProblemKind::fatCopiesDiffer:
        return texts::kindFatCopiesDiffer;
    case ProblemKind::crossLink:
        return texts::kindCrossLink;
    case ProblemKind::chainLoop:
        return texts::kindChainLoop;
    case ProblemKind::chainIntoFree:
        return texts::kindChainIntoFree;
    case ProblemKind::chainIntoReserved:
        return texts::kindChainIntoReserved;
    case ProblemKind::chainOutOfRange:
        return texts::kindChainOutOfRange;
    case ProblemKind::chainLongerThanSize:
        return texts::kindChainLongerThanSize;
    case ProblemKind::chainShorterThanSize:
        return texts::kindChainShorterThanSize;
    case ProblemKind::lostChain:
        return texts::kindLostChain;
    case ProblemKind::invalidName:
        return texts::kindInvalidName;
    case ProblemKind::invalidAttributes:
        return texts::kindInvalidAttributes;
    case ProblemKind::invalidStartCluster:
        return texts::kindInvalidStartCluster;
    case ProblemKind::duplicateName:
        return texts::kindDuplicateName;
    case ProblemKind::entryAfterEnd:
        return texts::kindEntryAfterEnd;
    case ProblemKind::badDotEntry:
        return texts::kindBadDotEntry;
    case ProblemKind::badDotDotEntry:
        return texts::kindBadDotDotEntry;
    case ProblemKind::directoryCycle:
        return texts::kindDirectoryCycle;
    case ProblemKind::orphanLongName:
        return texts::kindOrphanLongName;
    case ProblemKind::longNameChecksum:
        return texts::kindLongNameChecksum;
    case ProblemKind::bootSectorMismatch:
        return texts::kindBootSectorMismatch;
    case ProblemKind::sectorMissing:
        return texts::kindSectorMissing;
    case ProblemKind::sectorAliased:
        return texts::kindSectorAliased;
    case ProblemKind::badSector:
        return texts::kindBadSector;
    }
    return texts::kindLostChain;
}

bool isFatCopyFix(const VolumeProblem& problem) {
    return problem.fix == FixKind::writeAgreeingFatCopy;
}

} // namespace

VolumeCheckViewModel::VolumeCheckViewModel(Executor& executor, std::shared_ptr<OperationGate> gate)
    : executor_(executor), gate_(std::move(gate)) {
    busyChanged_ = gate_->isBusy.subscribe([this] {
        refreshRepairable();
        // A change that came while other work held the image is looked at once it ends;
        // from the main loop, not from inside the gate's own notice.
        if (!gate_->isBusy && stale_ && showWindow) {
            executor_.postToMain([weak = weak_from_this()] {
                if (const auto self = weak.lock(); self && self->stale_ && self->showWindow) {
                    self->check();
                }
            });
        }
    });
}

void VolumeCheckViewModel::bind(const std::shared_ptr<DiskImage>& image, UndoRedoManager* history) {
    reset();
    image_ = image;
    history_ = history;
}

void VolumeCheckViewModel::reset() {
    ++generation_;
    image_.reset();
    history_ = nullptr;
    result_ = {};
    chosen_.clear();
    stale_ = false;
    showWindow = false;
    isChecking = false;
    isRepairing = false;
    hasResult = false;
    showError = false;
    publish();
}

void VolumeCheckViewModel::open() {
    if (image_.expired()) {
        return;
    }
    showWindow = true;
    check();
}

void VolumeCheckViewModel::check() {
    const std::shared_ptr<DiskImage> image = image_.lock();
    if (!image) {
        return;
    }
    if (!gate_->tryBegin()) {
        stale_ = true;
        hasResult = false;
        refreshRepairable();
        return;
    }
    stale_ = false;
    isChecking = true;
    hasResult = false;
    refreshRepairable();
    runTask<VolumeCheckResult>(
        executor_, [image] { return checkVolume(*image); },
        [weak = weak_from_this(), gate = gate_,
         generation = generation_](TaskOutcome<VolumeCheckResult> outcome) {
            gate->end();
            const auto self = weak.lock();
            if (!self || self->generation_ != generation) {
                return;
            }
            self->isChecking = false;
            if (!outcome.succeeded()) {
                self->fail(texts::checkFailed(outcome.error->errorDescription()));
                self->refreshRepairable();
                return;
            }
            self->take(std::move(*outcome.value));
        });
}

void VolumeCheckViewModel::take(VolumeCheckResult result) {
    result_ = std::move(result);
    // Every fix is proposed; the user leaves out what they will not have.
    chosen_.assign(result_.problems.size(), false);
    for (std::size_t i = 0; i < result_.problems.size(); ++i) {
        chosen_[i] = result_.problems[i].fix != FixKind::none;
    }
    hasResult = true;
    publish();
}

void VolumeCheckViewModel::volumeChanged() {
    if (announcingRepair_ || image_.expired()) {
        return;
    }
    // The problems name clusters and slots of the volume as it was: never repair from them.
    if (!showWindow) {
        result_ = {};
        chosen_.clear();
        hasResult = false;
        publish();
        return;
    }
    check();
}

std::size_t VolumeCheckViewModel::chosenCount() const {
    return static_cast<std::size_t>(std::count(chosen_.begin(), chosen_.end(), true));
}

void VolumeCheckViewModel::setChosen(std::size_t index, bool chosen) {
    if (index >= result_.problems.size() || result_.problems[index].fix == FixKind::none ||
        isRepairing) {
        return;
    }
    chosen_[index] = chosen;
    const bool fatCopy = isFatCopyFix(result_.problems[index]);
    if (chosen && !fatCopy) {
        std::vector<VolumeProblem> picked;
        for (std::size_t i = 0; i < chosen_.size(); ++i) {
            if (chosen_[i]) {
                picked.push_back(result_.problems[i]);
            }
        }
        for (const VolumeProblem& required : withRequiredFixes(result_, std::move(picked))) {
            const auto found =
                std::find(result_.problems.begin(), result_.problems.end(), required);
            if (found != result_.problems.end()) {
                chosen_[static_cast<std::size_t>(found - result_.problems.begin())] = true;
            }
        }
    } else if (!chosen && fatCopy) {
        // Nothing else can be written past copies that differ.
        std::fill(chosen_.begin(), chosen_.end(), false);
    }
    publish();
}

void VolumeCheckViewModel::repair() {
    const std::shared_ptr<DiskImage> image = image_.lock();
    if (!image || !canRepair) {
        return;
    }
    if (!gate_->tryBegin()) {
        return;
    }
    std::vector<VolumeProblem> picked;
    for (std::size_t i = 0; i < chosen_.size(); ++i) {
        if (chosen_[i]) {
            picked.push_back(result_.problems[i]);
        }
    }
    picked = withRequiredFixes(result_, std::move(picked));
    isRepairing = true;
    refreshRepairable();
    runChange<VolumeRepairResult>(
        ChangeRun{executor_, gate_, history_, texts::undoRepair}, image,
        [image, picked] { return repairVolume(*image, picked); },
        [weak = weak_from_this(),
         generation = generation_](TaskOutcome<VolumeRepairResult> outcome) {
            const auto self = weak.lock();
            if (self && self->generation_ == generation) {
                self->finishRepair(std::move(outcome));
            }
        });
}

void VolumeCheckViewModel::finishRepair(TaskOutcome<VolumeRepairResult> outcome) {
    isRepairing = false;
    if (!outcome.succeeded()) {
        fail(texts::repairFailed(outcome.error->errorDescription()));
        refreshRepairable();
        return;
    }
    const std::size_t fixed = outcome.value->fixed.size();
    take(std::move(outcome.value->after));
    if (fixed == 0) {
        return;
    }
    announcingRepair_ = true;
    repaired_.emit();
    announcingRepair_ = false;
    // The volume may have become writable: what the window offers follows.
    refreshRepairable();
    notice_.emit(texts::repairDone(static_cast<std::int64_t>(fixed)));
}

void VolumeCheckViewModel::fail(std::string message) {
    errorMessage = std::move(message);
    showError = true;
}

void VolumeCheckViewModel::publish() {
    std::vector<ProblemGroup> grouped;
    for (std::size_t i = 0; i < result_.problems.size(); ++i) {
        const VolumeProblem& problem = result_.problems[i];
        auto group = std::find_if(grouped.begin(), grouped.end(),
                                  [&](const ProblemGroup& g) { return g.kind == problem.kind; });
        if (group == grouped.end()) {
            grouped.push_back(ProblemGroup{problem.kind, kindTitle(problem.kind).str(), {}});
            group = std::prev(grouped.end());
        }
        group->problems.push_back(ListedProblem{i, problem.paths, describeProblem(problem),
                                                describeFix(problem), problem.fix != FixKind::none,
                                                chosen_[i]});
    }
    groups = std::move(grouped);
    std::vector<std::string> lines;
    for (const VolumeNote& note : result_.notes) {
        lines.push_back(note.text.str());
    }
    notes = std::move(lines);
    refreshRepairable();
}

void VolumeCheckViewModel::refreshRepairable() {
    const std::shared_ptr<DiskImage> image = image_.lock();
    // The judgement reads the volume, which the running work may be writing.
    if (gate_->isBusy) {
        canRepair = false;
        return;
    }
    std::optional<std::string> reason;
    if (image) {
        if (std::optional<DiskImageError> refusal = image->whyNotRepairable()) {
            reason = refusal->errorDescription();
        }
    }
    notRepairable = std::move(reason);
    canRepair = image && hasResult && !notRepairable.get() && chosenCount() > 0;
}

} // namespace tamberlane
