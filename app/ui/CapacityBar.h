#pragma once

#include <QWidget>

namespace tamberlane::ui {

// The used share of the volume as a bar: grey track, blue fill from the leading edge.
class CapacityBar final : public QWidget {
    Q_OBJECT
  public:
    explicit CapacityBar(QWidget* parent = nullptr);
    void setRatio(double ratio);
    double ratio() const { return ratio_; }
    QSize sizeHint() const override { return {120, 8}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double ratio_ = 0.0;
};

} // namespace tamberlane::ui
