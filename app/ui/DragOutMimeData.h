#pragma once

#include <QMimeData>

#include <memory>

namespace tamberlane {
struct DragCopies;
}

namespace tamberlane::ui {

// What a drag out of the file list carries: the host copies of its files, which are still
// being written when the drag starts. A drop target that asks for the files waits here,
// the window kept alive meanwhile, and then gets those that were written.
class DragOutMimeData final : public QMimeData {
    Q_OBJECT
  public:
    explicit DragOutMimeData(std::shared_ptr<const DragCopies> copies);

    const DragCopies& copies() const { return *copies_; }

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    std::shared_ptr<const DragCopies> copies_;
};

} // namespace tamberlane::ui
