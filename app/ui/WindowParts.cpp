#include "app/ui/WindowParts.h"

#include <QBoxLayout>
#include <QLabel>

namespace tamberlane::ui {

QFrame* separatorLine(QFrame::Shape shape) {
    auto* line = new QFrame;
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* symbolLabel(const QIcon& icon, int size) {
    auto* label = new QLabel;
    label->setPixmap(icon.pixmap(size, size));
    return label;
}

QFont captionFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

QLabel* addTitleRow(QBoxLayout* layout, const QString& title) {
    auto* header = new QHBoxLayout;
    auto* label = new QLabel(title);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    auto* count = new QLabel;
    header->addWidget(label);
    header->addStretch(1);
    header->addWidget(count);
    layout->addLayout(header);
    return count;
}

} // namespace tamberlane::ui
