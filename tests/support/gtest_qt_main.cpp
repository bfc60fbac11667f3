// Test entry for tests that drive widgets: a QApplication on the offscreen
// platform unless the environment names another one. The offscreen screen is
// one of 1366 x 768, as small a screen as the program is made for.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || std::string_view(platform) == "offscreen")
        setenv("QT_QPA_PLATFORM", "offscreen:configfile=" OFFSCREEN_SCREEN_FILE, 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
