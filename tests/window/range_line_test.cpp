// The line under the range boxes says what 查询 will list as the user types,
// agrees with what the query then lists, and moves no other control.
#include "widgets/run_progress_line.hpp"
#include "window_fixture.hpp"

#include <QTreeView>

namespace {

class RangeLineTest : public WindowFixture {};

} // namespace

TEST_F(RangeLineTest, SaysWhatTheQueryWillListAsTheUserTypes) {
    configure(address());
    open_window();
    auto* line = window->findChild<RunProgressLine*>(QStringLiteral("range_line"));
    ASSERT_TRUE(line);
    auto* start = control<QLineEdit>("编辑框2");
    auto* span = control<QLineEdit>("编辑框3");
    const std::vector<QWidget*> others = {control<QWidget>("超级列表框1"), control<QWidget>("按钮1"),
                                          control<QWidget>("播放器1"), control<QWidget>("按钮2"),
                                          start, span};
    std::vector<QRect> places;
    for (const QWidget* w : others)
        places.push_back(w->geometry());
    EXPECT_GE(line->y(), start->geometry().bottom()); // under the boxes
    EXPECT_LE(line->x(), start->x() + 4);

    struct Case {
        const char* start;
        const char* span;
        const char* said;
        const char* first; // the labels the query lists first and last; "" when none
        const char* last;
    };
    const Case cases[] = {
        {"35", "10", "将列出第36集–第45集", "第36集", "第45集"},
        {"0", "1", "将列出第1集", "第1集", "第1集"},
        {"118", "2", "将列出第119集–第120集", "第119集", "第120集"},
        {"35", "0", "不会列出任何一集", "", ""},
        {"35", "x", "不会列出任何一集", "", ""},
        {"35", "2.9", "将列出第36集–第37集", "第36集", "第37集"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + "+" + c.span);
        start->clear();
        span->clear();
        QTest::keyClicks(start, c.start);
        QTest::keyClicks(span, c.span);
        EXPECT_EQ(from_qstring(line->line()), gbk(c.said));
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
        const int rows = window->episodes().row_count();
        if (*c.first == 0) {
            EXPECT_EQ(rows, 0);
        } else {
            ASSERT_GT(rows, 0);
            EXPECT_EQ(window->episodes().cell(0, 0), gbk(c.first));
            EXPECT_EQ(window->episodes().cell(rows - 1, 0), gbk(c.last));
        }
        for (std::size_t i = 0; i < others.size(); ++i)
            EXPECT_EQ(others[i]->geometry(), places[i]) << i;
    }
}
