#include "app/ui/Alerts.h"

#include "app/state/DiscardGuard.h"
#include "app/state/StateTexts.h"
#include "app/ui/Bindings.h"
#include "app/ui/UiTexts.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <memory>

namespace tamberlane::ui {

void widenMessage(QMessageBox* box) {
    // Japanese has no spaces to break at: a narrow box breaks phrases at any character.
    // The box sizes itself from its label's style, not from a minimum set on the label.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 32em; }"));
}

namespace {

void showOkBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
               const QString& message, const std::function<void()>& done) {
    auto* box = new QMessageBox(icon, title, message, QMessageBox::NoButton, parent);
    box->addButton(QString::fromUtf8(tamberlane::texts::okButton), QMessageBox::RejectRole);
    widenMessage(box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, parent, done);
    box->open();
}

} // namespace

void showAlertBox(QWidget* parent, const QString& title, const QString& message,
                  const std::function<void()>& done) {
    showOkBox(parent, QMessageBox::Warning, title, message, done);
}

void showNoticeBox(QWidget* parent, const QString& title, const QString& message,
                   const std::function<void()>& done) {
    showOkBox(parent, QMessageBox::Information, title, message, done);
}

QMessageBox* askToDiscard(QWidget* parent, std::function<void(bool discard)> answer) {
    auto* box = new QMessageBox(
        QMessageBox::Question, QString::fromUtf8(tamberlane::texts::discardQuestion),
        QString::fromUtf8(tamberlane::texts::discardQuestion), QMessageBox::NoButton, parent);
    QPushButton* discard = box->addButton(QString::fromUtf8(tamberlane::texts::discardButton),
                                          QMessageBox::DestructiveRole);
    QPushButton* cancel =
        box->addButton(QString::fromUtf8(tamberlane::texts::cancelButton), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setObjectName(QStringLiteral("discardQuestion"));
    widenMessage(box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, parent,
                     [parent, box, discard, answer = std::move(answer)] {
                         const bool chosen = box->clickedButton() == discard;
                         QMetaObject::invokeMethod(
                             parent, [answer, chosen] { answer(chosen); }, Qt::QueuedConnection);
                     });
    box->open();
    return box;
}

void askToReopen(QWidget* parent, const QString& message, std::function<void()> reopen) {
    auto* box = new QMessageBox(QMessageBox::Warning,
                                QString::fromUtf8(tamberlane::texts::errorAlertTitle), message,
                                QMessageBox::NoButton, parent);
    QPushButton* again = box->addButton(QString::fromUtf8(texts::reopenButton),
                                        QMessageBox::AcceptRole);
    QPushButton* cancel =
        box->addButton(QString::fromUtf8(tamberlane::texts::cancelButton), QMessageBox::RejectRole);
    box->setDefaultButton(again);
    box->setEscapeButton(cancel);
    box->setObjectName(QStringLiteral("reopenQuestion"));
    widenMessage(box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, parent,
                     [parent, box, again, reopen = std::move(reopen)] {
                         if (box->clickedButton() == again) {
                             QMetaObject::invokeMethod(parent, reopen, Qt::QueuedConnection);
                         }
                     });
    box->open();
}

void watchDiscardQuestion(Bindings& bindings, QWidget* parent, DiscardGuard& guard) {
    auto asked = std::make_shared<QPointer<QMessageBox>>();
    bindings.watch(guard.showDiscardConfirmation, [parent, &guard, asked] {
        if (!guard.showDiscardConfirmation) {
            // The state settled the question itself: no answer is wanted any more.
            if (!asked->isNull()) {
                QObject::disconnect(asked->data(), &QMessageBox::finished, nullptr, nullptr);
                (*asked)->close();
            }
            return;
        }
        *asked = askToDiscard(parent, [&guard](bool discard) {
            if (discard) {
                guard.confirm();
            } else {
                guard.cancel();
            }
        });
    });
}

} // namespace tamberlane::ui
