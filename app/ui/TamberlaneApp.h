#pragma once

#include "app/state/ApplicationState.h"
#include "app/ui/UiSettings.h"

#include <QStringList>

#include <memory>

namespace tamberlane::ui {

class MainWindowView;

// The application: the state that lives for the whole run and its one window.
class TamberlaneApp {
  public:
    explicit TamberlaneApp(Executor& executor);
    ~TamberlaneApp();
    TamberlaneApp(const TamberlaneApp&) = delete;
    TamberlaneApp& operator=(const TamberlaneApp&) = delete;

    ApplicationState& state() { return state_; }
    MainWindowView& window() { return *window_; }

    // Files handed over by the desktop (the command line of a .desktop launch): the
    // first is opened, the others are ignored.
    void openFiles(const QStringList& paths);

  private:
    ApplicationState state_;
    UiSettings settings_;
    std::unique_ptr<MainWindowView> window_;
};

} // namespace tamberlane::ui
