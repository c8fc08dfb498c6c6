#include "app/ui/ToastStack.h"

#include "app/state/ErrorCoordinator.h"
#include "app/ui/Bindings.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/WindowParts.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QTimer>

#include <algorithm>

namespace tamberlane::ui {

ToastStack::ToastStack(QWidget* area, ErrorCoordinator& errors, Bindings& bindings)
    : QWidget(area->parentWidget()), area_(area), errors_(errors) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setVisible(false);
    bindings.watch(errors.toastMessages, [this] { showToasts(); });
}

QFrame* ToastStack::makeFrame(const AppError& toast) {
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("toast"));
    frame->setStyleSheet(
        QStringLiteral("#toast { background: rgba(250, 250, 250, 230); "
                       "border: 1px solid rgba(0, 0, 0, 40); border-radius: 8px; }"));
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->addWidget(
        symbolLabel(toast.type == AppErrorType::notice
                        ? themedIcon("dialog-information", QStyle::SP_MessageBoxInformation)
                        : themedIcon("dialog-warning", QStyle::SP_MessageBoxWarning),
                    16));
    auto* message = new QLabel(fromUtf8(toast.message));
    message->setFont(captionFont(message->font()));
    layout->addWidget(message);
    frame->setAccessibleName(fromUtf8(toast.message));
    frame->adjustSize();
    return frame;
}

void ToastStack::scheduleDismissal(const std::string& id) {
    if (!scheduled_.insert(id).second) {
        return;
    }
    QTimer::singleShot(std::chrono::milliseconds(ErrorCoordinator::toastLifetime), this,
                       [this, id] {
                           scheduled_.erase(id);
                           errors_.dismissToast(id);
                       });
}

void ToastStack::showToasts() {
    const std::vector<AppError>& toasts = errors_.toastMessages.get();
    const auto listed = [&toasts](const std::string& id) {
        return std::any_of(toasts.begin(), toasts.end(),
                           [&id](const AppError& toast) { return toast.id == id; });
    };
    for (Row& row : rows_) {
        if (!row.leaving && !listed(row.id)) {
            row.leaving = true;
            animate(row, QPoint(row.frame->x(), -row.frame->height()), 0.0);
        }
    }

    // The staying rows keep their order; new ones join in the order of the list.
    std::vector<Row> staying;
    std::vector<Row> leaving;
    for (Row& row : rows_) {
        (row.leaving ? leaving : staying).push_back(row);
    }
    std::set<std::string> entering;
    std::vector<Row> ordered;
    for (const AppError& toast : toasts) {
        const auto found = std::find_if(staying.begin(), staying.end(),
                                        [&toast](const Row& row) { return row.id == toast.id; });
        if (found != staying.end()) {
            ordered.push_back(*found);
            continue;
        }
        QFrame* frame = makeFrame(toast);
        auto* fade = new QGraphicsOpacityEffect(frame);
        fade->setOpacity(0.0);
        frame->setGraphicsEffect(fade);
        frame->show();
        ordered.push_back(Row{toast.id, frame, fade, false, {}});
        entering.insert(toast.id);
        scheduleDismissal(toast.id);
    }
    ordered.insert(ordered.end(), leaving.begin(), leaving.end());
    rows_ = std::move(ordered);
    arrange(entering);
}

void ToastStack::arrange(const std::set<std::string>& entering) {
    relayout();
    int y = topMargin;
    for (Row& row : rows_) {
        if (row.leaving) {
            continue;
        }
        const QPoint place((width() - row.frame->width()) / 2, y);
        y += row.frame->height() + spacing;
        if (entering.count(row.id) != 0) {
            row.frame->move(place.x(), -row.frame->height());
            animate(row, place, 1.0);
        } else if (row.frame->pos() != place) {
            animate(row, place, row.fade->opacity());
        }
    }
}

void ToastStack::animate(Row& row, QPoint to, double opacity) {
    if (row.motion) {
        row.motion->stop();
    }
    auto* group = new QParallelAnimationGroup(this);
    auto* slide = new QPropertyAnimation(row.frame, "pos", group);
    slide->setEndValue(to);
    auto* fade = new QPropertyAnimation(row.fade, "opacity", group);
    fade->setEndValue(opacity);
    for (QPropertyAnimation* each : {slide, fade}) {
        each->setDuration(static_cast<int>(motionTime.count()));
        each->setEasingCurve(QEasingCurve::InOutQuad);
        group->addAnimation(each);
    }
    if (row.leaving) {
        QFrame* frame = row.frame;
        connect(group, &QAbstractAnimation::finished, this, [this, frame] { removeLeft(frame); });
    }
    row.motion = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void ToastStack::removeLeft(QFrame* frame) {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [frame](const Row& row) { return row.frame == frame; });
    if (found == rows_.end()) {
        return;
    }
    rows_.erase(found);
    frame->hide();
    frame->deleteLater();
    relayout();
}

void ToastStack::finishMotion() {
    // Finishing one may end a row and change the list: take the running ones first.
    std::vector<QPointer<QAbstractAnimation>> running;
    for (const Row& row : rows_) {
        if (row.motion) {
            running.push_back(row.motion);
        }
    }
    for (const QPointer<QAbstractAnimation>& motion : running) {
        if (motion) {
            motion->setCurrentTime(motion->totalDuration());
        }
    }
}

void ToastStack::relayout() {
    int height = topMargin;
    for (const Row& row : rows_) {
        if (!row.leaving) {
            height += row.frame->height() + spacing;
        }
    }
    const QRect area = area_->geometry();
    setGeometry(area.x(), area.y(), area.width(), height);
    setVisible(!rows_.empty());
    raise();
}

} // namespace tamberlane::ui
