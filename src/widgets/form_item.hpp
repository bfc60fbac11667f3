#pragma once
// A control in a layout, sized from the form it was drawn on: at least as large
// as the form draws it, and as large as its font needs (a caption or a button
// of one line as wide as its text, a control of text as tall as its size hint).
// A control that stretches takes the room the layout gives it, down to its
// smallest size; one that does not keeps the size it asks for.
#include <QSize>
#include <QWidgetItem>

class FormItem : public QWidgetItem {
  public:
    enum Growth {
        Fixed = 0,
        Wide = 1,       // takes the width the layout gives it
        Tall = 2,       // takes the height the layout gives it
        KeepsSize = 4,  // the font does not change it (pictures, a block of text)
    };

    // `smallest` is the least the control takes when it stretches (the form's
    // size when not given).
    FormItem(QWidget* widget, QSize form, int growth = Fixed, QSize smallest = {});

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    Qt::Orientations expandingDirections() const override;

    // What a control needs at its font: the width of its one-line caption or
    // button text (0 for other labels, the least width for other controls) and
    // the height of a line of it, or of its size hint.
    static QSize needed(const QWidget& widget);

    // Another size on the form (a control taking the room of a neighbour that
    // is hidden); the layout is told.
    void set_form(QSize form);

  private:
    QSize form_;
    QSize smallest_;
    int growth_;
};
