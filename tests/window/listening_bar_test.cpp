// The listening bar in the real main window against the sample site: speed,
// volume and jumps, kept per book; the sleep timer waiting for the end of the
// episode, and a row heard before its download; a book's intro and outro; and a restart that comes back to the
// list and row without playing until asked; a bookmark marked with `B` and its
// note typed while the episode plays.
#include "playback/media_player.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"
#include "window_fixture.hpp"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <fstream>
#include <iterator>

namespace {

class ListeningBarTest : public WindowFixture {
  protected:
    void open_and_query(int span = 3) {
        open_window();
        ASSERT_FALSE(window->session().book().title.empty());
        player = &control<MediaPlayer>("播放器1")->player();
        list = control<QTreeView>("超级列表框1");
        QObject::connect(player, &Player::OpenStateChange, player, [this](int state) {
            if (state == Player::MediaChanging)
                assigned.push_back(player->URL());
        });
        if (span == 0)
            return;
        control<QLineEdit>("编辑框2")->setText("35");
        control<QLineEdit>("编辑框3")->setText(QString::number(span));
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        ASSERT_TRUE(finish_long_work());
    }
    void reopen() {
        window->close();
        window.reset();
        assigned.clear();
        open_and_query(0);
    }
    void click_row(int row) {
        const QModelIndex item = list->model()->index(row, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    }
    template <typename W> W* bar(const char* name) const {
        W* widget = window->findChild<W*>(name);
        EXPECT_TRUE(widget) << name;
        return widget;
    }
    bool playing_and_seekable() const {
        return eventually([&] {
            return player->playState() == int(Player::Playing) &&
                   player->engine().isSeekable() && player->engine().duration() > 0;
        });
    }
    qint64 position() const { return player->engine().position(); }
    std::string settings_file() const {
        std::ifstream in(program.path / std::filesystem::path(u8"收听设置.ini"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    Player* player = nullptr;
    QTreeView* list = nullptr;
    std::vector<Text> assigned;
};

class LongListening : public ListeningBarTest {
  protected:
    LongListening() { site_options.episode_size = 4 * 1024 * 1024; } // about four minutes
};

} // namespace

TEST_F(LongListening, SpeedVolumeAndJumpsAreKeptForTheBookAcrossStarts) {
    configure(address());
    open_and_query();
    click_row(0);
    ASSERT_TRUE(playing_and_seekable());

    for (int i = 0; i < 5; ++i)
        QTest::keyClick(list, Qt::Key_BracketRight);
    EXPECT_EQ(bar<QDoubleSpinBox>("speed_box")->text(), to_qstring(gbk("1.5×")));
    EXPECT_DOUBLE_EQ(player->engine().playbackRate(), 1.5);
    auto* volume = bar<QSlider>("volume_slider");
    volume->setFocus();
    for (int i = 0; i < 2; ++i)
        QTest::keyClick(volume, Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(player->engine().volume(), 0.7f);

    const qint64 start = position();
    QTest::mouseClick(bar<QToolButton>("forward_button"), Qt::LeftButton);
    EXPECT_TRUE(eventually([&] { return position() >= start + 29000; })) << position();
    const qint64 ahead = position();
    QTest::mouseClick(bar<QToolButton>("back_button"), Qt::LeftButton);
    EXPECT_TRUE(eventually([&] { return position() < ahead - 10000; })) << position();
    EXPECT_NE(settings_file().find(gbk("[书:") + window->session().book().title + gbk("]\r\n速度=1.5\r\n")),
              std::string::npos)
        << settings_file();

    reopen();
    EXPECT_EQ(bar<QSlider>("volume_slider")->value(), 70);
    EXPECT_FLOAT_EQ(player->engine().volume(), 0.7f);
    EXPECT_EQ(bar<QDoubleSpinBox>("speed_box")->text(), to_qstring(gbk("1.5×")));
}

// `B` while an episode plays marks the place and opens the note for typing,
// and the episode plays on; the list shows only once there is a bookmark, and
// Delete on it removes one.
TEST_F(LongListening, BMarksThePlaceAndTheNoteIsTypedWhileItPlays) {
    configure(address());
    open_and_query();
    click_row(0);
    ASSERT_TRUE(playing_and_seekable());
    auto* marks = window->findChild<QTreeWidget*>(to_qstring(gbk("书签")));
    ASSERT_TRUE(marks);
    EXPECT_FALSE(marks->isVisible()); // nothing to list yet

    QTest::keyClick(list, Qt::Key_B);
    ASSERT_EQ(window->session().bookmarks().size(), 1u);
    EXPECT_TRUE(marks->isVisible());
    auto* note = marks->findChild<QLineEdit*>();
    ASSERT_TRUE(note);
    QTest::keyClicks(note, "twist");
    QTest::keyClick(note, Qt::Key_Return); // the editor commits once back in the event loop
    ASSERT_TRUE(eventually([&] { return window->session().bookmarks()[0].note == "twist"; }));
    EXPECT_EQ(marks->topLevelItem(0)->text(2), "twist");
    EXPECT_EQ(player->playState(), int(Player::Playing));

    marks->setFocus();
    marks->setCurrentItem(marks->topLevelItem(0));
    QTest::keyClick(marks, Qt::Key_Delete);
    EXPECT_TRUE(window->session().bookmarks().empty());
}

TEST_F(ListeningBarTest, EndOfEpisodeSleepStopsTheQueueOnceAndTheRowShowsItWasHeard) {
    configure(address());
    open_and_query();
    auto* sleep = bar<QComboBox>("sleep_timer");
    sleep->setFocus();
    QTest::keyClick(sleep, Qt::Key_End); // the last choice: "本集结束"
    ASSERT_EQ(sleep->currentText(), to_qstring(gbk("本集结束")));

    click_row(0);
    ASSERT_TRUE(eventually([&] { return episode_at(0).heard; }));
    EXPECT_TRUE(eventually([&] { return player->playState() == int(Player::Stopped); }));
    QTest::qWait(900); // three ticks of the play timer on a stopped player
    EXPECT_EQ(assigned.size(), 1u);
    EXPECT_EQ(sleep->currentText(), to_qstring(gbk("定时关")));
    EXPECT_TRUE(list->model()->index(0, 2).data().toString().startsWith(QChar(0x2713)));

    // Downloaded, the row's address becomes its file's path: it stays heard.
    QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return window->episodes().cell(0, 3) == gbk("已下载"); }));
    ASSERT_TRUE(finish_long_work());
    EXPECT_TRUE(episode_at(0).heard);

    click_row(1); // playing again: the queue goes on to the end
    EXPECT_TRUE(eventually([&] { return assigned.size() == 3u; }));
    EXPECT_TRUE(eventually([&] { return episode_at(2).heard; }));
}

TEST_F(LongListening, IntroAndOutroOfTheBookAreSkippedAndARestartComesBack) {
    configure(address());
    open_and_query();
    click_row(1);
    ASSERT_TRUE(playing_and_seekable());
    EXPECT_TRUE(list->model()->index(1, 2).data().toString().startsWith(QChar(0x25B6)));
    bar<QSpinBox>("intro_box")->setValue(40);
    bar<QSpinBox>("outro_box")->setValue(int(player->engine().duration() / 1000) - 65);

    click_row(0); // starts after the intro
    ASSERT_TRUE(eventually([&] { return player->URL() == window->episodes().cell(0, 1); }));
    EXPECT_TRUE(eventually([&] { return position() >= 40000; })) << position();
    EXPECT_LT(position(), 50000);
    QTest::mouseClick(bar<QToolButton>("forward_button"), Qt::LeftButton); // into the outro
    EXPECT_TRUE(eventually([&] { return player->URL() == window->episodes().cell(1, 1); }));
    EXPECT_TRUE(episode_at(0).heard);
    ASSERT_TRUE(eventually([&] { return position() >= 40000; })); // after its intro too
    bar<QSpinBox>("outro_box")->setValue(0);
    QTest::mouseClick(bar<QToolButton>("forward_button"), Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return position() >= 60000; }));
    const std::vector<std::vector<Text>> shown = rows();

