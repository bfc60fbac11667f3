// The program's application object, made the way the program starts, one after
// another in this process: a style asked for on the command line survives the
// application taking its arguments.
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

TEST(ProgramStart, TheStyleAskedForWinsOverTheProgramsOwnLook) {
    const Case cases[] = {
        {{}, nullptr, "windows", 1},
        {{"-style", "fusion"}, nullptr, "fusion", 1},
        {{"-style=fusion"}, nullptr, "fusion", 1},
        {{"--style", "fusion"}, nullptr, "fusion", 1},
        {{"--style=fusion"}, nullptr, "fusion", 1},
        {{"-stylefusion"}, nullptr, "windows", 2},
        {{"-s", "fusion"}, nullptr, "windows", 3},
        {{}, "fusion", "fusion", 1},
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
    }
    unsetenv("QT_STYLE_OVERRIDE");
}

} // namespace
