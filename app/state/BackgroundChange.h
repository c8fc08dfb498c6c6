#pragma once

#include "app/state/Executor.h"
#include "app/state/OperationGate.h"
#include "engine/base/Translation.h"
#include "engine/fat/DiskImage.h"
#include "engine/operations/UndoRedoManager.h"

#include <memory>
#include <type_traits>
#include <utility>

namespace tamberlane {

// Who runs a change of the volume: the gate it holds, and the history that gets its undo
// step (none for undo and redo themselves).
struct ChangeRun {
    Executor& executor;
    std::shared_ptr<OperationGate> gate;
    UndoRedoManager* history = nullptr;
    Text undoName{""};
};

// Whether an outcome left the volume as it was. A plain change did so when it failed; a
// batch tells with its own overload (changedNothing of its result).
template <typename R> bool leftVolumeUnchanged(const TaskOutcome<R>& outcome) {
    if constexpr (requires(const R& r) { changedNothing(r); }) {
        return !outcome.succeeded() || changedNothing(*outcome.value);
    } else {
        return !outcome.succeeded();
    }
}

// The one way a change of the volume runs, for every window. The caller has taken the
// gate; the undo step is saved here, `work` (the engine's change, which ends in saving the
// file) runs in the background, since a save of a large image takes seconds the window
// must not spend frozen, and on the main thread the gate opens again before `done` runs,
// even when whoever started the change is gone by then. A change that left the volume as
// it was takes its undo step back, so Undo never offers a step that does nothing and the
// redo steps survive it.
template <typename R, typename Work, typename Done>
void runChange(const ChangeRun& run, const std::shared_ptr<DiskImage>& image, Work work,
               Done done) {
    UndoRedoManager* history = run.history;
    if (history) {
        history->saveSnapshot(run.undoName.str(), image);
    }
    run.gate->savingFileName = image->layout().url.filename().string();
    runTask<R>(run.executor, std::move(work),
               [gate = run.gate, history, done = std::move(done)](TaskOutcome<R> outcome) mutable {
                   if (history && leftVolumeUnchanged(outcome)) {
                       history->retractSnapshot();
                   } else if (history) {
                       history->keepSnapshot();
                   }
                   gate->savingFileName = "";
                   gate->end();
                   done(std::move(outcome));
               });
}

} // namespace tamberlane
