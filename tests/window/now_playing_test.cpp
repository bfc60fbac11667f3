// What plays, through the real main window: the now-playing line and the
// window title name the book and episode whichever list is shown, ▶ stays on
// that episode's row in every list that holds it, the details follow the book
// of the list shown, and the queue moving on leaves the user's row and focus
// where they were while saying each move.
#include "playback/media_player.hpp"
#include "playback/player.hpp"
#include "widgets/announcer.hpp"
#include "widgets/run_progress_line.hpp"
#include "window_fixture.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>

namespace {

class WhatPlays : public WindowFixture {
  protected:
    void open_book() {
        configure(address());
        open_window();
        ASSERT_FALSE(window->session().book().title.empty());
        list = control<QTreeView>("超级列表框1");
        line = window->findChild<RunProgressLine*>(QStringLiteral("now_playing"));
        ASSERT_TRUE(line);
    }
    void query(const char* start, const char* span) {
        control<QLineEdit>("编辑框2")->setText(start);
        control<QLineEdit>("编辑框3")->setText(span);
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
    }
    void click_row(int row) {
        const QModelIndex item = list->model()->index(row, 0);
        ASSERT_TRUE(item.isValid());
        list->scrollTo(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    }
    // The rows whose mark column shows ▶.
    std::vector<int> rows_playing() const {
        std::vector<int> playing;
        for (int r = 0; r < window->episodes().row_count(); ++r)
            if (window->episodes().data(window->episodes().index(r, 2)).toString() ==
                QStringLiteral("\u25B6"))
                playing.push_back(r);
        return playing;
    }
    Player& player() const { return window->session().player(); }

    QTreeView* list = nullptr;
    RunProgressLine* line = nullptr;
};

class LongWhatPlays : public WhatPlays {
  protected:
    LongWhatPlays() { site_options.episode_size = 4 * 1024 * 1024; }
};

} // namespace

TEST_F(LongWhatPlays, TheLineAndTitleNameWhatPlaysAndItsRowKeepsTheMark) {
    open_book();
    EXPECT_TRUE(line->line().isEmpty());
    query("35", "3");
    const QRect place = line->geometry();
    click_row(0);
    const QString playing = QString::fromUtf8("正在播放《") + to_qstring(book.title) +
                            QString::fromUtf8("》第36集");
    ASSERT_TRUE(eventually([&] { return line->line() == playing; })) << line->line().toStdString();
    EXPECT_TRUE(window->windowTitle().startsWith(playing + QStringLiteral(" - ")))
        << window->windowTitle().toStdString();
    EXPECT_EQ(line->geometry(), place); // its room was there before it said anything

    struct Step {
        const char* start;
        const char* span;
        std::vector<int> marked;
    };
    const Step steps[] = {{"40", "2", {}}, {"35", "3", {0}}, {"33", "4", {2}}, {"35", "3", {0}}};
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.start) + "+" + s.span);
        query(s.start, s.span);
        ASSERT_TRUE(eventually([&] { return rows_playing() == s.marked; }));
        EXPECT_EQ(line->line(), playing);
        EXPECT_TRUE(window->windowTitle().startsWith(playing));
    }

    QTest::mouseClick(control<MediaPlayer>("播放器1")->findChild<QToolButton*>("play_pause_button"),
                      Qt::LeftButton);
    const QString paused = QString::fromUtf8("已暂停《") + to_qstring(book.title) +
                           QString::fromUtf8("》第36集");
    EXPECT_TRUE(eventually([&] { return line->line() == paused; })) << line->line().toStdString();
    EXPECT_TRUE(window->windowTitle().startsWith(paused));
}

// A book opened from the library shows its own title and cover, never the
// loaded page's details, and the follow switch follows it; the loaded book's
// list brings its details back.
TEST_F(LongWhatPlays, TheDetailsAndTheFollowSwitchFollowTheListShown) {
    make_file(save.path / "0 other" / "0 other_1.mp3");
    open_book();
    auto* details = control<QLabel>("标签2");
    auto* follow = window->findChild<QCheckBox*>(QStringLiteral("follow_switch"));
    ASSERT_TRUE(follow);
    const auto other_index = [this] {
        const auto& folders = window->session().folders();
        for (std::size_t i = 0; i < folders.size(); ++i)
            if (folders[i].name == "0 other")
                return int(i);
        return -1;
    };
    struct Step {
        const char* shown; // "other" or "loaded"
        bool has_author;
        bool can_follow;
    };
    const Step steps[] = {{"loaded", true, true}, {"other", false, false}, {"loaded", true, true}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.shown);
        const bool other = std::string(s.shown) == "other";
        if (other) {
            ASSERT_GE(other_index(), 0);
            window->session().open_book_folder(other_index());
        } else {
            query("35", "2");
        }
        const QString text = details->text();
        EXPECT_TRUE(text.contains(other ? QStringLiteral("0 other") : to_qstring(book.title)))
            << text.toStdString();
        EXPECT_EQ(text.contains(QString::fromUtf8("作者")), s.has_author) << text.toStdString();
        EXPECT_EQ(follow->isEnabled(), s.can_follow);
    }
}

// The user's row stays where the user put it while the queue plays on, and
// every move on is said, whether the focus is in the list or elsewhere.
TEST_F(WhatPlays, TheQueueMovesOnWithoutMovingTheUsersRowAndSaysEachMove) {
    open_book();
    auto* announcer = window->findChild<Announcer*>();
    ASSERT_TRUE(announcer);
    std::vector<QString> said;
    QObject::connect(&window->session(), &BookSession::movedOn, announcer,
                     [&] { said.push_back(announcer->message()); });
    query("35", "3");
    const char* focus_in[] = {"超级列表框1", "编辑框1"};
    for (const char* name : focus_in) {
        SCOPED_TRACE(name);
        said.clear();
        click_row(0);
        QWidget* focus = control<QWidget>(name);
        focus->setFocus();
        ASSERT_TRUE(eventually([&] { return said.size() == 2u && player().playState() == Player::Stopped; }))
            << said.size();
        EXPECT_EQ(said, (std::vector<QString>{QString::fromUtf8("正在播放 第37集"),
                                              QString::fromUtf8("正在播放 第38集")}));
        EXPECT_EQ(current_row(), 0);
        EXPECT_EQ(selected_rows(), std::vector<int>{0});
        EXPECT_EQ(window->focusWidget(), focus);
    }
}
