#pragma once

class QWidget;

namespace tamberlane {
class DiskImageViewModel;
}

namespace tamberlane::ui {

class BoundDialog;
class UiSettings;

BoundDialog* makeDiskSelection(QWidget* parent, DiskImageViewModel& image);
BoundDialog* makePartitionSelection(QWidget* parent, DiskImageViewModel& image);
BoundDialog* makeNewImage(QWidget* parent, DiskImageViewModel& image, UiSettings& settings);
BoundDialog* makeDiskInfo(QWidget* parent, DiskImageViewModel& image);
BoundDialog* makeConversion(QWidget* parent, DiskImageViewModel& image, UiSettings& settings);
BoundDialog* makeManualParameters(QWidget* parent, DiskImageViewModel& image);

} // namespace tamberlane::ui
