#include "platform/program_style.hpp"

#include <QApplication>
#include <QStyleFactory>

#include <cstdlib>
#include <string_view>

namespace {

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

} // namespace

void use_program_style(int argc, char** argv) {
    if (style_asked_for(argc, argv))
        return;
    if (QStyle* style = QStyleFactory::create("Windows"))
        QApplication::setStyle(style);
}
