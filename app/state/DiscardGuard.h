#pragma once

#include "app/state/Observable.h"

#include <functional>
#include <utility>

namespace tamberlane {

// Stands between unsaved edits and whatever would throw them away (closing the window,
// going to another sector): that step runs at once when nothing would be lost, and only
// after the user agreed otherwise.
class DiscardGuard {
  public:
    Observable<bool> showDiscardConfirmation{false};

    void request(bool hasUnsavedEdits, std::function<void()> proceed) {
        if (!hasUnsavedEdits) {
            pending_ = nullptr;
            showDiscardConfirmation = false;
            proceed();
            return;
        }
        pending_ = std::move(proceed);
        showDiscardConfirmation = true;
    }
    void confirm() {
        showDiscardConfirmation = false;
        if (auto proceed = std::exchange(pending_, nullptr)) {
            proceed();
        }
    }
    void cancel() {
        showDiscardConfirmation = false;
        pending_ = nullptr;
    }

  private:
    std::function<void()> pending_;
};

} // namespace tamberlane
