#pragma once

#include "app/state/Executor.h"
#include "app/state/OperationGate.h"
#include "engine/fat/DiskImage.h"

#include <memory>
#include <utility>

namespace tamberlane {

// Runs `work`, a change of `image` that ends in saving its file, in the background; the
// caller has taken the gate. A save of a large image takes seconds, which the window must
// not spend frozen. The gate opens again on the main thread before `done` runs, even
// when whoever started the change is gone by then.
template <typename R, typename Work, typename Done>
void runBackgroundChange(Executor& executor, std::shared_ptr<OperationGate> gate,
                         const DiskImage& image, Work work, Done done) {
    gate->savingFileName = image.layout().url.filename().string();
    runTask<R>(executor, std::move(work),
               [gate = std::move(gate), done = std::move(done)](TaskOutcome<R> outcome) mutable {
                   gate->savingFileName = "";
                   gate->end();
                   done(std::move(outcome));
               });
}

} // namespace tamberlane
