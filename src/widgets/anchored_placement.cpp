#include "widgets/anchored_placement.hpp"

#include <QLabel>

#include <algorithm>
#include <numeric>

void AnchoredPlacement::add(QWidget* widget, const QRect& place, int anchors) {
    entries_.push_back({widget, place, anchors});
    widget->setGeometry(place);
}

void AnchoredPlacement::place(QSize growth) const {
    const std::vector<int> growths = font_growths();
    const std::vector<int> shifts = font_shifts(growths);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        if (!entry.widget)
            continue;
        QRect rect = placed(entry.place, entry.anchors, growth).translated(0, shifts[i]);
        rect.setHeight(rect.height() + growths[i]);
        entry.widget->setGeometry(rect);
    }
}

int AnchoredPlacement::font_extra() const {
    const std::vector<int> growths = font_growths();
    const std::vector<int> shifts = font_shifts(growths);
    int bottom = 0;
    int moved_bottom = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const int b = entries_[i].place.bottom();
        bottom = std::max(bottom, b);
        moved_bottom = std::max(moved_bottom, b + shifts[i] + growths[i]);
    }
    return moved_bottom - bottom;
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

// A label's size hint follows its text, which may still be empty: one line of
// its font inside its frame and margins counts as well, so the label does not
// grow later when its text arrives. An empty label's size hint is not asked:
// Qt keeps the one of the font it had before (Qt 6.4 does not drop it when the
// font changes), so it would stay as tall as under a larger font given up since.
int AnchoredPlacement::grown_by_font(const Entry& entry) {
    if (!(entry.anchors & FollowsFont) || !entry.widget)
        return 0;
    const QWidget& widget = *entry.widget;
    const int around = widget.height() - widget.contentsRect().height();
    int needed = widget.fontMetrics().height() + around;
    const auto* label = qobject_cast<const QLabel*>(&widget);
    if (!label || !label->text().isEmpty() || !label->pixmap().isNull())
        needed = std::max(needed, widget.sizeHint().height());
    return std::max(0, needed - entry.place.height());
}

std::vector<int> AnchoredPlacement::font_growths() const {
    std::vector<int> growths;
    for (const Entry& entry : entries_)
        growths.push_back(grown_by_font(entry));
    return growths;
}

// Each entry goes down by as much as the entries wholly above its place went
// down and grew, the most of them; entries are taken from the top, so those
// above are known first.
std::vector<int> AnchoredPlacement::font_shifts(const std::vector<int>& growths) const {
    std::vector<std::size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return entries_[a].place.top() < entries_[b].place.top();
    });
    std::vector<int> shifts(entries_.size(), 0);
    for (std::size_t i : order) {
        const int top = entries_[i].place.top();
        for (std::size_t above : order) {
            if (entries_[above].place.top() >= top)
                break;
            if (entries_[above].place.bottom() < top)
                shifts[i] = std::max(shifts[i], shifts[above] + growths[above]);
        }
    }
    return shifts;
}
