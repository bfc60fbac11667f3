#include "widgets/anchored_placement.hpp"

#include <QAbstractButton>
#include <QLabel>

#include <algorithm>
#include <numeric>
#include <optional>

void AnchoredPlacement::add(QWidget* widget, const QRect& place, int anchors) {
    entries_.push_back({widget, place, anchors});
    widget->setGeometry(place);
}

void AnchoredPlacement::place(QSize growth) const {
    const std::vector<int> growths = font_growths();
    const std::vector<int> shifts = font_shifts(growths);
    std::vector<QRect> rects;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        QRect rect = placed(entries_[i].place, entries_[i].anchors, growth).translated(0, shifts[i]);
        rect.setHeight(rect.height() + growths[i]);
        rects.push_back(rect);
    }
    fit_widths(rects);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].widget)
            entries_[i].widget->setGeometry(rects[i]);
}

// The width a one-line caption or button needs to show its text's ink (a
// full-width colon's empty half may stay cut); 0 for other widgets, which keep
// their width.
int AnchoredPlacement::text_width(const Entry& entry) {
    if (!(entry.anchors & FollowsFont) || !entry.widget)
        return 0;
    const QWidget& widget = *entry.widget;
    QString text;
    int padding = widget.width() - widget.contentsRect().width() + 2;
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->wordWrap() || label->textFormat() == Qt::RichText ||
            Qt::mightBeRichText(label->text()))
            return 0;
        text = label->text();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        text = button->text();
        padding += 8;
    }
    return text.isEmpty() ? 0 : widget.fontMetrics().boundingRect(text).width() + padding;
}

// The entry nearest to entry `i` on its left (or right) in its row, if any.
std::optional<std::size_t> AnchoredPlacement::nearest_beside(const std::vector<QRect>& rects,
                                                             std::size_t i, bool leftward) {
    const auto distance = [&](std::size_t k) {
        return leftward ? rects[i].left() - rects[k].right() : rects[k].left() - rects[i].right();
    };
    std::optional<std::size_t> nearest;
    for (std::size_t j = 0; j < rects.size(); ++j) {
        const bool same_row = rects[j].top() <= rects[i].bottom() && rects[j].bottom() >= rects[i].top();
        if (j != i && same_row && distance(j) > 0 && (!nearest || distance(j) < distance(*nearest)))
            nearest = j;
    }
    return nearest;
}

// A caption or button whose text needs more width than its place takes it on
// its free side: toward the window's left when it moves with the right edge,
// else toward the right. The gap to the nearest widget beside it in its row
// goes first (a little of it is kept); then a neighbour that stretches gives up
// the rest from its near edge, down to half its width; a fixed one stops it.
void AnchoredPlacement::fit_widths(std::vector<QRect>& rects) const {
    constexpr int kept_gap = 4;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const int missing = text_width(entries_[i]) - rects[i].width();
        if (missing <= 0)
            continue;
        const bool leftward = entries_[i].anchors & MoveRight;
        int room = missing;
        int from_neighbour = 0;
        if (const auto beside = nearest_beside(rects, i, leftward)) {
            QRect& n = rects[*beside];
            const int gap = (leftward ? rects[i].left() - n.right() : n.left() - rects[i].right()) - 1;
            room = std::min(missing, std::max(0, gap - kept_gap));
            if (room < missing && (entries_[*beside].anchors & StretchRight))
                from_neighbour = std::min(missing - room, n.width() / 2);
            if (leftward)
                n.setRight(n.right() - from_neighbour);
            else
                n.setLeft(n.left() + from_neighbour);
        }
        if (leftward)
            rects[i].setLeft(rects[i].left() - room - from_neighbour);
        else
            rects[i].setRight(rects[i].right() + room + from_neighbour);
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
