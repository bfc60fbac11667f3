#pragma once
// The look of the program's controls: the classic Windows-like style, which is
// also cheap to draw (the window is redrawn after every row of a long query or
// download). A style the user asked for with -style or QT_STYLE_OVERRIDE wins.
#include <QApplication>

#include <memory>

// The application object of the program, in its own look unless the user asked
// for a style, tied to the program's menu entry and icon. The arguments are
// looked at before the application takes -style out of them; `argc` and `argv`
// must outlive the application.
std::unique_ptr<QApplication> start_application(int& argc, char** argv);

// Whether the arguments or the environment ask for a style.
bool style_asked_for(int argc, char** argv);

// With a QApplication in place: the classic look unless the user asked for a
// style. Given the arguments, they must be the ones the application has not
// yet consumed.
void use_program_style(bool user_asked);
void use_program_style(int argc, char** argv);
