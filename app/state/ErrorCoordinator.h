#pragma once

#include "app/state/Observable.h"

#include <chrono>
#include <string>
#include <vector>

namespace tamberlane {

// `notice` is no error: work that finished and says so.
enum class AppErrorType { operation, io, validation, notice };

struct AppError {
    std::string id;
    AppErrorType type = AppErrorType::operation;
    std::string operationName;
    std::string message;

    static AppError make(AppErrorType type, std::string operationName, std::string message);

    bool operator==(const AppError& other) const { return id == other.id; }
};

// A random version-4 UUID in its usual text form.
std::string newUUID();

// The application-wide channel for what belongs to no one screen: a stack of toasts. Every
// screen's errors are its own view model's alert.
class ErrorCoordinator {
  public:
    // How long the view keeps a toast up before calling dismissToast.
    static constexpr std::chrono::seconds toastLifetime{4};

    Observable<std::vector<AppError>> toastMessages;

    void addToast(AppError error);
    void dismissToast(const std::string& id);
};

} // namespace tamberlane
