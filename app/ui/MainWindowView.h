#pragma once

#include "app/state/ActionEnablement.h"
#include "app/ui/Bindings.h"
#include "app/ui/ImageFiles.h"

#include <QMainWindow>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QMimeData;
class QDropEvent;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace tamberlane {
class ApplicationState;
}

namespace tamberlane::ui {

class BoundDialog;
class CapacityBar;
class DirectoryTreeView;
class FileListModel;
class FileListView;
class UiSettings;

// The one window: tree, tool row, crumbs, list and status bar over the application
// state. It decides layout, texts and which state operation each control calls.
class MainWindowView final : public QMainWindow {
    Q_OBJECT
  public:
    MainWindowView(ApplicationState& state, UiSettings& settings, QWidget* parent = nullptr);
    ~MainWindowView() override;

    // Opens an image file as a drop, the command line or the recent list asks.
    void openImage(const QString& path);
    // The window's action for `which`, or null when the window offers none.
    QAction* action(Action which) const;
    FileListView* fileList() const { return list_; }
    DirectoryTreeView* directoryTree() const { return tree_; }
    // The dialog a flag of the state has raised, if it is up (for tests and screenshots).
    QDialog* raisedDialog(const std::string& name) const;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    DropMeaning windowDropMeaning(const QMimeData* data) const;
    void answerDrag(QDropEvent* event) const;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QAction* makeAction(Action which, const char* text, const QIcon& icon, const char* help);
    void createActions();
    void createMenus();
    void rebuildRecentMenu();
    void createLongNamesMenu(QMenu* menu);
    QWidget* createSidebar();
    QWidget* createToolRow();
    QWidget* createDetailArea();
    void createStatusBar();
    void bindState();
    void bindDialogs();
    void bindAlerts();
    void bindToasts();
    void applyEnablement();
    void rebuildCrumbs();
    void showEntries();
    void applySelectionFromState();
    void applySortIndicator();
    void showContextMenu(const QPoint& position);
    void layoutToasts();

    // Runs `proceed` at once, or after the user agreed to lose the edits of an open editor.
    void whenEditsMayGo(std::function<void()> proceed);
    void openImageNow(const QString& path);
    void closeEditorsWithoutAsking();
    void openWithPanel(bool manual);
    void importWithPanel();
    void exportSelection();

    using DialogFactory = std::function<BoundDialog*()>;
    // Raises the dialog while `flag` is true; a dialog closed by its cancel button or
    // Escape runs `dismiss`, which lowers the flag the way the state wants it lowered.
    void raiseOn(const std::string& name, Observable<bool, true>& flag, DialogFactory make,
                 std::function<void()> dismiss);
    void alertOn(Observable<bool, true>& flag, std::function<void(QWidget* parent)> show);

    ApplicationState& state_;
    UiSettings& settings_;
    Bindings bindings_;
    std::map<Action, QAction*> actions_;
    std::map<std::string, QPointer<BoundDialog>> dialogs_;
    QAction* openManualAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;

    QStackedWidget* sidebarPages_ = nullptr;
    DirectoryTreeView* tree_ = nullptr;
    QLabel* capacityTitle_ = nullptr;
    CapacityBar* capacityBar_ = nullptr;
    QLabel* capacityFree_ = nullptr;
    QLabel* capacityTotal_ = nullptr;
    QStackedWidget* detailPages_ = nullptr;
    QWidget* toolRow_ = nullptr;
    QWidget* crumbs_ = nullptr;
    QWidget* readOnlyBanner_ = nullptr;
    QLabel* readOnlyText_ = nullptr;
    QPushButton* reopenButton_ = nullptr;
    // Looks at the image's file now and then: another program may write, move or hold it.
    QTimer* fileWatch_ = nullptr;
    FileListModel* model_ = nullptr;
    FileListView* list_ = nullptr;
    QLabel* emptyDirectory_ = nullptr;
    QWidget* toasts_ = nullptr;
    std::set<std::string> scheduledToasts_;

    QLabel* statusIcon_ = nullptr;
    QLabel* statusTitle_ = nullptr;
    QLabel* statusCount_ = nullptr;
    QWidget* progressGroup_ = nullptr;
    QLabel* progressName_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* progressPercent_ = nullptr;
    QToolButton* progressCancel_ = nullptr;
    // Runs from the start of a save; the save is shown only once it has run out, so a
    // quick one does not flash.
    QTimer* saveDelay_ = nullptr;
    QWidget* statusReadOnly_ = nullptr;
    QWidget* historyButtons_ = nullptr;

    bool applyingState_ = false;
    bool closingAgreed_ = false;
};

} // namespace tamberlane::ui
