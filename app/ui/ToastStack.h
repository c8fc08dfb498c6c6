#pragma once

#include <QPointer>
#include <QWidget>

#include <chrono>
#include <set>
#include <string>
#include <vector>

class QAbstractAnimation;
class QFrame;
class QGraphicsOpacityEffect;

namespace tamberlane {
class ErrorCoordinator;
struct AppError;
} // namespace tamberlane

namespace tamberlane::ui {

class Bindings;

// The notices of the error channel, stacked over the top of the window's content: each
// slides in from the top edge and fades in, and leaves the same way after its lifetime.
class ToastStack final : public QWidget {
    Q_OBJECT
  public:
    static constexpr std::chrono::milliseconds motionTime{300};
    static constexpr int topMargin = 8;
    static constexpr int spacing = 4;

    // Over the top of `area`, as a sibling: a child of a splitter would become a pane of it.
    ToastStack(QWidget* area, ErrorCoordinator& errors, Bindings& bindings);

    // Lays the stack over the top of its area, as wide as it.
    void relayout();
    // Brings every slide and fade to its end at once, as if its time had passed.
    void finishMotion();

  private:
    struct Row {
        std::string id;
        QFrame* frame;
        QGraphicsOpacityEffect* fade;
        bool leaving = false;
        QPointer<QAbstractAnimation> motion;
    };

    void showToasts();
    QFrame* makeFrame(const AppError& toast);
    void scheduleDismissal(const std::string& id);
    // Moves every staying row to its place in the stack, `entering` ones in from the top.
    void arrange(const std::set<std::string>& entering);
    void animate(Row& row, QPoint to, double opacity);
    void removeLeft(QFrame* frame);

    QWidget* area_;
    ErrorCoordinator& errors_;
    std::vector<Row> rows_;
    std::set<std::string> scheduled_;
};

} // namespace tamberlane::ui
