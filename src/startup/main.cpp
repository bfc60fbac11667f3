// Program start: the application; a start while the program already runs hands
// its arguments to that one, which comes to the front, and ends; else the main
// window (its created handler runs as it is shown), the event loop until the
// window is closed, exit code 0.
#include "accessibility/atspi_guard.hpp"
#include "feeds/feeds_command.hpp"
#include "single_instance/single_instance.hpp"
#include "window/main_window.hpp"
#include "widgets/program_style.hpp"

namespace {

void bring_to_front(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

int main(int argc, char** argv) {
    // The feeds' commands need no display (until the command line takes them in).
    if (argc > 1 && (std::string_view(argv[1]) == "serve" || std::string_view(argv[1]) == "feeds"))
        return feeds_main(argc, argv);
    std::unique_ptr<QApplication> application = start_application(argc, argv);
    SingleInstance instance(QStringLiteral("audiobook-client"));
    if (!instance.claim(QCoreApplication::arguments().mid(1)))
        return 0;
    guard_accessibility_bridge();
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::handed_over, &window,
                     [&window] { bring_to_front(window); });
    window.show();
    application->exec();
    return 0;
}
