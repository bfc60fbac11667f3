#include "startup/window_start.hpp"

#include "accessibility/atspi_guard.hpp"
#include "single_instance/single_instance.hpp"
#include "widgets/program_style.hpp"
#include "window/main_window.hpp"

namespace {

void bring_to_front(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

// A later start hands over the address it was given, or nothing.
QStringList hand_over(const QString& address) {
    return address.isEmpty() ? QStringList() : QStringList{address};
}

} // namespace

int run_window(int argc, char** argv, const QString& address) {
    std::unique_ptr<QApplication> application = start_application(argc, argv);
    SingleInstance instance(QStringLiteral("audiobook-client"));
    if (!instance.claim(hand_over(address)))
        return 0;
    guard_accessibility_bridge();
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::handed_over, &window,
                     [&window](const QStringList& arguments) {
                         if (!arguments.isEmpty() && !arguments.front().isEmpty())
                             window.open_address(arguments.front());
                         bring_to_front(window);
                     });
    window.show();
    if (!address.isEmpty())
        window.open_address(address);
    application->exec();
    return 0;
}
