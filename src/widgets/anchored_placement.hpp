#pragma once
// Places child widgets from their places at a window's default size: when the
// window grows or shrinks, each widget follows the edges it is anchored to.
#include <QPointer>
#include <QRect>
#include <QWidget>

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
    };

    // `widget` stands at `place` when the window has its default size.
    void add(QWidget* widget, const QRect& place, int anchors);

    // Puts every widget where it belongs when the window is `growth` larger than
    // its default size (negative when smaller).
    void place(QSize growth) const;

    // Where `place` puts a widget anchored so.
    static QRect placed(const QRect& place, int anchors, QSize growth);

  private:
    struct Entry {
        QPointer<QWidget> widget;
        QRect place;
        int anchors;
    };
    std::vector<Entry> entries_;
};
