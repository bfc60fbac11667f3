#include "widgets/form_item.hpp"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

#include <algorithm>

FormItem::FormItem(QWidget* widget, QSize form, int growth, QSize smallest)
    : QWidgetItem(widget), form_(form), smallest_(smallest.isValid() ? smallest : form),
      growth_(growth) {
    // The rectangle the layout gives is the widget's own, in every style.
    widget->setAttribute(Qt::WA_LayoutUsesWidgetRect);
    widget->setSizePolicy(growth & Wide ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                          growth & Tall ? QSizePolicy::Expanding : QSizePolicy::Fixed);
    // In a cell larger than it, a control that does not stretch stands at its
    // top left, where the form puts it (Qt would centre it).
    setAlignment(Qt::Alignment(growth & Wide ? 0 : int(Qt::AlignLeft)) |
                 Qt::Alignment(growth & Tall ? 0 : int(Qt::AlignTop)));
}

// The ink of a one-line caption or button text, with the widget's frame and a
// little room (a full-width colon's empty half may stay cut). A label's size
// hint follows its text, which may still be empty: one line of its font inside
// its frame counts as well, so the label does not grow when its text arrives.
// An empty label's size hint is not asked: Qt keeps the one of the font it had
// before, so it would stay as tall as under a larger font given up since.
QSize FormItem::needed(const QWidget& widget) {
    const int around_h = widget.width() - widget.contentsRect().width();
    const int around_v = widget.height() - widget.contentsRect().height();
    int height = widget.fontMetrics().height() + around_v;
    QString text;
    int padding = around_h + 2;
    const auto* label = qobject_cast<const QLabel*>(&widget);
    int width = 0;
    if (label) {
        const bool rich = label->textFormat() == Qt::RichText ||
                          (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
        if (label->wordWrap())
            ; // it takes more lines, not more width
        else if (rich)
            width = label->sizeHint().width(); // a link: the width of its laid-out text
        else
            text = label->text();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        text = button->text();
        padding += 8;
    } else {
        width = widget.minimumSizeHint().expandedTo(widget.minimumSize()).width();
    }
    if (!label || !label->text().isEmpty() || !label->pixmap().isNull())
        height = std::max(height, widget.sizeHint().height());
    if (!text.isEmpty())
        width = widget.fontMetrics().boundingRect(text).width() + padding;
    return {width, height};
}

void FormItem::set_form(QSize form) {
    form_ = form;
    smallest_ = form;
    invalidate();
    if (widget())
        widget()->updateGeometry();
}

// A hidden control takes no room, as in any layout.
QSize FormItem::sizeHint() const {
    if (isEmpty())
        return {0, 0};
    if (growth_ & KeepsSize)
        return form_;
    return form_.expandedTo(needed(*widget()));
}

QSize FormItem::minimumSize() const {
    if (isEmpty())
        return {0, 0};
    if (growth_ & KeepsSize)
        return smallest_;
    const QSize hint = sizeHint();
    return {growth_ & Wide ? std::max(smallest_.width(), needed(*widget()).width()) : hint.width(),
            growth_ & Tall ? smallest_.height() : hint.height()};
}

QSize FormItem::maximumSize() const {
    const QSize hint = sizeHint();
    return {growth_ & Wide ? QWIDGETSIZE_MAX : hint.width(),
            growth_ & Tall ? QWIDGETSIZE_MAX : hint.height()};
}

Qt::Orientations FormItem::expandingDirections() const {
    Qt::Orientations directions;
    if (growth_ & Wide)
        directions |= Qt::Horizontal;
    if (growth_ & Tall)
        directions |= Qt::Vertical;
    return directions;
}
