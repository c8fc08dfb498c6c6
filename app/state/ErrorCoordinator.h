#pragma once

#include "app/state/Observable.h"
#include "engine/base/DiskImageError.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
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
    std::optional<DiskImageError> underlyingError;
    std::chrono::system_clock::time_point timestamp;

    static AppError make(AppErrorType type, std::string operationName, std::string message,
                         std::optional<DiskImageError> underlying = std::nullopt);

    bool operator==(const AppError& other) const { return id == other.id; }
};

// A random version-4 UUID in its usual text form.
std::string newUUID();

// The application-wide channel for errors that belong to no one screen: one alert at a
// time, a stack of toasts, and errors attached to a named place.
class ErrorCoordinator {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // A report repeated under the same key within this window shows once.
    static constexpr std::chrono::seconds repeatWindow{2};
    // How long the view keeps a toast up before calling dismissToast.
    static constexpr std::chrono::seconds toastLifetime{4};

    explicit ErrorCoordinator(Clock clock = std::chrono::system_clock::now);

    Observable<std::optional<AppError>> currentAlert;
    Observable<bool> showAlert{false};
    Observable<std::vector<AppError>> toastMessages;
    Observable<std::map<std::string, AppError>> inlineErrors;

    // Each returns false when the report was suppressed as a repeat of `key`.
    bool presentAlert(AppError error, const std::string& key = {});
    bool addToast(AppError error, const std::string& key = {});
    void dismissToast(const std::string& id);
    void setInlineError(const std::string& key, AppError error);
    void clearInlineError(const std::string& key);

  private:
    bool admit(const std::string& key);

    Clock clock_;
    std::map<std::string, std::chrono::system_clock::time_point> lastReportedErrors_;
};

} // namespace tamberlane
