#include "widgets/program_style.hpp"

#include <QIcon>
#include <QStyleFactory>

#include <cstdlib>
#include <string_view>

bool style_asked_for(int argc, char** argv) {
    const char* override_style = std::getenv("QT_STYLE_OVERRIDE");
    if (override_style && *override_style)
        return true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-style" || argument == "--style" || argument.starts_with("-style=") ||
            argument.starts_with("--style="))
            return true;
    }
    return false;
}

void use_program_style(bool user_asked) {
    if (user_asked)
        return;
    if (QStyle* style = QStyleFactory::create("Windows"))
        QApplication::setStyle(style);
}

void use_program_style(int argc, char** argv) {
    use_program_style(style_asked_for(argc, argv));
}

std::unique_ptr<QApplication> start_application(int& argc, char** argv) {
    const bool user_asked = style_asked_for(argc, argv);
    auto application = std::make_unique<QApplication>(argc, argv);
    use_program_style(user_asked);
    // The installed menu entry and icon: the desktop ties the window to them.
    QGuiApplication::setDesktopFileName("io.github.audiobook_client");
    QApplication::setWindowIcon(QIcon::fromTheme("io.github.audiobook_client"));
    return application;
}
