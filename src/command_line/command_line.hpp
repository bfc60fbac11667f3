#pragma once
// The command line: the program's second front end, over the same window-free
// objects as the window, on a QCoreApplication (no display needed). A command
// that writes is handed to the window when one runs.
#include <QString>

// Whether the arguments (the program's name first) ask for the command line
// rather than the window: a command's name or an option first.
bool wants_command_line(int argc, char** argv);

int run_command_line(int argc, char** argv);
