// Program start: a command (download, follow, check, ...) or --help and
// --version run the command line on a QCoreApplication, with no display, and
// so do the feeds' serve and feeds; anything else starts the window, with the
// play page address given, if any.
#include "command_line/command_line.hpp"
#include "feeds/feeds_command.hpp"
#include "startup/window_start.hpp"

#include <QString>

#include <cstring>
#include <string_view>

namespace {

// Qt's own options that take the next argument as their value.
bool takes_value(const char* option) {
    for (const char* name :
         {"-style", "-stylesheet", "-platform", "-platformpluginpath", "-platformtheme", "-plugin",
          "-display", "-geometry", "-qwindowgeometry", "-title", "-qwindowtitle", "-qwindowicon",
          "-session", "-name"})
        if (std::strcmp(option, name) == 0 ||
            (option[1] == '-' && std::strcmp(option + 1, name) == 0))
            return true;
    return false;
}

// The first argument that is no option nor an option's value, or nothing.
QString first_positional(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-')
            return QString::fromLocal8Bit(argv[i]);
        if (takes_value(argv[i]))
            ++i;
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::string_view(argv[1]) == "serve" || std::string_view(argv[1]) == "feeds"))
        return feeds_main(argc, argv);
    if (wants_command_line(argc, argv))
        return run_command_line(argc, argv);
    return run_window(argc, argv, first_positional(argc, argv));
}
