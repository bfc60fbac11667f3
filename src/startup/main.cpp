// Program start: the application, the main window (its created handler runs as
// it is shown), the event loop until the window is closed, exit code 0.
#include "catalogue/main_window.hpp"
#include "platform/program_style.hpp"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    use_program_style(argc, argv);
    MainWindow window;
    window.show();
    application.exec();
    return 0;
}
