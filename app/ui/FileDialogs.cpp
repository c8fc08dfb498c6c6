#include "app/ui/FileDialogs.h"

#include "app/state/FileBrowserViewModel.h"
#include "app/state/StateTexts.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <optional>
#include <set>
#include <string>

namespace tamberlane::ui {

namespace {

QLabel* label(const QString& shown) {
    auto* made = new QLabel(shown);
    made->setWordWrap(true);
    return made;
}

// The warning symbol beside a title or question.
QHBoxLayout* warningRow(const QString& shown) {
    auto* row = new QHBoxLayout;
    auto* symbol = new QLabel;
    symbol->setPixmap(themedIcon("dialog-warning", QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    symbol->setAccessibleName(QStringLiteral("warning"));
    row->addWidget(symbol, 0, Qt::AlignTop);
    QLabel* title = label(shown);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    row->addWidget(title, 1);
    return row;
}

// One clash question for import and export; what the buttons do differs.
BoundDialog* makeClashQuestion(QWidget* parent, const std::vector<std::string>& names) {
    auto* dialog = new BoundDialog(parent, text(tamberlane::texts::clashTitle), 380);
    dialog->content()->addLayout(warningRow(text(tamberlane::texts::clashTitle)));
    if (names.empty()) {
        dialog->content()->addWidget(label(text(texts::clashNoNames)));
    } else {
        dialog->content()->addWidget(label(text(tamberlane::texts::clashListIntro)));
        QStringList lines;
        for (const std::string& name : names) {
            lines << text(tamberlane::texts::clashLinePrefix) + fromUtf8(name);
        }
        QLabel* list = new QLabel(lines.join(QLatin1Char('\n')));
        list->setTextInteractionFlags(Qt::TextSelectableByMouse);
        dialog->content()->addWidget(list);
    }
    dialog->content()->addWidget(label(text(tamberlane::texts::clashQuestion)));
    return dialog;
}

// Below a name field where names are written as 8.3 only: the name the volume will hold,
// as the user types. Hidden where the name is kept as typed.
QLabel* storedNameLabel(QFormLayout* form) {
    auto* shown = new QLabel;
    shown->setObjectName(QStringLiteral("storedName"));
    shown->setForegroundRole(QPalette::PlaceholderText);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QString(), shown);
    return shown;
}

void showStoredName(QLabel* shown, const std::optional<std::string>& name) {
    shown->setVisible(name.has_value());
    shown->setText(name ? text(texts::storedNameFormat).arg(fromUtf8(*name)) : QString());
}

} // namespace

BoundDialog* makeDeleteConfirmation(QWidget* parent, FileBrowserViewModel& browser) {
    auto* dialog = new BoundDialog(parent, text(texts::deleteQuestion), 380);
    dialog->content()->addLayout(warningRow(text(texts::deleteQuestion)));
    auto* list = new QListWidget;
    list->setIconSize(QSize(16, 16));
    list->setAccessibleName(text(texts::deleteQuestion));
    const QIcon fileIcon = themedIcon("text-x-generic", QStyle::SP_FileIcon);
    const QIcon folderIcon = themedIcon("folder", QStyle::SP_DirIcon);
    // The targets are entries of the directory shown, where a name is unique; a folder
    // goes with everything in it, which its symbol says.
    std::set<std::string> folders;
    for (const FileEntry& entry : browser.entries.get()) {
        if (entry.directoryEntry.isDirectory()) {
            folders.insert(entry.directoryEntry.displayName());
        }
    }
    for (const std::string& name : browser.deleteTargetNames.get()) {
        list->addItem(
            new QListWidgetItem(folders.count(name) != 0 ? folderIcon : fileIcon, fromUtf8(name)));
    }
    list->setMaximumHeight(200);
    const auto targets = static_cast<std::int64_t>(browser.deleteTargetNames.get().size());
    auto* count = new QLabel(text(texts::deleteCountFormat, targets));
    count->setObjectName(QStringLiteral("deleteCount"));
    dialog->content()->addWidget(count);
    dialog->content()->addWidget(list);
    dialog->content()->addWidget(label(text(texts::deleteUndoable)));
    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    QPushButton* confirm = dialog->addDefaultButton(text(texts::deleteButton));
    confirm->setStyleSheet(QStringLiteral("color: #c01c28;"));
    QObject::connect(confirm, &QPushButton::clicked, dialog,
                     [&browser] { browser.confirmDelete(); });
    return dialog;
}

BoundDialog* makeImportClash(QWidget* parent, FileBrowserViewModel& browser) {
    BoundDialog* dialog = makeClashQuestion(parent, browser.duplicateFileNames.get());
    dialog->addCancelButton(text(tamberlane::texts::clashSkip));
    QPushButton* overwrite = dialog->addDefaultButton(text(tamberlane::texts::clashOverwrite));
    QObject::connect(overwrite, &QPushButton::clicked, dialog,
                     [&browser] { browser.confirmImportOverwrite(); });
    return dialog;
}

BoundDialog* makeExportClash(QWidget* parent, FileBrowserViewModel& browser) {
    BoundDialog* dialog = makeClashQuestion(parent, browser.exportDuplicateNames.get());
    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    QPushButton* skip = dialog->addButton(text(tamberlane::texts::clashSkip));
    QObject::connect(skip, &QPushButton::clicked, dialog,
                     [&browser] { browser.skipExistingOnExport(); });
    QPushButton* overwrite = dialog->addDefaultButton(text(tamberlane::texts::clashOverwrite));
    QObject::connect(overwrite, &QPushButton::clicked, dialog,
                     [&browser] { browser.confirmExportOverwrite(); });
    return dialog;
}

BoundDialog* makeNewDirectory(QWidget* parent, FileBrowserViewModel& browser) {
    auto* dialog = new BoundDialog(parent, text(texts::newDirectoryTitle), 350);
    dialog->addHeading(text(texts::newDirectoryTitle));
    auto* form = new QFormLayout;
    auto* name = new QLineEdit(fromUtf8(browser.newDirectoryName.get()));
    name->setAccessibleName(text(texts::newDirectoryLabel));
    form->addRow(text(texts::newDirectoryLabel), name);
    QLabel* stored = storedNameLabel(form);
    dialog->content()->addLayout(form);
    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    QPushButton* create = dialog->addDefaultButton(text(texts::createButton));
    QObject::connect(name, &QLineEdit::textEdited, dialog, [&browser](const QString& text) {
        browser.newDirectoryName = text.toStdString();
    });
    dialog->bindings.watch(browser.newDirectoryName, [&browser, name, create, stored] {
        const QString text = fromUtf8(browser.newDirectoryName.get());
        if (name->text() != text) {
            name->setText(text);
        }
        create->setEnabled(!text.isEmpty());
        showStoredName(stored, browser.newDirectoryStoredName());
    });
    QObject::connect(create, &QPushButton::clicked, dialog,
                     [&browser] { browser.createNewDirectory(); });
    return dialog;
}

BoundDialog* makeRename(QWidget* parent, FileBrowserViewModel& browser) {
    auto* dialog = new BoundDialog(parent, text(texts::renameTitle), 380);
    dialog->addHeading(text(texts::renameTitle));
    auto* form = new QFormLayout;
    auto* name = new QLineEdit(fromUtf8(browser.renameName.get()));
    name->setAccessibleName(text(texts::renameNameLabel));
    auto* extension = new QLineEdit(fromUtf8(browser.renameExtension.get()));
    extension->setAccessibleName(text(texts::renameExtensionLabel));
    extension->setFixedWidth(60);
    form->addRow(text(texts::renameNameLabel), name);
    form->addRow(text(texts::renameExtensionLabel), extension);
    QLabel* stored = storedNameLabel(form);
    dialog->content()->addLayout(form);
    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    QPushButton* rename = dialog->addDefaultButton(text(texts::renameButton));
    QObject::connect(name, &QLineEdit::textEdited, dialog,
                     [&browser](const QString& text) { browser.renameName = text.toStdString(); });
    QObject::connect(extension, &QLineEdit::textEdited, dialog, [&browser](const QString& text) {
        browser.renameExtension = text.toStdString();
    });
    dialog->bindings.watch(browser.renameName, [&browser, rename, stored] {
        rename->setEnabled(!browser.renameName.get().empty());
        showStoredName(stored, browser.renameStoredName());
    });
    dialog->bindings.watch(browser.renameExtension, [&browser, stored] {
        showStoredName(stored, browser.renameStoredName());
    });
    QObject::connect(rename, &QPushButton::clicked, dialog,
                     [&browser] { browser.renameSelectedEntry(); });
    return dialog;
}

} // namespace tamberlane::ui
