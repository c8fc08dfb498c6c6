#pragma once

#include "app/state/ActionEnablement.h"
#include "app/ui/Bindings.h"
#include "app/ui/ImageFiles.h"

#include <QMainWindow>

#include <functional>
#include <string>

class QAction;
class QDialog;
class QMimeData;
class QDropEvent;
class QTimer;
class QWidget;

namespace tamberlane {
class ApplicationState;
}

namespace tamberlane::ui {

class DirectoryTreeView;
class FileListView;
class ListPanel;
class MainWindowActions;
class SidebarPanel;
class StatusPanel;
class ToastStack;
class UiSettings;
class WindowAlerts;

// The one window: tree, tool row, crumbs, list and status bar over the application
// state. It puts its panels together and runs the flows that need the user's choice of a
// host file.
class MainWindowView final : public QMainWindow {
    Q_OBJECT
  public:
    MainWindowView(ApplicationState& state, UiSettings& settings, QWidget* parent = nullptr);
    ~MainWindowView() override;

    // Opens an image file as a drop, the command line or the recent list asks.
    void openImage(const QString& path);
    // The window's action for `which`, or null when the window offers none.
    QAction* action(Action which) const;
    FileListView* fileList() const;
    DirectoryTreeView* directoryTree() const;
    ListPanel* listPanel() const { return listPanel_; }
    ToastStack* toasts() const { return toasts_; }
    // The dialog a flag of the state has raised, if it is up (for tests and screenshots).
    QDialog* raisedDialog(const std::string& name) const;

    // Runs `proceed` at once, or after the user agreed to lose the edits of an open editor.
    void whenEditsMayGo(std::function<void()> proceed);
    void openWithPanel(bool manual);
    void importWithPanel();
    void exportSelection();
    // Lists the directory again, or, when the file changed under us, offers to read it again.
    void reloadOrAskToReopen();
    void showAbout();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    DropMeaning windowDropMeaning(const QMimeData* data) const;
    void answerDrag(QDropEvent* event) const;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The size, the columns and the sort the user left, and the panels' start folder.
    void keepLayout();
    void openImageNow(const QString& path);
    void closeEditorsWithoutAsking();

    ApplicationState& state_;
    UiSettings& settings_;
    Bindings bindings_;
    MainWindowActions* actions_ = nullptr;
    SidebarPanel* sidebar_ = nullptr;
    ListPanel* listPanel_ = nullptr;
    StatusPanel* status_ = nullptr;
    ToastStack* toasts_ = nullptr;
    WindowAlerts* alerts_ = nullptr;
    // Looks at the image's file now and then: another program may write, move or hold it.
    QTimer* fileWatch_ = nullptr;
    bool closingAgreed_ = false;
    // The user chose to stop the running work and quit: the window closes as soon as the
    // work has ended (its rollback done, its lock given back).
    bool quitWhenIdle_ = false;
};

} // namespace tamberlane::ui
