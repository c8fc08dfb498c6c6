#pragma once

#include "engine/base/DiskImageError.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tamberlane {

// Where work runs. View models are used from the main thread only; long work goes to the
// background and its result comes back to the main thread. Tests use the synchronous
// executor, so every flow runs to its end inside the call that starts it.
class Executor {
  public:
    virtual ~Executor() = default;
    virtual void postToMain(std::function<void()> task) = 0;
    virtual void runInBackground(std::function<void()> task) = 0;
};

class SynchronousExecutor final : public Executor {
  public:
    void postToMain(std::function<void()> task) override { task(); }
    void runInBackground(std::function<void()> task) override { task(); }
};

// One worker thread, tasks in the order given. The front end supplies how a task reaches
// its main thread (an event-loop post).
class ThreadedExecutor final : public Executor {
  public:
    using MainPoster = std::function<void(std::function<void()>)>;
    explicit ThreadedExecutor(MainPoster postToMain);
    ~ThreadedExecutor() override;
    ThreadedExecutor(const ThreadedExecutor&) = delete;
    ThreadedExecutor& operator=(const ThreadedExecutor&) = delete;

    void postToMain(std::function<void()> task) override { poster_(std::move(task)); }
    void runInBackground(std::function<void()> task) override;

  private:
    void workLoop();

    MainPoster poster_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread worker_;
};

// The outcome of background work: a value or the engine's error. Anything else thrown is
// a programming error and is rethrown on the main thread.
template <typename R>
struct TaskOutcome {
    std::optional<R> value;
    std::optional<DiskImageError> error;
    std::exception_ptr unexpected;

    bool succeeded() const { return value.has_value(); }
};

// Runs `work` in the background and hands its outcome to `done` on the main thread.
template <typename R, typename Work, typename Done>
void runTask(Executor& executor, Work work, Done done) {
    executor.runInBackground([&executor, work = std::move(work), done = std::move(done)]() mutable {
        auto outcome = std::make_shared<TaskOutcome<R>>();
        try {
            outcome->value.emplace(work());
        } catch (const DiskImageError& error) {
            outcome->error = error;
        } catch (...) {
            outcome->unexpected = std::current_exception();
        }
        executor.postToMain([outcome, done = std::move(done)]() mutable {
            if (outcome->unexpected) {
                std::rethrow_exception(outcome->unexpected);
            }
            done(std::move(*outcome));
        });
    });
}

} // namespace tamberlane
