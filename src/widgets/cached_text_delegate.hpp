#pragma once
// An item delegate for report-style lists that are repainted often while little
// changes: it keeps each cell's laid-out (and elided) text, so a repaint of the
// list draws prepared glyphs instead of shaping every visible cell again.
#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

class CachedTextDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // A cell's icon no taller than its text leaves the cell as tall as the
    // text alone: the style adds a margin to any cell with an icon.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    // A text prepared for drawing, with the size the style would give its layout.
    struct LaidOut {
        QStaticText glyphs;
        qreal width; // natural width; the style's layout box truncates it
        int height;
    };
    const LaidOut& laid_out(const QString& text, const QStyleOptionViewItem& option,
                            int width) const;

    // Texts laid out in cache_font_, by text, width and elide mode.
    struct Key {
        QString text;
        int width;
        int elide;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) {
        return qHashMulti(seed, key.text, key.width, key.elide);
    }
    mutable QHash<Key, LaidOut> laid_out_;
    mutable QFont cache_font_;
};
