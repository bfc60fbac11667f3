#pragma once
// Places child widgets from their places at a window's default size: when the
// window grows or shrinks, each widget follows the edges it is anchored to. A
// widget of one line of text can follow the font as well: it is as tall as its
// place or as its font needs, whichever is more, and what it grows by pushes
// every widget wholly below its place down by as much; a caption or button also
// widens to show its text, taking the room beside it in its row.
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <optional>
#include <vector>

class AnchoredPlacement {
  public:
    // Which of a widget's edges move with the window's right and bottom edges.
    enum Anchor {
        Fixed = 0,
        MoveRight = 1,    // left and right edges follow the window's right edge
        StretchRight = 2, // the right edge alone follows it
        MoveDown = 4,     // top and bottom edges follow the window's bottom edge
        StretchDown = 8,  // the bottom edge alone follows it
        FollowsFont = 16, // at least as tall as its size hint or a line of its font
    };

    // `widget` stands at `place` when the window has its default size.
    void add(QWidget* widget, const QRect& place, int anchors);

    // Puts every widget where it belongs when the window is `growth` larger than
    // its default size (negative when smaller).
    void place(QSize growth) const;

    // How much lower the lowest widget's bottom edge comes to lie because of the
    // font: what the window's default height grows by (0 when every widget fits
    // its place).
    int font_extra() const;

    // Where `place` puts a widget anchored so.
    static QRect placed(const QRect& place, int anchors, QSize growth);

  private:
    struct Entry {
        QPointer<QWidget> widget;
        QRect place;
        int anchors;
    };
    // What the font adds to an entry's height, and to each entry's.
    static int grown_by_font(const Entry& entry);
    static int text_width(const Entry& entry);
    static std::optional<std::size_t> nearest_beside(const std::vector<QRect>& rects,
                                                     std::size_t i, bool leftward);
    void fit_widths(std::vector<QRect>& rects) const;
    std::vector<int> font_growths() const;
    // How far the font pushes each entry down.
    std::vector<int> font_shifts(const std::vector<int>& growths) const;

    std::vector<Entry> entries_;
};
