#pragma once

#include "app/state/Observable.h"

#include <string>

namespace tamberlane {

// Shared by every view model that works on the open image: while one operation runs,
// no other may start, whichever screen asks. Main thread only.
class OperationGate {
  public:
    Observable<bool> isBusy{false};
    // The file of the image a change is being saved to in the background; empty otherwise.
    // A save has no measurable progress: the window names it when it takes a while.
    Observable<std::string> savingFileName;

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
