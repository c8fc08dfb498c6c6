#include "app/ui/MainWindowAlerts.h"

#include "app/state/ApplicationState.h"
#include "app/state/StateTexts.h"
#include "app/ui/Alerts.h"
#include "app/ui/Bindings.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/DeletedFilesWindow.h"
#include "app/ui/FileDialogs.h"
#include "app/ui/Format.h"
#include "app/ui/HexViewerWindow.h"
#include "app/ui/ImageDialogs.h"
#include "app/ui/SectorEditorWindow.h"
#include "app/ui/TextEditorWindow.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "app/ui/VolumeCheckWindow.h"
#include "app/ui/WindowParts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace tamberlane::ui {

namespace {

// Not every window system makes a window active again when its dialog goes; without one,
// the keys would reach nothing until the user clicks.
void returnKeysToOwner(QDialog& dialog) {
    QWidget* owner = dialog.parentWidget();
    if (owner == nullptr) {
        return;
    }
    // After the window system has heard that the dialog went.
    QTimer::singleShot(0, owner, [owner] {
        if (QApplication::activeWindow() == nullptr) {
            owner->window()->activateWindow();
        }
    });
}

} // namespace

WindowAlerts::WindowAlerts(QWidget& window, ApplicationState& state, UiSettings& settings,
                           Bindings& bindings)
    : QObject(&window), window_(window), state_(state), settings_(settings), bindings_(bindings) {
    bindDialogs();
    bindAlerts();
}

void WindowAlerts::raiseOn(const std::string& name, Observable<bool, true>& flag,
                           DialogFactory make, std::function<void()> dismiss) {
    bindings_.watch(flag,
                    [this, name, &flag, make = std::move(make), dismiss = std::move(dismiss)] {
                        QPointer<BoundDialog>& shown = dialogs_[name];
                        if (flag && shown.isNull()) {
                            BoundDialog* dialog = make();
                            dialog->setObjectName(QString::fromStdString(name));
                            shown = dialog;
                            connect(dialog, &QDialog::finished, this, [&flag, dismiss, dialog] {
                                if (flag) {
                                    dismiss();
                                }
                                returnKeysToOwner(*dialog);
                            });
                            dialog->open();
                        } else if (!flag && !shown.isNull()) {
                            shown->release();
                        }
                    });
}

QDialog* WindowAlerts::raisedDialog(const std::string& name) const {
    const auto found = dialogs_.find(name);
    return found == dialogs_.end() ? nullptr : found->second.data();
}

void WindowAlerts::bindDialogs() {
    DiskImageViewModel& image = state_.image();
    FileBrowserViewModel& browser = state_.browser();
    raiseOn(
        "manualParameters", image.showManualParamsDialog,
        [this, &image] { return makeManualParameters(&window_, image); },
        [&image] { image.showManualParamsDialog = false; });
    raiseOn(
        "newImage", image.showNewImageDialog,
        [this, &image] { return makeNewImage(&window_, image, settings_); },
        [&image] { image.showNewImageDialog = false; });
    raiseOn(
        "diskSelection", image.showDiskSelectionDialog,
        [this, &image] { return makeDiskSelection(&window_, image); },
        [&image] { image.showDiskSelectionDialog = false; });
    raiseOn(
        "partitionSelection", image.showPartitionSelectionDialog,
        [this, &image] { return makePartitionSelection(&window_, image); },
        [&image] { image.showPartitionSelectionDialog = false; });
    raiseOn(
        "diskInfo", image.showDiskInfoDialog,
        [this, &image] { return makeDiskInfo(&window_, image); },
        [&image] { image.showDiskInfoDialog = false; });
    raiseOn(
        "conversion", image.showConvertDialog,
        [this, &image] { return makeConversion(&window_, image, settings_); },
        [&image] {
            image.cancelConversion();
            image.showConvertDialog = false;
        });
    raiseOn(
        "deleteConfirmation", browser.showDeleteConfirmation,
        [this, &browser] { return makeDeleteConfirmation(&window_, browser); },
        [&browser] { browser.cancelDelete(); });
    raiseOn(
        "importClash", browser.showImportOverwriteConfirmation,
        [this, &browser] { return makeImportClash(&window_, browser); },
        [&browser] { browser.cancelImportOverwrite(); });
    raiseOn(
        "exportClash", browser.showExportOverwriteConfirmation,
        [this, &browser] { return makeExportClash(&window_, browser); },
        [&browser] { browser.cancelExportOverwrite(); });
    raiseOn(
        "newDirectory", browser.showNewDirectoryDialog,
        [this, &browser] { return makeNewDirectory(&window_, browser); },
        [&browser] {
            browser.showNewDirectoryDialog = false;
            browser.newDirectoryName = "";
        });
    raiseOn(
        "rename", browser.showRenameDialog,
        [this, &browser] { return makeRename(&window_, browser); },
        [&browser] { browser.showRenameDialog = false; });
    raiseOn(
        "deletedFiles", browser.showDeletedFiles,
        [this] { return makeDeletedFiles(&window_, state_); },
        [&browser] { browser.showDeletedFiles = false; });
    raiseOn(
        "textEditor", browser.showTextEditor,
        [this, &browser] {
            return new TextEditorWindow(&window_, browser.textEditorVM.get(), browser);
        },
        [&browser] { browser.requestCloseTextEditor(); });
    raiseOn(
        "hexViewer", browser.showHexViewer,
        [this, &browser] { return new HexViewerWindow(&window_, browser.hexViewerVM.get()); },
        [&browser] { browser.closeHexViewer(); });
    raiseOn(
        "sectorEditor", image.showSectorEditor,
        [this] { return new SectorEditorWindow(&window_, state_.sectorEditorVM.get(), state_); },
        [this] { state_.requestCloseSectorEditor(); });
    VolumeCheckViewModel& check = state_.volumeCheck();
    raiseOn(
        "volumeCheck", check.showWindow, [this] { return makeVolumeCheck(&window_, state_); },
        [&check] { check.showWindow = false; });
    DeletedFilesViewModel& deleted = *browser.deletedFilesVM();
    raiseOn(
        "restoreFirstChar", deleted.showRestoreDialog,
        [this, &browser] {
            QWidget* parent = raisedDialog("deletedFiles");
            return makeRestoreFirstChar(parent != nullptr ? parent : &window_, browser);
        },
        [&deleted] { deleted.cancelRestore(); });
}

