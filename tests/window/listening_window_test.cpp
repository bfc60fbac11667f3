// The main window's player and listening: Space on the episode list toggles
// play and pause, and an episode played again, in a new window, starts where it
// stopped; all against the sample site, headless.
#include "playback/media_player.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"
#include "window_fixture.hpp"

#include <QSlider>
#include <QTreeView>

namespace {

class Listening : public WindowFixture {
  protected:
    Listening() { site_options.episode_size = 4 * 1024 * 1024; } // a few minutes each

    void open_book_and_query() {
        open_window();
        ASSERT_FALSE(window->session().book().title.empty());
        player = &control<MediaPlayer>("播放器1")->player();
        list = control<QTreeView>("超级列表框1");
        control<QLineEdit>("编辑框2")->setText("35");
        control<QLineEdit>("编辑框3")->setText("3");
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
        ASSERT_EQ(window->episodes().row_count(), 3);
    }
    void click_row(int row) {
        const QModelIndex item = list->model()->index(row, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    }
    qint64 position() const { return player->engine().position(); }

    Player* player = nullptr;
    QTreeView* list = nullptr;
};

} // namespace

TEST_F(Listening, SpaceOnTheEpisodeListTogglesPlayAndPause) {
    configure(address());
    open_book_and_query();
    click_row(1);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    ASSERT_EQ(QApplication::focusWidget(), list);
    for (int expected : {Player::Paused, Player::Playing, Player::Paused}) {
        QTest::keyClick(list, Qt::Key_Space);
        EXPECT_TRUE(eventually([&] { return player->playState() == expected; }));
    }
    QTest::qWait(700); // a paused player stays on its row
    EXPECT_EQ(current_row(), 1);
    EXPECT_EQ(selected_rows(), std::vector<int>{1});
}

TEST_F(Listening, AnEpisodePlayedAgainInANewWindowStartsWhereItStopped) {
    configure(address());
    open_book_and_query();
    const Text episode = window->episodes().cell(1, 1);
    click_row(1);
    ASSERT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }));
    // The user moves on a minute with the seek bar's keys.
    auto* bar = control<MediaPlayer>("播放器1")->findChild<QSlider*>("seek_bar");
    ASSERT_TRUE(eventually([&] { return player->engine().isSeekable() && bar->maximum() > 0; }));
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_PageUp);
    ASSERT_TRUE(eventually([&] { return position() >= 60000; }));

    window->close(); // the program is closed
    window.reset();
    open_book_and_query();
    ASSERT_EQ(window->episodes().cell(1, 1), episode);
    click_row(1);
    EXPECT_TRUE(eventually([&] { return position() >= 59500; }));
    EXPECT_LT(position(), 70000);
    // Another row starts from its beginning.
    click_row(2);
    ASSERT_TRUE(eventually([&] { return player->URL() == window->episodes().cell(2, 1); }));
    EXPECT_TRUE(eventually([&] { return position() > 0 && position() < 10000; }));
}
