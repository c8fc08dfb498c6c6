#pragma once

#include "app/state/Observable.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <string>

class QDialog;
class QWidget;

namespace tamberlane {
class ApplicationState;
}

namespace tamberlane::ui {

class Bindings;
class BoundDialog;
class UiSettings;

// Raises every dialog, secondary window and alert of the main window while the flag of
// the state that asks for it is up, and lowers the flag the way the state wants it
// lowered when the user dismisses it.
class WindowAlerts final : public QObject {
    Q_OBJECT
  public:
    WindowAlerts(QWidget& window, ApplicationState& state, UiSettings& settings,
                 Bindings& bindings);

    // The dialog a flag of the state has raised, if it is up.
    QDialog* raisedDialog(const std::string& name) const;

  private:
    using DialogFactory = std::function<BoundDialog*()>;
    // Raises the dialog while `flag` is true; a dialog closed by its cancel button or
    // Escape runs `dismiss`.
    void raiseOn(const std::string& name, Observable<bool, true>& flag, DialogFactory make,
                 std::function<void()> dismiss);
    void alertOn(Observable<bool, true>& flag, std::function<void(QWidget* parent)> show);
    void bindDialogs();
    void bindAlerts();

    QWidget& window_;
    ApplicationState& state_;
    UiSettings& settings_;
    Bindings& bindings_;
    std::map<std::string, QPointer<BoundDialog>> dialogs_;
};

} // namespace tamberlane::ui
