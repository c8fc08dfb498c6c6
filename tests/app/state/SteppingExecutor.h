#pragma once

#include "app/state/Executor.h"

#include <deque>
#include <functional>
#include <utility>

namespace tamberlane::test {

// Background work and what it hands back to the main thread wait in one queue until the
// test lets them run, one step at a time or all at once, so a test sees the state (or the
// window) while work is under way and after a completion arrives late.
class SteppingExecutor final : public Executor {
  public:
    void postToMain(std::function<void()> task) override { queue_.push_back(std::move(task)); }
    void runInBackground(std::function<void()> task) override { queue_.push_back(std::move(task)); }

    std::size_t heldCount() const { return queue_.size(); }
    // Runs the oldest waiting step; false when none waits.
    bool step() {
        if (queue_.empty()) {
            return false;
        }
        std::function<void()> task = std::move(queue_.front());
        queue_.pop_front();
        task();
        return true;
    }
    // Runs what waits, and whatever that starts in turn.
    void runHeld() {
        while (step()) {
        }
    }

  private:
    std::deque<std::function<void()>> queue_;
};

} // namespace tamberlane::test
