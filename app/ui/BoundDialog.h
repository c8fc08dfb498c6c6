#pragma once

#include "app/ui/Bindings.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tamberlane::ui {

// A window-modal dialog that shows view-model state for as long as it is up, and is
// deleted when it closes.
class BoundDialog final : public QDialog {
    Q_OBJECT
  public:
    BoundDialog(QWidget* parent, const char* title, int width, int padding = 20);

    QVBoxLayout* content() const { return content_; }
    // The title inside the dialog, in bold, as the first row of its content.
    void addHeading(const char* text);
    // The button Escape answers; it rejects the dialog.
    QPushButton* addCancelButton(const char* text);
    // The button Return answers while it is enabled.
    QPushButton* addDefaultButton(const char* text);
    QPushButton* addButton(const char* text);

    Bindings bindings;

  private:
    QVBoxLayout* content_;
    QDialogButtonBox* buttons_;
};

} // namespace tamberlane::ui
