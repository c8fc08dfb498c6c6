#pragma once

#include "app/ui/Bindings.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace tamberlane::ui {

// A window-modal dialog that shows view-model state for as long as it is up, and is
// deleted when it closes.
class BoundDialog : public QDialog {
    Q_OBJECT
  public:
    BoundDialog(QWidget* parent, const QString& title, int width, int padding = 20);

    QVBoxLayout* content() const { return content_; }
    // The title inside the dialog, in bold, as the first row of its content.
    void addHeading(const QString& text);
    // The button Escape answers; it rejects the dialog.
    QPushButton* addCancelButton(const QString& text);
    // The button Return answers while it is enabled.
    QPushButton* addDefaultButton(const QString& text);
    QPushButton* addButton(const QString& text);

    // A window holding unsaved edits does not simply go: Escape, the cancel button and
    // the title bar's close button ask `request` instead, and the state lowers the flag
    // that raised the window once nothing would be lost.
    void setCloseRequest(std::function<void()> request) { closeRequest_ = std::move(request); }
    // The state let the window go: it closes whatever the close request would say.
    void release();

    Bindings bindings;

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QVBoxLayout* content_;
    QDialogButtonBox* buttons_;
    std::function<void()> closeRequest_;
};

} // namespace tamberlane::ui
