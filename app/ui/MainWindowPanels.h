#pragma once

#include <QIcon>
#include <QLabel>
#include <QStackedWidget>

class QMenu;
class QPushButton;

namespace tamberlane {
class ApplicationState;
}

namespace tamberlane::ui {

class Bindings;
class CapacityBar;
class DirectoryTreeView;
class FileListModel;
class FileListView;
class MainWindowActions;

// A line of text with a symbol centred above it, over the whole of its area.
class SymbolPlaceholder final : public QLabel {
    Q_OBJECT
  public:
    static constexpr int symbolSize = 48;
    static constexpr int symbolGap = 8;

    SymbolPlaceholder(const QIcon& symbol, const QString& message, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QIcon symbol_;
};

// The sidebar: a placeholder without an image, else the directory tree over the
// capacity panel.
class SidebarPanel final : public QStackedWidget {
    Q_OBJECT
  public:
    SidebarPanel(ApplicationState& state, Bindings& bindings);

    DirectoryTreeView* tree() const { return tree_; }

  private:
    QWidget* createCapacityPanel();
    void bind(ApplicationState& state, Bindings& bindings);

    DirectoryTreeView* tree_ = nullptr;
    QLabel* capacityTitle_ = nullptr;
    CapacityBar* capacityBar_ = nullptr;
    QLabel* capacityFree_ = nullptr;
    QLabel* capacityTotal_ = nullptr;
};

// The detail area: a placeholder without an image, else the tool row, the path crumbs,
// the read-only banner and the file list.
class ListPanel final : public QStackedWidget {
    Q_OBJECT
  public:
    ListPanel(ApplicationState& state, const MainWindowActions& actions, Bindings& bindings);

    FileListView* list() const { return list_; }
    // The list's context menu at this moment.
    void fillContextMenu(QMenu& menu);
    // The empty-directory view covers the list's visible area whatever its size.
    void fitPlaceholder();

  private:
    QWidget* createPlaceholder();
    QWidget* createToolRow();
    QWidget* createReadOnlyBanner();
    void createList();
    void bind(Bindings& bindings);
    void showEntries();
    void applySelectionFromState();
    void applySortIndicator();
    void rebuildCrumbs();
    void showContextMenu(const QPoint& position);

    ApplicationState& state_;
    const MainWindowActions& actions_;
    QWidget* crumbs_ = nullptr;
    QWidget* readOnlyBanner_ = nullptr;
    QLabel* readOnlyText_ = nullptr;
    QPushButton* reopenButton_ = nullptr;
    QPushButton* checkButton_ = nullptr;
    FileListModel* model_ = nullptr;
    FileListView* list_ = nullptr;
    QLabel* emptyDirectory_ = nullptr;
    bool applyingState_ = false;
    // The selection is passing from the list to the browser.
    bool followingList_ = false;
};

} // namespace tamberlane::ui
