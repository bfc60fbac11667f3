// The program's application object, made the way the program starts, one after
// another in this process: the desktop's style unless the command line or the
// environment asks for another, which survives the application taking its
// arguments.
#include "widgets/program_style.hpp"

#include <QStyle>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Case {
    std::vector<std::string> arguments;
    const char* environment; // QT_STYLE_OVERRIDE, or nullptr
    const char* style;       // the style the application ends up with
    int arguments_left;      // argc once the application took its own arguments
};

TEST(ProgramStart, TheDesktopsStyleUnlessAnotherIsAskedFor) {
    // The offscreen platform's desktop style is Fusion. A style once asked for
    // stays with Qt for the rest of the process, so the cases that ask come last.
    const Case cases[] = {
        {{}, nullptr, "fusion", 1},
        {{"-stylewindows"}, nullptr, "fusion", 2},
        {{"-s", "windows"}, nullptr, "fusion", 3},
        {{}, "windows", "windows", 1},
        {{"-style", "windows"}, nullptr, "windows", 1},
        {{"-style=fusion"}, nullptr, "fusion", 1},
        {{"--style", "windows"}, nullptr, "windows", 1},
        {{"--style=fusion"}, nullptr, "fusion", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? std::string("(none)") : c.arguments.front());
        if (c.environment)
            setenv("QT_STYLE_OVERRIDE", c.environment, 1);
        else
            unsetenv("QT_STYLE_OVERRIDE");
        std::vector<std::string> storage = {"audiobook-client"};
        storage.insert(storage.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : storage)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int argc = int(storage.size());

        std::unique_ptr<QApplication> application = start_application(argc, argv.data());
        EXPECT_EQ(QApplication::style()->name().toLower().toStdString(), c.style);
        EXPECT_EQ(argc, c.arguments_left);
        // Qt's own texts are Chinese from the start.
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").remove('&'),
                  QString::fromUtf8("取消"));
    }
    unsetenv("QT_STYLE_OVERRIDE");
}

} // namespace
