#pragma once
// The program's application object: the desktop's look (Qt's choice of style for
// the platform and its palette, dark included), unless -style or
// QT_STYLE_OVERRIDE names another; Qt's own texts in Chinese; tied to the
// program's menu entry and icon.
#include <QApplication>

#include <memory>

// `argc` and `argv` must outlive the application.
std::unique_ptr<QApplication> start_application(int& argc, char** argv);
