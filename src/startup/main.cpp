// Program start: the application, the main window (its created handler runs as
// it is shown), the event loop until the window is closed, exit code 0.
#include "accessibility/atspi_guard.hpp"
#include "window/main_window.hpp"
#include "widgets/program_style.hpp"

int main(int argc, char** argv) {
    std::unique_ptr<QApplication> application = start_application(argc, argv);
    guard_accessibility_bridge();
    MainWindow window;
    window.show();
    application->exec();
    return 0;
}