    reopen(); // no query: the list comes back with row 1 current, and nothing plays
    EXPECT_EQ(window->episodes().row_count(), 3);
    EXPECT_EQ(window->episodes().cell(1, 1), shown[1][1]);
    EXPECT_EQ(window->episodes().cell(1, 3), gbk("未下载"));
    EXPECT_EQ(current_row(), 1);
    EXPECT_TRUE(episode_at(0).heard);
    QTest::qWait(700);
    EXPECT_TRUE(assigned.empty());
    EXPECT_EQ(player->playState(), Player::Undefined);
    QTest::mouseClick(bar<QPushButton>("continue_button"), Qt::LeftButton);
    EXPECT_TRUE(eventually([&] { return position() >= 59000; })) << position();
    EXPECT_EQ(assigned, std::vector<Text>{shown[1][1]});
}

// The speed box shows its widest value whole beside its arrows, at the usual
// font and a larger one, and the bar still fits under the form at the usual font.
TEST_F(ListeningBarTest, TheSpeedBoxShowsItsWidestValueWhole) {
    configure(address());
    open_and_query(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QSize usual_size = window->size();
    auto* speed = bar<QDoubleSpinBox>("speed_box");
    auto* edit = speed->findChild<QLineEdit*>();
    ASSERT_TRUE(edit);
    speed->setValue(3.0);
    for (const int points : {9, 16}) {
        SCOPED_TRACE(points);
        QFont font = window->font();
        font.setPointSize(points);
        window->setFont(font);
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_EQ(edit->text(), to_qstring(gbk("3.0×")));
        EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(edit->text()) + 2);
        if (points == 9) {
            EXPECT_EQ(window->size(), usual_size);
        }
    }
}
