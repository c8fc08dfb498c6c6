#pragma once

#include "app/state/Observable.h"

#include <functional>
#include <utility>
#include <vector>

namespace tamberlane::ui {

// The subscriptions of one view to the state it shows. Each watched value also calls its
// slot once at once, so a view built after the state changed starts out right.
class Bindings {
  public:
    template <typename T, bool compare>
    void watch(Observable<T, compare>& value, const std::function<void()>& slot) {
        subscriptions_.push_back(value.subscribe(slot));
        slot();
    }
    template <typename... Args>
    void listen(Signal<Args...>& signal, std::function<void(Args...)> slot) {
        subscriptions_.push_back(signal.subscribe(std::move(slot)));
    }
    void clear() { subscriptions_.clear(); }

  private:
    std::vector<Subscription> subscriptions_;
};

} // namespace tamberlane::ui
