#pragma once

#include "engine/base/Signal.h"

#include <concepts>
#include <functional>
#include <type_traits>
#include <utility>

namespace tamberlane {

// One piece of observable state: a value and the signal that tells its views it changed.
// Setting an equal value does not notify, so views never redraw for nothing. Types whose
// elements have no equality (a vector of records) pass `false` and notify on every set.
template <typename T, bool compareBeforeNotify = std::equality_comparable<T>>
class Observable {
  public:
    Observable() = default;
    explicit Observable(T initial) : value_(std::move(initial)) {}
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }

    void set(T value) {
        if constexpr (compareBeforeNotify) {
            if (value == value_) {
                return;
            }
        }
        value_ = std::move(value);
        changed_.emit();
    }
    Observable& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    // Changes the value in place and notifies once.
    template <typename F>
    void modify(F&& change) {
        std::forward<F>(change)(value_);
        changed_.emit();
    }

    [[nodiscard]] Subscription subscribe(std::function<void()> slot) {
        return changed_.subscribe(std::move(slot));
    }

  private:
    T value_{};
    Signal<> changed_;
};

} // namespace tamberlane
