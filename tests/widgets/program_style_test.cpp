// The program's own look, unless the user asked for another style.
#include "widgets/program_style.hpp"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString style_name() {
    return QApplication::style()->name().toLower();
}

class ProgramStyle : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("QT_STYLE_OVERRIDE");
        QApplication::setStyle(QStyleFactory::create("Fusion"));
    }
    void TearDown() override { unsetenv("QT_STYLE_OVERRIDE"); }
};

TEST_F(ProgramStyle, ClassicLookByDefault) {
    char program[] = "audiobook-client";
    char* argv[] = {program, nullptr};
    use_program_style(1, argv);
    EXPECT_EQ(style_name(), "windows");
}

TEST_F(ProgramStyle, AStyleTheUserAskedForWins) {
    char program[] = "audiobook-client";
    for (const char* asked : {"-style", "--style", "-style=fusion", "--style=fusion"}) {
        SCOPED_TRACE(asked);
        std::string argument = asked;
        char* argv[] = {program, argument.data(), nullptr};
        use_program_style(2, argv);
        EXPECT_EQ(style_name(), "fusion");
    }
    setenv("QT_STYLE_OVERRIDE", "fusion", 1);
    char* argv[] = {program, nullptr};
    use_program_style(1, argv);
    EXPECT_EQ(style_name(), "fusion");
}

} // namespace
