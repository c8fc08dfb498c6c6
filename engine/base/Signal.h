#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tamberlane {

// Ends a subscription when destroyed (or when reset), so a view that goes away can never
// be called again. Outliving the signal is harmless.
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
    Subscription(Subscription&& other) noexcept : disconnect_(std::exchange(other.disconnect_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            disconnect_ = std::exchange(other.disconnect_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (disconnect_) {
            std::exchange(disconnect_, {})();
        }
    }

  private:
    std::function<void()> disconnect_;
};

// A list of subscribers called in the order they subscribed. Not thread-safe: every
// subscriber is called on the thread that emits, which for observable state is the
// main thread. A subscriber may unsubscribe itself or others while being called.
template <typename... Args>
class Signal {
  public:
    using Slot = std::function<void(Args...)>;

    Signal() : state_(std::make_shared<State>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Subscription subscribe(Slot slot) {
        const std::uint64_t id = ++state_->nextId;
        state_->slots.push_back({id, std::make_shared<Slot>(std::move(slot))});
        std::weak_ptr<State> weak = state_;
        return Subscription([weak, id] {
            if (const auto state = weak.lock()) {
                std::erase_if(state->slots, [id](const Entry& e) { return e.id == id; });
            }
        });
    }

    void emit(Args... args) const {
        // A copy, so that subscribing or unsubscribing from inside a slot is safe; a slot
        // removed meanwhile is skipped.
        const std::vector<Entry> slots = state_->slots;
        for (const Entry& entry : slots) {
            const bool stillThere =
                std::any_of(state_->slots.begin(), state_->slots.end(),
                            [&entry](const Entry& e) { return e.id == entry.id; });
            if (stillThere) {
                (*entry.slot)(args...);
            }
        }
    }

    std::size_t subscriberCount() const { return state_->slots.size(); }

  private:
    struct Entry {
        std::uint64_t id;
        std::shared_ptr<Slot> slot;
    };
    struct State {
        std::uint64_t nextId = 0;
        std::vector<Entry> slots;
    };
    std::shared_ptr<State> state_;
};

} // namespace tamberlane
