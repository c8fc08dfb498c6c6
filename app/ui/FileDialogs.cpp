#include "app/ui/FileDialogs.h"

#include "app/state/FileBrowserViewModel.h"
#include "app/state/StateTexts.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
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

QLabel* label(const char* text) {
    auto* made = new QLabel(QString::fromUtf8(text));
    made->setWordWrap(true);
    return made;
}

// The warning symbol beside a title or question.
QHBoxLayout* warningRow(const char* text) {
    auto* row = new QHBoxLayout;
    auto* symbol = new QLabel;
    symbol->setPixmap(themedIcon("dialog-warning", QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    symbol->setAccessibleName(QStringLiteral("warning"));
    row->addWidget(symbol, 0, Qt::AlignTop);
    QLabel* title = label(text);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    row->addWidget(title, 1);
    return row;
}

// One clash question for import and export; what the buttons do differs.
BoundDialog* makeClashQuestion(QWidget* parent, const std::vector<std::string>& names) {
    auto* dialog = new BoundDialog(parent, tamberlane::texts::clashTitle, 380);
    dialog->content()->addLayout(warningRow(tamberlane::texts::clashTitle));
    if (names.empty()) {
        dialog->content()->addWidget(label(texts::clashNoNames));
    } else {
        dialog->content()->addWidget(label(tamberlane::texts::clashListIntro));
        QStringList lines;
        for (const std::string& name : names) {
            lines << QString::fromUtf8(tamberlane::texts::clashLinePrefix) + fromUtf8(name);
        }
        QLabel* list = new QLabel(lines.join(QLatin1Char('\n')));
        list->setTextInteractionFlags(Qt::TextSelectableByMouse);
        dialog->content()->addWidget(list);
    }
    dialog->content()->addWidget(label(tamberlane::texts::clashQuestion));
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
    shown->setText(name ? QString::fromUtf8(texts::storedNamePrefix) + fromUtf8(*name) : QString());
}

} // namespace

BoundDialog* makeDeleteConfirmation(QWidget* parent, FileBrowserViewModel& browser) {
    auto* dialog = new BoundDialog(parent, texts::deleteQuestion, 380);
    dialog->content()->addLayout(warningRow(texts::deleteQuestion));
    auto* list = new QListWidget;
    list->setIconSize(QSize(16, 16));
    list->setAccessibleName(QString::fromUtf8(texts::deleteQuestion));
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
    auto* count = new QLabel(
        QString::fromUtf8(texts::deleteCountFormat).arg(browser.deleteTargetNames.get().size()));
    count->setObjectName(QStringLiteral("deleteCount"));
    dialog->content()->addWidget(count);
    dialog->content()->addWidget(list);
    dialog->content()->addWidget(label(texts::deleteUndoable));
    dialog->addCancelButton(tamberlane::texts::cancelButton);
    QPushButton* confirm = dialog->addDefaultButton(texts::deleteButton);
    confirm->setStyleSheet(QStringLiteral("color: #c01c28;"));
    QObject::connect(confirm, &QPushButton::clicked, dialog,
                     [&browser] { browser.confirmDelete(); });
    return dialog;
}

BoundDialog* makeImportClash(QWidget* parent, FileBrowserViewModel& browser) {
    BoundDialog* dialog = makeClashQuestion(parent, browser.duplicateFileNames.get());
    dialog->addCancelButton(tamberlane::texts::clashSkip);
    QPushButton* overwrite = dialog->addDefaultButton(tamberlane::texts::clashOverwrite);
    QObject::connect(overwrite, &QPushButton::clicked, dialog,
                     [&browser] { browser.confirmImportOverwrite(); });
    return dialog;
}

BoundDialog* makeExportClash(QWidget* parent, FileBrowserViewModel& browser) {
    BoundDialog* dialog = makeClashQuestion(parent, browser.exportDuplicateNames.get());
    dialog->addCancelButton(tamberlane::texts::cancelButton);
    QPushButton* skip = dialog->addButton(tamberlane::texts::clashSkip);
    QObject::connect(skip, &QPushButton::clicked, dialog,
                     [&browser] { browser.skipExistingOnExport(); });
    QPushButton* overwrite = dialog->addDefaultButton(tamberlane::texts::clashOverwrite);
    QObject::connect(overwrite, &QPushButton::clicked, dialog,
                     [&browser] { browser.confirmExportOverwrite(); });
    return dialog;
}

BoundDialog* makeNewDirectory(QWidget* parent, FileBrowserViewModel& browser) {
    auto* dialog = new BoundDialog(parent, texts::newDirectoryTitle, 350);
    dialog->addHeading(texts::newDirectoryTitle);
    auto* form = new QFormLayout;
    auto* name = new QLineEdit(fromUtf8(browser.newDirectoryName.get()));
    name->setAccessibleName(QString::fromUtf8(texts::newDirectoryLabel));
    form->addRow(QString::fromUtf8(texts::newDirectoryLabel), name);
    QLabel* stored = storedNameLabel(form);
    dialog->content()->addLayout(form);
    dialog->addCancelButton(tamberlane::texts::cancelButton);
    QPushButton* create = dialog->addDefaultButton(texts::createButton);
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
    auto* dialog = new BoundDialog(parent, texts::renameTitle, 380);
    dialog->addHeading(texts::renameTitle);
    auto* form = new QFormLayout;
    auto* name = new QLineEdit(fromUtf8(browser.renameName.get()));
    name->setAccessibleName(QString::fromUtf8(texts::renameNameLabel));
    auto* extension = new QLineEdit(fromUtf8(browser.renameExtension.get()));
    extension->setAccessibleName(QString::fromUtf8(texts::renameExtensionLabel));
    extension->setFixedWidth(60);
    form->addRow(QString::fromUtf8(texts::renameNameLabel), name);
    form->addRow(QString::fromUtf8(texts::renameExtensionLabel), extension);
    QLabel* stored = storedNameLabel(form);
    dialog->content()->addLayout(form);
    dialog->addCancelButton(tamberlane::texts::cancelButton);
    QPushButton* rename = dialog->addDefaultButton(texts::renameButton);
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
