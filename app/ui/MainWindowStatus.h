#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolButton;

namespace tamberlane {
class ApplicationState;
}

namespace tamberlane::ui {

class Bindings;
class MainWindowActions;

// The status bar's content: the image, the entry count, the progress of long work, the
// read-only mark, and the history buttons at the right.
class StatusPanel final : public QWidget {
    Q_OBJECT
  public:
    StatusPanel(QStatusBar* bar, ApplicationState& state, const MainWindowActions& actions,
                Bindings& bindings);

  private:
    QWidget* createProgress();
    QWidget* createHistoryButtons(const MainWindowActions& actions);
    void bind(Bindings& bindings);
    void bindProgress(Bindings& bindings);

    ApplicationState& state_;
    QLabel* statusIcon_ = nullptr;
    QLabel* statusTitle_ = nullptr;
    QLabel* statusCount_ = nullptr;
    QWidget* progressGroup_ = nullptr;
    QLabel* progressName_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* progressPercent_ = nullptr;
    QToolButton* progressCancel_ = nullptr;
    // Runs from the start of a save; the save is shown only once it has run out, so a
    // quick one does not flash.
    QTimer* saveDelay_ = nullptr;
    QWidget* statusReadOnly_ = nullptr;
    QWidget* historyButtons_ = nullptr;
};

} // namespace tamberlane::ui
