#include "app/ui/CapacityBar.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tamberlane::ui {

CapacityBar::CapacityBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(8);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CapacityBar::setRatio(double ratio) {
    ratio_ = std::clamp(ratio, 0.0, 1.0);
    update();
}

void CapacityBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor track(Qt::gray);
    track.setAlphaF(0.3);
    painter.setBrush(track);
    painter.drawRoundedRect(QRectF(rect()), 3, 3);
    const double width = ratio_ * rect().width();
    if (width > 0) {
        painter.setBrush(QColor(0x35, 0x84, 0xe4));
        painter.drawRoundedRect(QRectF(0, 0, width, rect().height()), 3, 3);
    }
}

} // namespace tamberlane::ui
