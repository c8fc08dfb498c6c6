#include "app/ui/Alerts.h"

#include "app/state/DiscardGuard.h"
#include "app/state/StateTexts.h"
#include "app/ui/Bindings.h"
#include "app/ui/Translated.h"
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
    box->addButton(text(tamberlane::texts::okButton), QMessageBox::RejectRole);
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

namespace {

// A question with one answer besides キャンセル (Escape); `answer` gets whether it was chosen,
// after the question has gone.
struct Question {
    QMessageBox::Icon icon;
    QString title;
    QString message;
    QString choice;
    QMessageBox::ButtonRole role;
    bool choiceIsDefault;
    const char* name;
};

QMessageBox* ask(QWidget* parent, const Question& q, std::function<void(bool chosen)> answer) {
    auto* box = new QMessageBox(q.icon, q.title, q.message, QMessageBox::NoButton, parent);
    QPushButton* choice = box->addButton(q.choice, q.role);
    QPushButton* cancel =
        box->addButton(text(tamberlane::texts::cancelButton), QMessageBox::RejectRole);
    box->setDefaultButton(q.choiceIsDefault ? choice : cancel);
    box->setEscapeButton(cancel);
    box->setObjectName(QString::fromLatin1(q.name));
    widenMessage(box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, parent,
                     [parent, box, choice, answer = std::move(answer)] {
                         const bool chosen = box->clickedButton() == choice;
                         QMetaObject::invokeMethod(
                             parent, [answer, chosen] { answer(chosen); }, Qt::QueuedConnection);
                     });
    box->open();
    return box;
}

} // namespace

QMessageBox* askToDiscard(QWidget* parent, std::function<void(bool discard)> answer) {
    const QString question = text(tamberlane::texts::discardQuestion);
    return ask(parent,
               {QMessageBox::Question, question, question, text(tamberlane::texts::discardButton),
                QMessageBox::DestructiveRole, false, "discardQuestion"},
               std::move(answer));
}

QMessageBox* askToStopAndQuit(QWidget* parent, std::function<void(bool stop)> answer) {
    return ask(parent,
               {QMessageBox::Question, text(texts::quitWhileWorkingTitle),
                text(texts::quitWhileWorkingQuestion), text(texts::stopAndQuitButton),
                QMessageBox::DestructiveRole, false, "quitQuestion"},
               std::move(answer));
}

void askToReopen(QWidget* parent, const QString& message, std::function<void()> reopen) {
    ask(parent,
        {QMessageBox::Warning, text(tamberlane::texts::errorAlertTitle), message,
         text(texts::reopenButton), QMessageBox::AcceptRole, true, "reopenQuestion"},
        [reopen = std::move(reopen)](bool chosen) {
            if (chosen) {
                reopen();
            }
        });
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