void WindowAlerts::alertOn(Observable<bool, true>& flag,
                           std::function<void(QWidget* parent)> show) {
    bindings_.watch(flag, [this, &flag, show = std::move(show)] {
        if (flag) {
            QWidget* parent = QApplication::activeModalWidget();
            show(parent != nullptr ? parent : &window_);
        }
    });
}

namespace {

// An alert with one way on besides OK; `answer` gets whether that way was chosen.
void offerChoice(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                 const QString& message, const QString& choice, const char* name,
                 std::function<void(bool chosen)> answer) {
    auto* box = new QMessageBox(icon, title, message, QMessageBox::NoButton, parent);
    QPushButton* chosen = box->addButton(choice, QMessageBox::AcceptRole);
    box->addButton(text(tamberlane::texts::okButton), QMessageBox::RejectRole);
    box->setObjectName(QString::fromLatin1(name));
    widenMessage(box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(
        box, &QMessageBox::finished, parent,
        [box, chosen, answer = std::move(answer)] { answer(box->clickedButton() == chosen); });
    box->open();
}

} // namespace

void WindowAlerts::bindAlerts() {
    DiskImageViewModel& image = state_.image();
    FileBrowserViewModel& browser = state_.browser();
    const QString errorTitle = text(tamberlane::texts::errorAlertTitle);
    alertOn(image.showErrorAlert, [&image, errorTitle](QWidget* parent) {
        if (!image.canOpenReadOnly) {
            showAlertBox(parent, errorTitle, fromUtf8(image.errorMessage.get()),
                         [&image] { image.dismissErrorAlert(); });
            return;
        }
        // Another program holds the file: the message says it can be opened for reading,
        // and this is the way to.
        offerChoice(parent, QMessageBox::Warning, errorTitle, fromUtf8(image.errorMessage.get()),
                    text(tamberlane::texts::openReadOnlyButton), "lockAlert",
                    [&image](bool chosen) {
                        if (chosen) {
                            image.openReadOnly();
                        } else {
                            image.dismissErrorAlert();
                        }
                    });
    });
    alertOn(browser.showError, [&browser, errorTitle](QWidget* parent) {
        showAlertBox(parent, errorTitle, fromUtf8(browser.errorMessage.get()),
                     [&browser] { browser.showError = false; });
    });
    alertOn(browser.showBinaryAlert, [&browser](QWidget* parent) {
        offerChoice(parent, QMessageBox::Information, text(texts::binaryTitle),
                    text(texts::binaryMessage), text(texts::hexViewerAction), "binaryAlert",
                    [&browser](bool chosen) {
                        if (chosen) {
                            browser.openHexViewer();
                        } else {
                            browser.showBinaryAlert = false;
                        }
                    });
    });
    alertOn(image.showSearchedVolumeQuestion, [&image](QWidget* parent) {
        auto* box =
            new QMessageBox(QMessageBox::Question, text(texts::searchedVolumeTitle),
                            fromUtf8(image.searchedVolumeQuestion), QMessageBox::NoButton, parent);
        QPushButton* allow =
            box->addButton(text(tamberlane::texts::allowChangesButton), QMessageBox::AcceptRole);
        QPushButton* readOnly =
            box->addButton(text(tamberlane::texts::readOnlyButton), QMessageBox::RejectRole);
        box->setDefaultButton(readOnly);
        box->setObjectName(QStringLiteral("searchedVolumeQuestion"));
        widenMessage(box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, parent, [&image, box, allow] {
            image.answerSearchedVolumeQuestion(box->clickedButton() == allow);
        });
        box->open();
    });
    alertOn(image.showSpecialFormatAlert, [&image](QWidget* parent) {
        auto* box =
            new QMessageBox(QMessageBox::Question, text(texts::specialFormatTitle),
                            fromUtf8(image.errorMessage.get()), QMessageBox::NoButton, parent);
        QPushButton* manual = box->addButton(text(tamberlane::texts::openWithManualParamsButton),
                                             QMessageBox::AcceptRole);
        box->addButton(text(texts::closeButton), QMessageBox::RejectRole);
        box->setDefaultButton(manual);
        widenMessage(box);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QObject::connect(box, &QMessageBox::finished, parent, [&image, box, manual] {
            const bool chosen = box->clickedButton() == manual;
            image.showSpecialFormatAlert = false;
            if (chosen) {
                image.showManualParamsDialog = true;
            }
        });
        box->open();
    });
}

} // namespace tamberlane::ui
