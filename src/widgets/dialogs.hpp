#pragma once
// Message boxes and the folder dialog: real, modal Qt dialogs.
#include "text/text.hpp"

#include <QString>

class QFont;
class QMessageBox;
class QWidget;

// The program's name, the title of its main window and of its message boxes.
QString program_title();

// A modal message box titled with the program's name, with the text and a single OK button; returns when closed.
void show_message(QWidget* parent, const Text& text);
// The same with a second, smaller line below the text (none when `detail` is empty).
void show_message(QWidget* parent, const Text& text, const Text& detail);

// The width a window needs for `title` in its frame (0 for none), and a message
// box made at least that wide; call once its text and buttons are in.
int title_room(const QString& title, const QFont& font);
void fit_title(QMessageBox& box);

// A modal folder dialog with the title; the chosen folder's full path as the
// widgets show it (it may hold characters GBK cannot), or the empty string when
// the user cancels.
QString choose_folder(QWidget* parent, const Text& title, const QString& start_in = {});
