#include "app/ui/MainWindowStatus.h"

#include "app/state/ApplicationState.h"
#include "app/ui/Bindings.h"
#include "app/ui/Format.h"
#include "app/ui/Icons.h"
#include "app/ui/MainWindowActions.h"
#include "app/ui/Translated.h"
#include "app/ui/UiTexts.h"
#include "app/ui/WindowParts.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <chrono>

namespace tamberlane::ui {

StatusPanel::StatusPanel(QStatusBar* bar, ApplicationState& state, const MainWindowActions& actions,
                         Bindings& bindings)
    : state_(state) {
    bar->setSizeGripEnabled(false);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    statusIcon_ = symbolLabel(themedIcon("media-floppy", QStyle::SP_DriveFDIcon), 16);
    statusTitle_ = new QLabel;
    statusCount_ = new QLabel;
    layout->addWidget(statusIcon_);
    layout->addWidget(statusTitle_);
    layout->addSpacing(12);
    layout->addWidget(statusCount_);
    layout->addWidget(createProgress());

    statusReadOnly_ = new QWidget;
    auto* readOnly = new QHBoxLayout(statusReadOnly_);
    readOnly->setContentsMargins(12, 0, 0, 0);
    readOnly->addWidget(symbolLabel(themedIcon("changes-prevent", "emblem-readonly"), 16));
    readOnly->addWidget(new QLabel(text(tamberlane::texts::readOnlyBanner)));
    layout->addWidget(statusReadOnly_);
    layout->addStretch(1);
    bar->addWidget(this, 1);
    bar->addPermanentWidget(createHistoryButtons(actions));
    for (QLabel* label : findChildren<QLabel*>()) {
        label->setFont(captionFont(label->font()));
    }
    bind(bindings);
}

QWidget* StatusPanel::createProgress() {
    progressGroup_ = new QWidget;
    auto* progress = new QHBoxLayout(progressGroup_);
    progress->setContentsMargins(12, 0, 0, 0);
    progressName_ = new QLabel;
    progressBar_ = new QProgressBar;
    progressBar_->setRange(0, 1000);
    progressBar_->setFixedWidth(100);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(text(texts::progressName));
    progressPercent_ = new QLabel;
    auto* cancel = new QToolButton;
    progressCancel_ = cancel;
    cancel->setIcon(themedIcon("process-stop", QStyle::SP_DialogCancelButton));
    cancel->setText(text(texts::cancelOperationButton));
    cancel->setToolTip(text(texts::cancelOperationButton));
    cancel->setAccessibleName(text(texts::cancelOperationButton));
    cancel->setAutoRaise(true);
    connect(cancel, &QToolButton::clicked, this, [this] {
        DiskImageViewModel& image = state_.image();
        if (image.isOpening) {
            image.cancelOpen();
        } else if (image.isConverting) {
            image.cancelConversion();
        } else {
            state_.browser().cancelOperation();
        }
    });
    progress->addWidget(progressName_);
    progress->addWidget(progressBar_);
    progress->addWidget(progressPercent_);
    progress->addWidget(cancel);
    return progressGroup_;
}

QWidget* StatusPanel::createHistoryButtons(const MainWindowActions& actions) {
    historyButtons_ = new QWidget;
    auto* history = new QHBoxLayout(historyButtons_);
    history->setContentsMargins(0, 0, 8, 0);
    history->addWidget(separatorLine(QFrame::VLine));
    for (Action step : {Action::undo, Action::redo}) {
        auto* button = new QToolButton;
        button->setDefaultAction(actions.action(step));
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAccessibleName(actions.action(step)->text());
        history->addWidget(button);
    }
    return historyButtons_;
}

void StatusPanel::bind(Bindings& bindings) {
    DiskImageViewModel& image = state_.image();
    const auto showImage = [this, &image] {
        const bool open = image.isImageOpen;
        statusIcon_->setVisible(open);
        statusTitle_->setText(open ? fromUtf8(image.windowTitle.get())
                                   : QString::fromUtf8(texts::noImageStatus));
        historyButtons_->setVisible(open);
    };
    bindings.watch(image.isImageOpen, showImage);
    bindings.watch(image.windowTitle, showImage);

    const auto showProtection = [this, &image] {
        statusReadOnly_->setVisible(image.isImageOpen &&
                                    (image.isWriteProtected || image.isReadOnly));
    };
    bindings.watch(image.isWriteProtected, showProtection);
    bindings.watch(image.isReadOnly, showProtection);
    bindings.watch(image.isImageOpen, showProtection);

    FileBrowserViewModel& browser = state_.browser();
    const auto showCount = [this, &browser] {
        const auto listed = static_cast<std::int64_t>(browser.entries.get().size());
        const auto selected = static_cast<std::int64_t>(browser.selectedEntries.get().size());
        statusCount_->setText(selected == 0
                                  ? text(texts::entryCountFormat, listed)
                                  : text(texts::selectionCountFormat)
                                        .arg(QString::number(listed), QString::number(selected)));
    };
    bindings.watch(browser.entries, showCount);
    bindings.watch(browser.selectedEntries, showCount);
    bindProgress(bindings);
}

void StatusPanel::bindProgress(Bindings& bindings) {
    // One place for every long piece of work: an open, a conversion and a save have no
    // measurable progress, only a name; a save cannot be stopped halfway.
    DiskImageViewModel& image = state_.image();
    FileBrowserViewModel& browser = state_.browser();
    OperationGate& gate = state_.gate();
    saveDelay_ = new QTimer(this);
    saveDelay_->setSingleShot(true);
    saveDelay_->setInterval(std::chrono::milliseconds(300));
    const auto showProgress = [this, &browser, &image, &gate] {
        const bool opening = image.isOpening;
        const bool converting = image.isConverting;
        const bool saving = !gate.savingFileName.get().empty() && !saveDelay_->isActive();
        const bool measured = browser.isOperationInProgress && !opening && !converting;
        progressGroup_->setVisible(opening || converting || saving ||
                                   browser.isOperationInProgress);
        progressCancel_->setVisible(!saving);
        if (measured) {
            progressName_->setText(fromUtf8(browser.operationFileName.get()));
            progressBar_->setRange(0, 1000);
            progressBar_->setValue(static_cast<int>(browser.operationProgress.get() * 1000.0));
            progressPercent_->setText(
                QString::number(static_cast<int>(browser.operationProgress.get() * 100.0)) +
                QLatin1Char('%'));
        } else {
            progressName_->setText(
                opening  ? text(texts::openingFormat).arg(fromUtf8(image.openingFileName.get()))
                : saving ? text(texts::savingFormat).arg(fromUtf8(gate.savingFileName.get()))
                         : text(texts::converting));
            progressBar_->setRange(0, 0);
            progressPercent_->clear();
        }
    };
    connect(saveDelay_, &QTimer::timeout, this, showProgress);
    bindings.watch(gate.savingFileName, [this, &gate, showProgress] {
        if (gate.savingFileName.get().empty()) {
            saveDelay_->stop();
        } else {
            saveDelay_->start();
        }
        showProgress();
    });
    bindings.watch(image.isOpening, showProgress);
    bindings.watch(image.openingFileName, showProgress);
    bindings.watch(image.isConverting, showProgress);
    bindings.watch(browser.isOperationInProgress, showProgress);
    bindings.watch(browser.operationProgress, showProgress);
}

} // namespace tamberlane::ui
