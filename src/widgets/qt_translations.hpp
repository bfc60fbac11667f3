#pragma once
// Qt's own texts (the buttons of message boxes and dialogs, the file dialog,
// the edit boxes' context menus) in simplified Chinese, from the translations
// the distribution installs with Qt.

// With an application in place; false when the translations are not installed,
// and Qt's texts stay English.
bool install_qt_translations();
