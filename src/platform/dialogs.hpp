#pragma once
// Message boxes and the folder dialog: real, modal Qt dialogs.
#include "text/text.hpp"

class QWidget;

// A modal message box with the text and a single OK button; returns when closed.
void show_message(QWidget* parent, const Text& text);

// A modal folder dialog with the title; the chosen folder's full path, or the
// empty text when the user cancels.
Text choose_folder(QWidget* parent, const Text& title);
