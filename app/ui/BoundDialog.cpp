#include "app/ui/BoundDialog.h"

#include <QCloseEvent>
#include <QLabel>

namespace tamberlane::ui {

BoundDialog::BoundDialog(QWidget* parent, const QString& title, int width, int padding)
    : QDialog(parent), content_(new QVBoxLayout), buttons_(new QDialogButtonBox) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(title);
    setAccessibleName(title);
    setMinimumWidth(width);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(padding, padding, padding, padding);
    outer->addLayout(content_);
    outer->addWidget(buttons_);
}

void BoundDialog::addHeading(const QString& text) {
    auto* heading = new QLabel(text);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    content_->insertWidget(0, heading);
}

QPushButton* BoundDialog::addCancelButton(const QString& text) {
    QPushButton* button = buttons_->addButton(text, QDialogButtonBox::RejectRole);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, &QDialog::reject);
    return button;
}

QPushButton* BoundDialog::addDefaultButton(const QString& text) {
    QPushButton* button = buttons_->addButton(text, QDialogButtonBox::AcceptRole);
    button->setDefault(true);
    return button;
}

QPushButton* BoundDialog::addButton(const QString& text) {
    QPushButton* button = buttons_->addButton(text, QDialogButtonBox::ActionRole);
    button->setAutoDefault(false);
    return button;
}

void BoundDialog::release() {
    closeRequest_ = nullptr;
    close();
}

void BoundDialog::reject() {
    if (closeRequest_) {
        // A copy: the request may release this window, which drops the stored one.
        const std::function<void()> request = closeRequest_;
        request();
        return;
    }
    QDialog::reject();
}

void BoundDialog::closeEvent(QCloseEvent* event) {
    if (closeRequest_) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace tamberlane::ui
