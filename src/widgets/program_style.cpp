#include "widgets/program_style.hpp"

#include "widgets/qt_translations.hpp"

#include <QIcon>

std::unique_ptr<QApplication> start_application(int& argc, char** argv) {
    auto application = std::make_unique<QApplication>(argc, argv);
    install_qt_translations();
    // The installed menu entry and icon: the desktop ties the window to them.
    QGuiApplication::setDesktopFileName("io.github.audiobook_client");
    QApplication::setWindowIcon(QIcon::fromTheme("io.github.audiobook_client"));
    return application;
}
