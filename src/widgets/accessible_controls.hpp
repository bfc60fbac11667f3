#pragma once
// How the program's standard controls read to a screen reader, where Qt's own
// accessible objects read them wrongly or twice:
// - a single-line text box gives its whole text as the line at any offset, and
//   its attributes in one run over the whole text: a screen reader reads the
//   line at the caret and the selection in the stretches of those runs, and
//   Qt 6.4's boxes answer empty runs, which cut off the last character;
// - a slider with a value text (set_accessible_value_text) gives that text as
//   its value, in place of the bare number;
// - a combo box is named by its purpose (its accessible name), with the choice
//   as its value; Qt names it by the choice and keeps the purpose for its
//   description.
// Once, before the first control is read (the main window and the player do it).
#include <QString>

class QAbstractItemView;
class QWidget;

void install_accessible_controls();

// The words a screen reader says for the control's value ("01:05 / 45:00"
// rather than 65).
void set_accessible_value_text(QWidget* control, const QString& text);

// The view takes the keyboard focus (not by a click) with a current item, the
// first chosen or else the first, and a screen reader is told of that item, not
// only of the view; nothing is chosen by it.
void read_current_item_on_focus(QAbstractItemView* view);
