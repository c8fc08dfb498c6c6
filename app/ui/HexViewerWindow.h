#pragma once

#include "app/ui/BoundDialog.h"

#include <QAbstractTableModel>

#include <memory>

class QLabel;
class QStackedWidget;
class QTableView;

namespace tamberlane {
class FileBrowserViewModel;
class HexViewerViewModel;
} // namespace tamberlane

namespace tamberlane::ui {

// The viewer's lines as table rows, each formatted when the view paints it: a file of a
// million lines costs no line objects, and rows only ever get appended while it is shown.
class HexLineModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { addressColumn, hexColumn, asciiColumn, columnCount_ };

    HexLineModel(HexViewerViewModel& viewer, QObject* parent);

    // The view model's row count changed: new rows at the end are inserted, anything else
    // resets.
    void rowsChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    HexViewerViewModel& viewer_;
    int rows_ = 0;
};

// A file of the volume as lines of sixteen bytes, turned into lines a step at a time as
// the last one scrolls into view.
class HexViewerWindow final : public BoundDialog {
    Q_OBJECT
  public:
    HexViewerWindow(QWidget* parent, std::shared_ptr<HexViewerViewModel> viewer);

    QTableView* lineView() const { return view_; }

  private:
    void loadMoreWhenAtEnd();

    std::shared_ptr<HexViewerViewModel> viewer_;
    HexLineModel* model_;
    QTableView* view_;
    QStackedWidget* pages_;
    QLabel* name_;
    QLabel* size_;
};

} // namespace tamberlane::ui
