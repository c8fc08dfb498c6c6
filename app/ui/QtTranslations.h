#pragma once

namespace tamberlane::ui {

// Qt's own dialogs and buttons (file panels, Yes and No, context menus of text fields) in
// the interface's language: Qt's Japanese translations when it is Japanese (nothing where
// they are not installed), Qt's own English otherwise. Follows a later change of language
// when called again.
void installQtTranslations();

} // namespace tamberlane::ui
