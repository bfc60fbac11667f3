// Playback through the real main window: rows played from the sample site's
// media host and from downloaded files, headless, and the play timer moving
// the queue on whenever the player has stopped.
#include "playback/media_player.hpp"
#include "playback/player.hpp"
#include "window_fixture.hpp"

#include <QSignalSpy>
#include <QToolButton>
#include <QTreeView>

namespace {

class Playback : public WindowFixture {
  protected:
    void open_book() {
        configure(address());
        open_window();
        ASSERT_FALSE(window->session().book().title.empty());
        player = &control<MediaPlayer>("播放器1")->player();
        list = control<QTreeView>("超级列表框1");
        // Every address the player was given, in order.
        QObject::connect(player, &Player::OpenStateChange, player, [this](int state) {
            if (state == Player::MediaChanging)
                assigned.push_back(player->URL());
        });
        QObject::connect(player, &Player::PlayStateChange, player, [this](int state) {
            if (state == Player::Playing)
                ++times_playing;
        });
    }
    void query(const char* start, const char* span) {
        control<QLineEdit>("编辑框2")->setText(start);
        control<QLineEdit>("编辑框3")->setText(span);
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
    }
    // A click on a row as the user makes it.
    void click_row(int row, Qt::KeyboardModifiers modifiers = {}) {
        const QModelIndex item = list->model()->index(row, 0);
        ASSERT_TRUE(item.isValid());
        list->scrollTo(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualRect(item).center());
    }
    void press_player(const char* button) {
        QTest::mouseClick(control<MediaPlayer>("播放器1")->findChild<QToolButton*>(button), Qt::LeftButton);
    }
    std::vector<Text> addresses_of(std::initializer_list<int> rows) const {
        std::vector<Text> out;
        for (int r : rows)
            out.push_back(window->episodes().cell(r, 1));
        return out;
    }

    Player* player = nullptr;
    QTreeView* list = nullptr;
    std::vector<Text> assigned;
    int times_playing = 0;
};

// Episodes of a few minutes, for tests that act while one plays.
class LongPlayback : public Playback {
  protected:
    LongPlayback() { site_options.episode_size = 4 * 1024 * 1024; }
};

} // namespace

TEST_F(Playback, AdvancesThroughTheRowsToTheEndThenANewQueryStartsAtRow0) {
    open_book();
    EXPECT_EQ(player->playState(), Player::Undefined);
    query("35", "3");
    QTest::qWait(700); // the timer leaves an undefined player alone
    EXPECT_TRUE(assigned.empty());

    // A row that cannot play settles on stopped, and the queue moves past it.
    set_address(1, replace_all(window->episodes().cell(1, 1), "key=", "key=wrong"));
    click_row(0);
    // The user goes on in the address box: the queue leaves the focus there.
    auto* address_box = control<QLineEdit>("编辑框1");
    address_box->setFocus();
    EXPECT_TRUE(eventually([&] { return assigned.size() == 3u; })) << "assigned.size()";
    EXPECT_EQ(assigned, addresses_of({0, 1, 2}));
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Stopped); }))
        << "player->playState()";
    EXPECT_GE(times_playing, 2);
    // The queue's moves leave the user's row where the click put it.
    EXPECT_EQ(current_row(), 0);
    EXPECT_EQ(selected_rows(), std::vector<int>{0});
    EXPECT_EQ(window->focusWidget(), address_box);
    EXPECT_TRUE(list->viewport()->rect().intersects(
        list->visualRect(list->model()->index(0, 0)))); // the user's row still shows
    QTest::qWait(700); // nothing wraps around
    EXPECT_EQ(assigned.size(), 3u);

    // The new rows have no current row: the next tick plays row 0.
    query("40", "2");
    EXPECT_TRUE(eventually([&] { return assigned.size() == 4u; })) << "assigned.size()";
    EXPECT_EQ(assigned.back(), window->episodes().cell(0, 1));
    EXPECT_EQ(current_row(), 0);
}

// The user's stop is no end of the episode: the queue stays on its row, and
// the play button goes on with it.
TEST_F(LongPlayback, StopStaysOnItsRowMidListAndOnTheLastRow) {
    open_book();
    query("35", "10");
    click_row(2);
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }))
        << "player->playState()";
    press_player("stop_button");
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Stopped); }));
    QTest::qWait(700);
    EXPECT_EQ(assigned, addresses_of({2}));
    EXPECT_EQ(current_row(), 2);
    press_player("play_pause_button");
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }))
        << "player->playState()";
    EXPECT_EQ(assigned, addresses_of({2}));

    click_row(9);
    EXPECT_TRUE(eventually([&] { return assigned.size() == 2u; })) << "assigned.size()";
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }))
        << "player->playState()";
    press_player("stop_button");
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Stopped); }))
        << "player->playState()";
    QTest::qWait(700);
    EXPECT_EQ(assigned, addresses_of({2, 9}));
    EXPECT_EQ(player->playState(), Player::Stopped);
    EXPECT_EQ(current_row(), 9);
}

TEST_F(LongPlayback, APausedPlayerIsLeftAlone) {
    open_book();
    query("35", "3");
    click_row(0);
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Playing); }))
        << "player->playState()";
    press_player("play_pause_button");
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Paused); }))
        << "player->playState()";
    QTest::qWait(700);
    EXPECT_EQ(player->playState(), Player::Paused);
    EXPECT_EQ(assigned, addresses_of({0}));
    EXPECT_EQ(current_row(), 0);
}

TEST_F(LongPlayback, SeveralSelectedRowsPlayTheLowest) {
    open_book();
    query("35", "10");
    click_row(4);
    click_row(1, Qt::ControlModifier);
    click_row(6, Qt::ControlModifier);
    EXPECT_EQ(selected_rows(), (std::vector<int>{1, 4, 6}));
    EXPECT_EQ(current_row(), 6);
    EXPECT_EQ(player->URL(), window->episodes().cell(1, 1));
    // The last click leaves the lowest row, which plays already, playing on.
    QTest::qWait(300);
    EXPECT_EQ(assigned, addresses_of({4, 1}));
}

TEST_F(Playback, DownloadedRowsPlayTheirLocalFiles) {
    open_book();
    query("35", "2");
    QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
    ASSERT_TRUE(finish_long_work());
    ASSERT_EQ(window->episodes().cell(1, 3), gbk("已下载"));
    ASSERT_TRUE(std::filesystem::exists(episode_at(0).file));

    const int served = site->media_requests_served();
    click_row(0);
    EXPECT_TRUE(eventually([&] { return assigned.size() == 2u; })) << "assigned.size()";
    EXPECT_EQ(assigned, addresses_of({0, 1}));
    EXPECT_EQ(assigned[0], window->episodes().cell(0, 1)); // the file's path, not the address
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Stopped); }))
        << "player->playState()";
    EXPECT_GE(times_playing, 2);
    EXPECT_EQ(site->media_requests_served(), served); // nothing came from the network
}
