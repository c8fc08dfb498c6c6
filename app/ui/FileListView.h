#pragma once

#include "engine/fat/DiskPath.h"

#include <QTableView>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace tamberlane::ui {

// The file list: a table that turns its keys and drags into requests for the window.
class FileListView final : public QTableView {
    Q_OBJECT
  public:
    // Gives the host copy of an entry for a drag out, or nothing when it cannot.
    using Exporter = std::function<std::optional<std::filesystem::path>(const FileEntry&)>;

    explicit FileListView(QWidget* parent = nullptr);

    void setExporter(Exporter exporter) { exporter_ = std::move(exporter); }
    void setImportAllowed(bool allowed) { importAllowed_ = allowed; }
    bool importAllowed() const { return importAllowed_; }
    // The entries the drag carries, in row order.
    void setDragSource(std::function<std::vector<FileEntry>()> selected) {
        selected_ = std::move(selected);
    }

  Q_SIGNALS:
    void enterPressed();
    void upPressed();
    void filesDropped(const std::vector<std::filesystem::path>& files);
    void dragExportFailed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    bool acceptsDrop(const QMimeData* data) const;

    Exporter exporter_;
    std::function<std::vector<FileEntry>()> selected_;
    bool importAllowed_ = false;
};

} // namespace tamberlane::ui
