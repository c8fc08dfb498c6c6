#pragma once

#include <QWidget>

#include <set>
#include <string>

namespace tamberlane {
class ErrorCoordinator;
}

namespace tamberlane::ui {

class Bindings;

// The notices of the error channel, stacked over the top of the window's content; each
// goes after its lifetime.
class ToastStack final : public QWidget {
    Q_OBJECT
  public:
    ToastStack(QWidget* parent, ErrorCoordinator& errors, Bindings& bindings);

    // Lays the stack over the top of its parent, as wide as it.
    void relayout();

  private:
    void showToasts();

    ErrorCoordinator& errors_;
    std::set<std::string> scheduled_;
};

} // namespace tamberlane::ui
