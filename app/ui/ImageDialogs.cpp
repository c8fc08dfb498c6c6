#include "app/ui/ImageDialogs.h"

#include "app/state/DiskImageViewModel.h"
#include "app/ui/BoundDialog.h"
#include "app/ui/Format.h"
#include "app/ui/Translated.h"
#include "app/ui/UiSettings.h"
#include "app/ui/UiTexts.h"
#include "engine/base/HexText.h"
#include "engine/fat/ImageSummary.h"
#include "engine/fat/ManualParameterValidation.h"
#include "engine/fat/NewVolume.h"
#include "engine/image/formats/FormatTable.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>

#include <array>

namespace tamberlane::ui {

namespace {

QString targetText(ConvertFormat format) {
    return QString::fromStdString(targetLabel(format));
}

QString fileSystemText(FATType type) {
    return fromUtf8(fileSystemName(type));
}

QString saveFilter(const std::string& extension) {
    const QString lower = QString::fromStdString(extension);
    return lower.toUpper() + QStringLiteral(" (*.") + lower + QStringLiteral(" *.") +
           lower.toUpper() + QLatin1Char(')');
}

struct SaveChoice {
    QString path;
    // The panel asks before it returns a file that exists; only then may it be replaced.
    ExistingTarget existing = ExistingTarget::keep;
};

// A save panel that keeps the chosen extension: the engine picks the container by it.
SaveChoice askSavePath(QWidget* parent, UiSettings& settings, Panel panel, Text title,
                       const QString& fileName, const std::string& extension) {
    QFileDialog panelDialog(parent, text(title), settings.folder(panel), saveFilter(extension));
    panelDialog.setAcceptMode(QFileDialog::AcceptSave);
    panelDialog.setFileMode(QFileDialog::AnyFile);
    panelDialog.setDefaultSuffix(QString::fromStdString(extension));
    panelDialog.selectFile(fileName);
    if (panelDialog.exec() != QDialog::Accepted || panelDialog.selectedFiles().isEmpty()) {
        return {};
    }
    const QString chosen = panelDialog.selectedFiles().constFirst();
    settings.rememberFolder(panel, chosen);
    return {chosen, QFileInfo::exists(chosen) ? ExistingTarget::replace : ExistingTarget::keep};
}

} // namespace

BoundDialog* makeDiskSelection(QWidget* parent, DiskImageViewModel& image) {
    auto* dialog = new BoundDialog(parent, text(texts::diskSelectionTitle), 400);
    dialog->addHeading(text(texts::diskSelectionTitle));
    auto* list = new QListWidget;
    list->setAccessibleName(text(texts::diskSelectionTitle));
    list->setMinimumHeight(150);
    list->setMaximumHeight(300);
    const std::vector<D88Disk>& disks = image.d88Disks.get();
    for (std::size_t i = 0; i < disks.size(); ++i) {
        list->addItem(text(texts::diskRowFormat)
                          .arg(QString::number(i + 1), fromUtf8(disks[i].header.diskName)));
    }
    dialog->content()->addWidget(list);
    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    const auto choose = [&image](QListWidgetItem* item) {
        if (image.pendingOpenURL) {
            image.openD88Disk(*image.pendingOpenURL, item->listWidget()->row(item));
        }
    };
    QObject::connect(list, &QListWidget::itemClicked, dialog, choose);
    QObject::connect(list, &QListWidget::itemActivated, dialog, choose);
    return dialog;
}

BoundDialog* makePartitionSelection(QWidget* parent, DiskImageViewModel& image) {
    auto* dialog = new BoundDialog(parent, text(texts::partitionSelectionTitle), 400);
    dialog->addHeading(text(texts::partitionSelectionTitle));
    auto* list = new QListWidget;
    list->setAccessibleName(text(texts::partitionSelectionTitle));
    list->setMinimumHeight(150);
    list->setMaximumHeight(300);
    for (const PartitionInfo& partition : image.partitions.get()) {
        QString row = text(texts::partitionRowFormat)
                          .arg(QString::number(partition.number),
                               QString::number(partition.size / (1024 * 1024)));
        if (!partition.name.empty()) {
            row += QStringLiteral("  ") + fromUtf8(partition.name);
        }
        list->addItem(row);
    }
    dialog->content()->addWidget(list);
    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    const auto choose = [&image](QListWidgetItem* item) {
        if (image.pendingOpenURL) {
            image.openPartition(*image.pendingOpenURL, item->listWidget()->row(item));
        }
    };
    QObject::connect(list, &QListWidget::itemClicked, dialog, choose);
    QObject::connect(list, &QListWidget::itemActivated, dialog, choose);
    return dialog;
}

BoundDialog* makeNewImage(QWidget* parent, DiskImageViewModel& image, UiSettings& settings) {
    auto* dialog = new BoundDialog(parent, text(texts::newImageTitle), 400);
    dialog->addHeading(text(texts::newImageTitle));
    auto* form = new QFormLayout;
    auto* format = new QComboBox;
    format->setAccessibleName(text(texts::formatLabel));
    for (NewImageFormat each : allNewImageFormats()) {
        // Short names: the size beside each says what disk it makes.
        format->addItem(QString::fromStdString(rawValue(each)), static_cast<int>(each));
    }
    auto* size = new QComboBox;
    size->setAccessibleName(text(texts::sizeLabel));
    auto* fileSystem = new QLabel;
    form->addRow(text(texts::formatLabel), format);
    form->addRow(text(texts::sizeLabel), size);
    form->addRow(text(texts::fileSystemLabel), fileSystem);
    dialog->content()->addLayout(form);

    const auto chosenFormat = [format] {
        return static_cast<NewImageFormat>(format->currentData().toInt());
    };
    const auto chosenSize = [size] { return static_cast<DiskSize>(size->currentData().toInt()); };
    const auto refillSizes = [=] {
        const int previous = size->currentData().isValid() ? size->currentData().toInt() : -1;
        size->clear();
        for (DiskSize each : availableSizes(chosenFormat())) {
            size->addItem(text(texts::sizeWithCapacityFormat)
                              .arg(fromUtf8(rawValue(each)), fromUtf8(capacityText(each))),
                          static_cast<int>(each));
        }
        const int kept = size->findData(previous);
        size->setCurrentIndex(kept >= 0 ? kept : 0);
    };
    QObject::connect(format, &QComboBox::currentIndexChanged, dialog, refillSizes);
    QObject::connect(size, &QComboBox::currentIndexChanged, dialog, [=] {
        fileSystem->setText(size->count() > 0 ? fileSystemText(fileSystemOf(chosenSize()))
                                              : QString());
    });
    refillSizes();

    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    QPushButton* create = dialog->addDefaultButton(text(texts::createEllipsisButton));
    QObject::connect(create, &QPushButton::clicked, dialog, [=, &image, &settings] {
        const std::string extension = fileExtension(chosenFormat());
        const SaveChoice choice = askSavePath(
            dialog, settings, Panel::newImage, texts::newImageSavePanelTitle,
            QString::fromUtf8(texts::newImageBaseName) + QString::fromStdString(extension),
            extension);
        if (choice.path.isEmpty()) {
            return;
        }
        NewImageParameters params;
        params.format = chosenFormat();
        params.diskSize = chosenSize();
        image.createNewImage(params, choice.path.toStdString(), choice.existing);
    });
    return dialog;
}

BoundDialog* makeDiskInfo(QWidget* parent, DiskImageViewModel& image) {
    auto* dialog = new BoundDialog(parent, text(texts::infoTitle), 500);
    dialog->addHeading(text(texts::infoTitle));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    dialog->content()->addLayout(grid);
    const auto addRow = [grid](Text label, const QString& value) {
        const int row = grid->rowCount();
        auto* name = new QLabel(text(label));
        auto* shown = new QLabel(value);
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        shown->setAccessibleName(text(label));
        grid->addWidget(name, row, 0, Qt::AlignRight);
        grid->addWidget(shown, row, 1);
    };
    if (const std::optional<ImageSummary> summary = image.imageSummary()) {
        const BIOSParameterBlock& bpb = summary->bpb;
        const VolumeCapacity& capacity = summary->capacity;
        const auto clusters = [](std::int64_t bytes, std::int64_t count) {
            return text(texts::clusterCountFormat, count).arg(wholeKilobytes(bytes));
        };
        addRow(texts::infoFileName, fromUtf8(summary->fileName));
        addRow(texts::infoFormat, fromUtf8(summary->formatLabel));
        addRow(texts::infoFileSystem, fileSystemText(summary->fileSystem));
        addRow(texts::infoCylinders, QString::number(summary->geometry.cylinders));
        addRow(texts::infoHeads, QString::number(summary->geometry.heads));
        addRow(texts::infoSectorsPerTrack, QString::number(summary->geometry.sectorsPerTrack));
        addRow(texts::infoBytesPerSector, text(texts::byteSizeFormat).arg(bpb.bytesPerSector));
        addRow(texts::infoSectorsPerCluster, QString::number(bpb.sectorsPerCluster));
        addRow(texts::infoClusterSize, text(texts::byteSizeFormat).arg(summary->bytesPerCluster));
        addRow(texts::infoUsed, clusters(capacity.usedBytes, capacity.usedClusters));
        addRow(texts::infoFree, clusters(capacity.freeBytes, capacity.freeClusters));
        addRow(texts::infoTotal, clusters(capacity.totalBytes, capacity.totalClusters));
        addRow(texts::infoTotalSectors, QString::number(summary->volumeSectors));
        addRow(texts::infoFATCount, QString::number(bpb.numberOfFATs));
        addRow(texts::infoSectorsPerFAT, QString::number(bpb.sectorsPerFAT));
        addRow(texts::infoRootEntries, QString::number(bpb.rootEntryCount));
        addRow(texts::infoMedia, fromUtf8(hexByte(bpb.mediaDescriptor)));
        addRow(texts::infoWriteProtect,
               text(summary->isWriteProtected ? texts::enabledValue : texts::disabledValue));
        if (summary->partition) {
            addRow(texts::infoPartition, QString::number(summary->partition->number));
        }
        if (summary->parametersInferred) {
            addRow(texts::infoParameters, text(texts::inferredFromMedia));
        }
        if (summary->searchedBootOffset) {
            addRow(texts::infoBootSector,
                   text(texts::foundBySearchFormat).arg(*summary->searchedBootOffset));
        }
        if (summary->changeRefusal) {
            addRow(texts::infoChanges, fromUtf8(*summary->changeRefusal));
        }
    }
    dialog->addCancelButton(text(texts::closeButton))->setDefault(true);
    return dialog;
}

BoundDialog* makeConversion(QWidget* parent, DiskImageViewModel& image, UiSettings& settings) {
    auto* dialog = new BoundDialog(parent, text(texts::convertTitle), 420);
    dialog->addHeading(text(texts::convertTitle));
    const std::optional<ImageSummary> summary = image.imageSummary();
    auto* form = new QFormLayout;
    auto* target = new QComboBox;
    target->setAccessibleName(text(texts::convertTarget));
    QString sourceLabel;
    QString baseName;
    if (summary) {
        sourceLabel = fromUtf8(summary->formatLabel);
        baseName = QFileInfo(fromUtf8(summary->fileName)).completeBaseName();
        for (ConvertFormat each : image.conversionTargets()) {
            target->addItem(targetText(each), static_cast<int>(each));
        }
    }
    form->addRow(text(texts::convertSource), new QLabel(sourceLabel));
    form->addRow(text(texts::convertTarget), target);
    dialog->content()->addLayout(form);
    auto* busyRow = new QWidget;
    auto* busyLayout = new QHBoxLayout(busyRow);
    busyLayout->setContentsMargins(0, 0, 0, 0);
    busyLayout->addWidget(new QLabel(text(texts::converting)));
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setAccessibleName(text(texts::converting));
    busyLayout->addWidget(busy, 1);
    dialog->content()->addWidget(busyRow);
    auto* failure = new QLabel;
    failure->setWordWrap(true);
    failure->setStyleSheet(QStringLiteral("color: #c01c28;"));
    dialog->content()->addWidget(failure);

    QPushButton* cancel = dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    QPushButton* convert = dialog->addDefaultButton(text(texts::convertButton));
    QObject::connect(cancel, &QPushButton::clicked, dialog, [&image] {
        if (image.isConverting) {
            image.cancelConversion();
        }
    });
    dialog->bindings.watch(image.isConverting, [&image, busyRow, convert, target] {
        busyRow->setVisible(image.isConverting);
        convert->setEnabled(!image.isConverting && target->count() > 0);
    });
    dialog->bindings.watch(image.conversionError, [&image, failure] {
        const auto& message = image.conversionError.get();
        failure->setVisible(message.has_value());
        failure->setText(message ? fromUtf8(*message) : QString());
    });
    QObject::connect(convert, &QPushButton::clicked, dialog, [=, &image, &settings] {
        const auto format = static_cast<ConvertFormat>(target->currentData().toInt());
        const std::string extension = fileExtension(format);
        const SaveChoice choice =
            askSavePath(dialog, settings, Panel::conversion, texts::convertSavePanelTitle,
                        baseName + QLatin1Char('.') + QString::fromStdString(extension), extension);
        if (!choice.path.isEmpty()) {
            image.convertImage(format, choice.path.toStdString(), choice.existing);
        }
    });
    return dialog;
}

BoundDialog* makeManualParameters(QWidget* parent, DiskImageViewModel& image) {
    auto* dialog = new BoundDialog(parent, text(texts::manualTitle), 400);
    dialog->addHeading(text(texts::manualTitle));
    const ManualParameters& start = image.manualParams.get();
    auto* form = new QFormLayout;
    dialog->content()->addLayout(form);

    const auto choice = [form](Text label, const std::vector<std::int64_t>& values,
                               std::int64_t current, const std::vector<QString>& names) {
        auto* box = new QComboBox;
        box->setAccessibleName(text(label));
        for (std::size_t i = 0; i < values.size(); ++i) {
            box->addItem(names.empty() ? QString::number(values[i]) : names[i],
                         QVariant::fromValue<qlonglong>(values[i]));
        }
        box->setCurrentIndex(std::max(0, box->findData(QVariant::fromValue<qlonglong>(current))));
        form->addRow(text(label), box);
        return box;
    };
    QComboBox* fatType =
        choice(texts::manualFileSystem, {0, 1}, start.fatType == FATType::fat12 ? 0 : 1,
               {QStringLiteral("FAT12"), QStringLiteral("FAT16")});
    QComboBox* bytesPerSector =
        choice(texts::manualBytesPerSector, manualChoiceValues(ManualChoice::bytesPerSector),
               start.bytesPerSector, {});
    QComboBox* sectorsPerCluster =
        choice(texts::manualSectorsPerCluster, manualChoiceValues(ManualChoice::sectorsPerCluster),
               start.sectorsPerCluster, {});

    QPushButton* ok = nullptr;
    struct Field {
        ManualField field;
        QLineEdit* edit;
        QLabel* message;
    };
    auto fields = std::make_shared<std::vector<Field>>();
    const auto field = [&](Text label, ManualField which, std::int64_t value) {
        auto* edit = new QLineEdit(QString::number(value));
        edit->setAccessibleName(text(label));
        auto* message = new QLabel;
        message->setStyleSheet(QStringLiteral("color: #c01c28;"));
        message->setWordWrap(true);
        auto* column = new QVBoxLayout;
        column->setSpacing(2);
        column->addWidget(edit);
        column->addWidget(message);
        form->addRow(text(label), column);
        fields->push_back({which, edit, message});
    };
    field(texts::manualDataOffset, ManualField::dataOffset, start.dataOffset);
    field(texts::manualHeads, ManualField::heads, start.heads);
    field(texts::manualCylinders, ManualField::cylinders, start.cylinders);
    field(texts::manualSectorsPerTrack, ManualField::sectorsPerTrack, start.sectorsPerTrack);

    auto* failure = new QLabel;
    failure->setObjectName(QStringLiteral("manualOpenError"));
    failure->setWordWrap(true);
    failure->setStyleSheet(QStringLiteral("color: #c01c28;"));
    dialog->content()->addWidget(failure);
    dialog->bindings.watch(image.manualOpenError, [&image, failure] {
        const auto& message = image.manualOpenError.get();
        failure->setVisible(message.has_value());
        failure->setText(message ? fromUtf8(*message) : QString());
    });

    dialog->addCancelButton(text(tamberlane::texts::cancelButton));
    ok = dialog->addDefaultButton(text(tamberlane::texts::okButton));
    const auto revalidate = [fields, ok] {
        bool allValid = true;
        for (const Field& each : *fields) {
            const auto checked = validateManualField(each.field, each.edit->text().toStdString());
            const auto* message = std::get_if<std::string>(&checked);
            each.message->setText(message ? fromUtf8(*message) : QString());
            each.message->setVisible(message != nullptr);
            allValid = allValid && message == nullptr;
        }
        ok->setEnabled(allValid);
    };
    for (const Field& each : *fields) {
        QObject::connect(each.edit, &QLineEdit::textChanged, dialog, revalidate);
    }
    revalidate();
    QObject::connect(ok, &QPushButton::clicked, dialog, [=, &image] {
        const ManualFieldTexts entered{
            (*fields)[0].edit->text().toStdString(), (*fields)[1].edit->text().toStdString(),
            (*fields)[2].edit->text().toStdString(), (*fields)[3].edit->text().toStdString()};
        const auto checked = validateManualParameters(
            entered, fatType->currentIndex() == 0 ? FATType::fat12 : FATType::fat16,
            bytesPerSector->currentData().toLongLong(),
            sectorsPerCluster->currentData().toLongLong());
        if (const auto* params = std::get_if<ManualParameters>(&checked)) {
            image.applyManualParameters(*params);
        }
    });
    return dialog;
}

} // namespace tamberlane::ui
