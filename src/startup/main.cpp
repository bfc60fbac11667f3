// Program start: a command (download, follow, check, ...) or --help and
// --version run the command line on a QCoreApplication, with no display;
// anything else starts the window, with the play page address given, if any.
#include "command_line/command_line.hpp"

#include "accessibility/atspi_guard.hpp"
#include "single_instance/single_instance.hpp"
#include "window/handed_commands.hpp"
#include "window/main_window.hpp"
#include "widgets/program_style.hpp"

namespace {

void bring_to_front(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

// The window's start, as it was before the command line came; a start while
// the program already runs hands its arguments to that one, which comes to
// the front, and ends. Commands handed over are done by the window.
int run_window(int argc, char** argv, const QString& /*address*/) {
    std::unique_ptr<QApplication> application = start_application(argc, argv);
    SingleInstance instance(QStringLiteral("audiobook-client"));
    if (!instance.claim(QCoreApplication::arguments().mid(1)))
        return 0;
    guard_accessibility_bridge();
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::handed_over, &window,
                     [&window] { bring_to_front(window); });
    HandedCommands handed(window, instance);
    window.show();
    application->exec();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (wants_command_line(argc, argv))
        return run_command_line(argc, argv);
    return run_window(argc, argv, argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
}
