#pragma once

#include "app/state/ActionEnablement.h"

#include <QObject>

#include <map>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

namespace tamberlane {
class ApplicationState;
}

namespace tamberlane::ui {

class Bindings;
class MainWindowView;
class UiSettings;

// The window's commands, made from one table, with the menus that hold them and the
// rule that enables them.
class MainWindowActions final : public QObject {
    Q_OBJECT
  public:
    MainWindowActions(MainWindowView& window, ApplicationState& state, UiSettings& settings);

    // The command for `which`, or null when the window offers none.
    QAction* action(Action which) const;
    void fillMenus(QMenuBar* bar);
    // Follows what enables the commands, and adds each opened image to the recent list.
    void bind(Bindings& bindings);
    void applyEnablement();
    void rebuildRecentMenu();

  private:
    void createActions();
    void fillLongNamesMenu(QMenu* menu);

    MainWindowView& window_;
    ApplicationState& state_;
    UiSettings& settings_;
    std::map<Action, QAction*> actions_;
    // Commands no enablement rule names, each with the one it follows (if any).
    std::map<QAction*, std::optional<Action>> windowCommands_;
    struct MenuItem {
        QAction* action;
        int menu;
        int group;
    };
    std::vector<MenuItem> menuItems_;
    QMenu* recentMenu_ = nullptr;
};

} // namespace tamberlane::ui
