#pragma once

#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

namespace tamberlane {
class DiscardGuard;
}

namespace tamberlane::ui {

class Bindings;

// Wide enough that a Japanese sentence wraps between phrases, not inside them.
void widenMessage(QMessageBox* box);
// A warning with one "OK", which Escape answers; `done` runs when it is dismissed.
void showAlertBox(QWidget* parent, const QString& title, const QString& message,
                  const std::function<void()>& done);
// The same with the information symbol, for a step that went well.
void showNoticeBox(QWidget* parent, const QString& title, const QString& message,
                   const std::function<void()>& done);
// "変更を破棄しますか？" with 破棄 and キャンセル (Escape). The answer arrives after the
// question has gone, so it may close the window the question was asked over.
QMessageBox* askToDiscard(QWidget* parent, std::function<void(bool discard)> answer);
// `message` (the image's file changed under us) with 開き直す and キャンセル (Escape);
// `reopen` runs after the question has gone when the user chose to open the file again.
// Work runs and the user asked to quit: whether to stop it and quit once it has ended.
QMessageBox* askToStopAndQuit(QWidget* parent, std::function<void(bool stop)> answer);
void askToReopen(QWidget* parent, const QString& message, std::function<void()> reopen);
// Asks over `parent` whenever `guard` wants the user's word, and hands the answer back.
void watchDiscardQuestion(Bindings& bindings, QWidget* parent, DiscardGuard& guard);

} // namespace tamberlane::ui
