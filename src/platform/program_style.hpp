#pragma once
// The look of the program's controls: the classic Windows-like style, which is
// also cheap to draw (the window is redrawn after every row of a long query or
// download). A style the user asked for with -style or QT_STYLE_OVERRIDE wins.

// Call after the QApplication exists, with the arguments it was given.
void use_program_style(int argc, char** argv);
