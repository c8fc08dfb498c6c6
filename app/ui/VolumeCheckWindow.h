#pragma once

class QWidget;

namespace tamberlane {
class ApplicationState;
} // namespace tamberlane

namespace tamberlane::ui {

class BoundDialog;

// The problems of the open volume grouped by kind, the fixes the user keeps, and the
// repair.
BoundDialog* makeVolumeCheck(QWidget* parent, ApplicationState& state);

} // namespace tamberlane::ui
