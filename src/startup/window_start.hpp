#pragma once
// The window's start: the application; a start while the program already runs
// hands its arguments to that one, which loads the address among them and comes
// to the front, and ends; else the main window, with `address` loaded in it as
// a paste would load it, and the event loop until the window is closed.
#include <QString>

// Returns the program's exit code (0). `address` may be empty: the window then
// shows what the settings keep.
int run_window(int argc, char** argv, const QString& address);
