#include "app/ui/DeletedFilesWindow.h"

#include "app/state/ApplicationState.h"
#include "app/state/StateTexts.h"
#include "app/ui/Alerts.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "app/ui/WindowParts.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStackedWidget>

namespace tamberlane::ui {

namespace {

QColor recoverabilityColour(int percent) {
    if (percent >= 100) {
        return QColor(0x26, 0xa2, 0x69);
    }
    return percent >= 50 ? QColor(0xe6, 0x61, 0x00) : QColor(0xc0, 0x1c, 0x28);
}

QWidget* deletedRow(const DeletedFileEntry& entry, bool canRestore, FileBrowserViewModel& browser) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    auto* texts = new QVBoxLayout;
    auto* name = new QLabel(fromUtf8(entry.displayName));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    name->setFont(mono);
    auto* detail =
        new QLabel(text(texts::deletedDetailFormat, entry.size).arg(fileDate(entry.modifiedDate)));
    QFont caption = detail->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    detail->setFont(caption);
    detail->setForegroundRole(QPalette::PlaceholderText);
    texts->addWidget(name);
    texts->addWidget(detail);
    layout->addLayout(texts, 1);

    const QColor colour = recoverabilityColour(entry.recoverability);
    auto* badge = new QLabel(QString::number(entry.recoverability) + QLatin1Char('%'));
    badge->setFont(caption);
    badge->setStyleSheet(
        QStringLiteral("color: %1; background: rgba(%2, %3, %4, 38); border-radius: 6px; "
                       "padding: 2px 6px;")
            .arg(colour.name())
            .arg(colour.red())
            .arg(colour.green())
            .arg(colour.blue()));
    layout->addWidget(badge, 0, Qt::AlignVCenter);
    auto* restore = new QPushButton(text(texts::restoreButton));
    restore->setAccessibleName(text(texts::restoreEntryName).arg(fromUtf8(entry.displayName)));
    restore->setEnabled(canRestore);
    QObject::connect(restore, &QPushButton::clicked, row,
                     [&browser, entry] { browser.deletedFilesVM()->requestRestore(entry); });
    layout->addWidget(restore);
    return row;
}

} // namespace

BoundDialog* makeDeletedFiles(QWidget* parent, ApplicationState& state) {
    FileBrowserViewModel& browser = state.browser();
    DiskImageViewModel& image = state.image();
    auto* dialog = new BoundDialog(parent, text(texts::deletedTitle), 600);
    dialog->setMinimumHeight(350);
    DeletedFilesViewModel& deleted = *browser.deletedFilesVM();

    QLabel* count = addTitleRow(dialog->content(), text(texts::deletedTitle));

    // The main window's strip: the restore is refused for the reason it gives there.
    QWidget* banner =
        makeLockBanner(new QWidget, new QLabel(text(tamberlane::texts::readOnlyBanner)));
    banner->setObjectName(QStringLiteral("readOnlyBanner"));
    banner->setAccessibleName(text(tamberlane::texts::readOnlyBanner));
    dialog->content()->addWidget(banner);

    auto* pages = new QStackedWidget;
    auto* empty = new QWidget;
    auto* emptyLayout = new QVBoxLayout(empty);
    auto* check = new QLabel;
    check->setPixmap(themedIcon("emblem-default", QStyle::SP_DialogApplyButton).pixmap(48, 48));
    check->setAlignment(Qt::AlignCenter);
    auto* none = new QLabel(text(texts::noDeletedFiles));
    none->setAlignment(Qt::AlignCenter);
    emptyLayout->addStretch(1);
    emptyLayout->addWidget(check);
    emptyLayout->addWidget(none);
    emptyLayout->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setAccessibleName(text(texts::deletedTitle));
    pages->addWidget(empty);
    pages->addWidget(scroll);
    dialog->content()->addWidget(pages, 1);
    dialog->addCancelButton(text(texts::closeButton));

    const auto refresh = [&state, &deleted, &browser, &image, count, banner, pages, scroll] {
        const bool writable = !image.isWriteProtected && !image.isReadOnly;
        const bool canRestore = state.enablement().isEnabled(Action::restoreEntry);
        const auto& entries = deleted.deletedEntries.get();
        count->setText(text(texts::deletedCountFormat, static_cast<std::int64_t>(entries.size())));
        banner->setVisible(!writable);
        pages->setCurrentIndex(entries.empty() ? 0 : 1);
        auto* list = new QWidget;
        auto* layout = new QVBoxLayout(list);
        for (const DeletedFileEntry& entry : entries) {
            layout->addWidget(deletedRow(entry, canRestore, browser));
        }
        layout->addStretch(1);
        scroll->setWidget(list);
    };
    dialog->bindings.watch(deleted.deletedEntries, refresh);
    dialog->bindings.watch(image.isReadOnly, refresh);
    dialog->bindings.listen(state.enablementChanged(), std::function<void()>(refresh));

    dialog->bindings.watch(deleted.showError, [&deleted, dialog] {
        if (!deleted.showError) {
            return;
        }
        showAlertBox(dialog, text(tamberlane::texts::errorAlertTitle),
                     fromUtf8(deleted.errorMessage.get()),
                     [&deleted] { deleted.showError = false; });
    });
    dialog->bindings.watch(deleted.showSuccess, [&deleted, dialog] {
        if (!deleted.showSuccess) {
            return;
        }
        showNoticeBox(dialog, text(texts::restoreDoneTitle),
                      text(tamberlane::texts::restoreSucceeded),
                      [&deleted] { deleted.showSuccess = false; });
    });
    return dialog;
}

BoundDialog* makeRestoreFirstChar(QWidget* parent, FileBrowserViewModel& browser) {
    DeletedFilesViewModel& deleted = *browser.deletedFilesVM();
    auto* dialog = new BoundDialog(parent, text(texts::restoreCharTitle), 300, 24);
    auto* title = new QLabel(text(texts::restoreCharTitle));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    dialog->content()->addWidget(title);
    const auto& target = deleted.restoreTarget.get();
    dialog->content()->addWidget(new QLabel(
        text(texts::restoreFileFormat).arg(target ? fromUtf8(target->displayName) : QString())));
    auto* prompt = new QLabel(text(texts::restoreCharPrompt));
    prompt->setWordWrap(true);
    dialog->content()->addWidget(prompt);
    auto* field = new QLineEdit;
    field->setPlaceholderText(text(texts::restoreCharField));
    field->setAccessibleName(text(texts::restoreCharField));
    // The first character a recovered long name told, ready to restore with.
    field->setText(fromUtf8(deleted.restoreFirstChar.get()));
    dialog->content()->addWidget(field);
    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    QPushButton* restore = dialog->addDefaultButton(text(texts::restoreButton));
    QObject::connect(field, &QLineEdit::textEdited, dialog, [&deleted](const QString& entered) {
        deleted.restoreFirstChar = entered.toStdString();
    });
    QObject::connect(restore, &QPushButton::clicked, dialog,
                     [&browser] { browser.restoreDeletedEntry(); });
    return dialog;
}

} // namespace tamberlane::ui
