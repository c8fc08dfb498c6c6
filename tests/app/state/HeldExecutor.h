#pragma once

#include "app/state/Executor.h"

#include <deque>
#include <functional>
#include <utility>

namespace tamberlane::test {

// Background work waits until the test lets it run, so the test sees the state (or the
// window) while the work is under way; its ending then runs at once, as on the main thread.
class HeldExecutor final : public Executor {
  public:
    void postToMain(std::function<void()> task) override { task(); }
    void runInBackground(std::function<void()> task) override { held_.push_back(std::move(task)); }

    std::size_t heldCount() const { return held_.size(); }
    // Runs what is held, and whatever that starts in turn.
    void runHeld() {
        while (!held_.empty()) {
            std::function<void()> task = std::move(held_.front());
            held_.pop_front();
            task();
        }
    }

  private:
    std::deque<std::function<void()>> held_;
};

} // namespace tamberlane::test
