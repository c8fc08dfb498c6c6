#include "app/ui/ToastStack.h"

#include "app/state/ErrorCoordinator.h"
#include "app/ui/Bindings.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/WindowParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

namespace tamberlane::ui {

ToastStack::ToastStack(QWidget* parent, ErrorCoordinator& errors, Bindings& bindings)
    : QWidget(parent), errors_(errors) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setLayout(new QVBoxLayout);
    layout()->setSpacing(4);
    layout()->setContentsMargins(0, 8, 0, 0);
    bindings.watch(errors.toastMessages, [this] { showToasts(); });
}

void ToastStack::showToasts() {
    QLayout* stack = layout();
    while (QLayoutItem* item = stack->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const AppError& toast : errors_.toastMessages.get()) {
        auto* row = new QFrame;
        row->setObjectName(QStringLiteral("toast"));
        row->setStyleSheet(
            QStringLiteral("#toast { background: rgba(250, 250, 250, 230); "
                           "border: 1px solid rgba(0, 0, 0, 40); border-radius: 8px; }"));
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(12, 6, 12, 6);
        rowLayout->addWidget(
            symbolLabel(themedIcon("dialog-warning", QStyle::SP_MessageBoxWarning), 16));
        auto* message = new QLabel(fromUtf8(toast.message));
        message->setFont(captionFont(message->font()));
        rowLayout->addWidget(message);
        row->setAccessibleName(fromUtf8(toast.message));
        static_cast<QVBoxLayout*>(stack)->addWidget(row, 0, Qt::AlignHCenter);
        if (scheduled_.insert(toast.id).second) {
            const std::string id = toast.id;
            QTimer::singleShot(std::chrono::milliseconds(ErrorCoordinator::toastLifetime), this,
                               [this, id] {
                                   scheduled_.erase(id);
                                   errors_.dismissToast(id);
                               });
        }
    }
    relayout();
}

void ToastStack::relayout() {
    adjustSize();
    setGeometry(0, 0, parentWidget()->width(), sizeHint().height());
    setVisible(!errors_.toastMessages.get().empty());
    raise();
}

} // namespace tamberlane::ui
