#include "app/state/Executor.h"

namespace tamberlane {

ThreadedExecutor::ThreadedExecutor(MainPoster postToMain)
    : poster_(std::move(postToMain)), worker_([this] { workLoop(); }) {}

ThreadedExecutor::~ThreadedExecutor() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void ThreadedExecutor::runInBackground(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void ThreadedExecutor::workLoop() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            // Work already queued still runs: a half-finished queue could leave an
            // operation that was started without its ending on the main thread.
            if (queue_.empty()) {
                return;
            }
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
    }
}

} // namespace tamberlane
