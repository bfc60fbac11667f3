#include "widgets/anchored_placement.hpp"

void AnchoredPlacement::add(QWidget* widget, const QRect& place, int anchors) {
    entries_.push_back({widget, place, anchors});
    widget->setGeometry(place);
}

void AnchoredPlacement::place(QSize growth) const {
    for (const Entry& entry : entries_)
        if (entry.widget)
            entry.widget->setGeometry(placed(entry.place, entry.anchors, growth));
}

QRect AnchoredPlacement::placed(const QRect& place, int anchors, QSize growth) {
    QRect rect = place;
    if (anchors & MoveRight)
        rect.translate(growth.width(), 0);
    else if (anchors & StretchRight)
        rect.setWidth(rect.width() + growth.width());
    if (anchors & MoveDown)
        rect.translate(0, growth.height());
    else if (anchors & StretchDown)
        rect.setHeight(rect.height() + growth.height());
    return rect;
}
