#pragma once

namespace tamberlane::ui {

// Qt's own dialogs and buttons (file panels, Yes and No, context menus of text fields) in
// Japanese like the rest of the window, whatever the user's locale. Once per process;
// nothing where the translations are not installed.
void installQtTranslations();

} // namespace tamberlane::ui
