#include "widgets/cached_text_delegate.hpp"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

namespace {

// Enough for every visible cell of a few lists; beyond it the cache starts over.
constexpr qsizetype cache_limit = 4096;

// The colour group the style would draw the cell's text in.
QPalette::ColorGroup text_group(const QStyleOptionViewItem& option) {
    if (!(option.state & QStyle::State_Enabled))
        return QPalette::Disabled;
    return option.state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
}

// Texts the style lays out over several lines are left to it.
bool single_line(const QString& text, const QStyleOptionViewItem& option) {
    return !(option.features & QStyleOptionViewItem::WrapText) && !text.contains(QChar('\n')) &&
           !text.contains(QChar::LineSeparator);
}

} // namespace

void CachedTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if (cell.text.isEmpty() || !single_line(cell.text, cell)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = cell.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QString text = cell.text;
    cell.text.clear();
    // Background, selection, focus, icon and check box, as the style draws them.
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    // The text goes where the style would put it, with the style's margins.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, widget)
                           .adjusted(margin, 0, -margin, 0);
    if (area.width() <= 0)
        return;
    const LaidOut& text_out = laid_out(text, cell, area.width());
    // Lines sit at whole pixels vertically but keep their fractional offset when
    // aligned right or centred, as the style's text layout places them.
    const QRect placed = QStyle::alignedRect(cell.direction, cell.displayAlignment,
                                             QSize(int(text_out.width), text_out.height), area);
    const Qt::Alignment across = QStyle::visualAlignment(cell.direction, cell.displayAlignment);
    qreal x = area.left();
    if (across & Qt::AlignRight)
        x += area.width() - text_out.width;
    else if (across & Qt::AlignHCenter)
        x += (area.width() - text_out.width) / 2;

    painter->save();
    painter->setClipRect(area, Qt::IntersectClip);
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(text_group(cell), cell.state & QStyle::State_Selected
                                                             ? QPalette::HighlightedText
                                                             : QPalette::Text));
    painter->drawStaticText(QPointF(x, placed.top()), text_out.glyphs);
    painter->restore();
}

QSize CachedTextDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QSize hint = QStyledItemDelegate::sizeHint(option, index);
    if (index.data(Qt::SizeHintRole).isValid())
        return hint; // the model's own
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if (!(cell.features & QStyleOptionViewItem::HasDecoration))
        return hint;
    const int icon_height = cell.decorationSize.height();
    cell.features &= ~QStyleOptionViewItem::HasDecoration;
    cell.icon = QIcon();
    cell.decorationSize = QSize();
    const QWidget* widget = cell.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const int text_height =
        style->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), widget).height();
    if (icon_height <= text_height)
        hint.setHeight(text_height);
    return hint;
}

const CachedTextDelegate::LaidOut& CachedTextDelegate::laid_out(const QString& text,
                                                                const QStyleOptionViewItem& option,
                                                                int width) const {
    if (option.font != cache_font_) {
        laid_out_.clear();
        cache_font_ = option.font;
    }
    const Key key{text, width, int(option.textElideMode)};
    auto found = laid_out_.constFind(key);
    if (found != laid_out_.constEnd())
        return *found;
    if (laid_out_.size() >= cache_limit)
        laid_out_.clear();
    const QString shown = option.fontMetrics.elidedText(text, option.textElideMode, width);
    LaidOut out;
    out.glyphs.setText(shown);
    out.glyphs.setTextFormat(Qt::PlainText);
    out.glyphs.setPerformanceHint(QStaticText::AggressiveCaching);
    out.glyphs.prepare(QTransform(), option.font);
    out.width = QFontMetricsF(option.font).horizontalAdvance(shown);
    out.height = out.glyphs.size().toSize().height();
    return *laid_out_.insert(key, out);
}
