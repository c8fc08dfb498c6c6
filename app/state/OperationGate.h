#pragma once

#include "app/state/Observable.h"

namespace tamberlane {

// Shared by every view model that works on the open image: while one operation runs,
// no other may start, whichever screen asks. Main thread only.
class OperationGate {
  public:
    Observable<bool> isBusy{false};

    // False when another operation is running; the caller must not start.
    bool tryBegin() {
        if (isBusy.get()) {
            return false;
        }
        isBusy = true;
        return true;
    }
    void end() { isBusy = false; }
};

} // namespace tamberlane
