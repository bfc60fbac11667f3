#include "startup/window_start.hpp"

#include "accessibility/atspi_guard.hpp"
#include "single_instance/single_instance.hpp"
#include "widgets/program_style.hpp"
#include "window/handed_commands.hpp"
#include "window/main_window.hpp"

namespace {

void bring_to_front(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

// The address among the arguments a later start handed over (Qt's own options
// it took itself): the first that is not an option.
QString address_in(const QStringList& arguments) {
    for (const QString& argument : arguments)
        if (!argument.isEmpty() && !argument.startsWith(QLatin1Char('-')))
            return argument;
    return {};
}

} // namespace

int run_window(int argc, char** argv, const QString& address) {
    std::unique_ptr<QApplication> application = start_application(argc, argv);
    SingleInstance instance(QStringLiteral("audiobook-client"));
    if (!instance.claim(QCoreApplication::arguments().mid(1)))
        return 0;
    guard_accessibility_bridge();
    MainWindow window;
    QObject::connect(&instance, &SingleInstance::handed_over, &window,
                     [&window](const QStringList& arguments) {
                         if (const QString handed = address_in(arguments); !handed.isEmpty())
                             window.open_address(handed);
                         bring_to_front(window);
                     });
    // Commands a later start hands over (download, check, ...) are done here.
    HandedCommands handed(window, instance);
    window.show();
    if (!address.isEmpty())
        window.open_address(address);
    application->exec();
    return 0;
}
