// The listening state on its own: speed, sleep timer, jumps, rewind after a
// long pause, intro and outro, and what it keeps in its GBK file.
#include "listening/listening_session.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t minute = 60000;

class ListeningSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("listening-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path file() const { return folder / u8"收听设置.ini"; }
    std::string content() const {
        std::ifstream in(file(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path folder;
};

TEST(SleepTimer, CountsDownFadesAndRunsOut) {
    struct Case {
        int minutes;
        std::int64_t elapsed;
        std::optional<std::int64_t> remaining;
        double factor;
        bool ran_out;
    };
    const Case cases[] = {
        {0, 0, std::nullopt, 1.0, false},
        {15, 0, 15 * minute, 1.0, false},
        {15, 15 * minute - 15000, 15000, 1.0, false},
        {15, 15 * minute - 7500, 7500, 0.5, false},
        {30, 30 * minute, 0, 0.0, true},
        {90, 100 * minute, 0, 0.0, true},
        {SleepTimer::end_of_episode, 500 * minute, std::nullopt, 1.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.minutes << " min, " << c.elapsed << " ms in");
        SleepTimer timer;
        timer.choose(c.minutes, 1000);
        EXPECT_EQ(timer.remaining(1000 + c.elapsed), c.remaining);
        EXPECT_DOUBLE_EQ(timer.volume_factor(1000 + c.elapsed), c.factor);
        EXPECT_EQ(timer.ran_out(1000 + c.elapsed), c.ran_out);
        EXPECT_EQ(timer.running(), c.minutes != 0 && !c.ran_out);
    }
}

TEST(SleepTimer, ExtendsWhileRunningAndWaitsForTheEpisodeEnd) {
    SleepTimer timer;
    timer.choose(15, 0);
    timer.extend(14 * minute); // one minute left, in the fade: back to 16
    EXPECT_EQ(timer.remaining(14 * minute), 16 * minute);
    EXPECT_DOUBLE_EQ(timer.volume_factor(14 * minute), 1.0);
    EXPECT_FALSE(timer.episode_ended());

    timer.choose(SleepTimer::end_of_episode, 0);
    timer.extend(0); // nothing to extend
    EXPECT_FALSE(timer.ran_out(1000 * minute));
    EXPECT_TRUE(timer.episode_ended());
    EXPECT_FALSE(timer.running());
    EXPECT_FALSE(timer.episode_ended()); // once
}

// Held, what is left stays, whatever is chosen or extended meanwhile; going
// on counts from then.
TEST(SleepTimer, HeldItKeepsWhatIsLeftAndGoesOnFromThere) {
    struct Case {
        const char* name;
        bool chosen_while_held;
        bool extended_while_held;
        std::int64_t left_when_going_on;
    };
    const Case cases[] = {
        {"held after 5 min", false, false, 10 * minute},
        {"chosen while held", true, false, 15 * minute},
        {"extended while held", false, true, 25 * minute},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SleepTimer timer;
        if (c.chosen_while_held) {
            timer.hold(true, 0);
            timer.choose(15, 0);
        } else {
            timer.choose(15, 0);
            timer.hold(true, 5 * minute);
        }
        if (c.extended_while_held)
            timer.extend(6 * minute);
        EXPECT_EQ(timer.remaining(60 * minute), c.left_when_going_on);
        EXPECT_FALSE(timer.ran_out(60 * minute));
        timer.hold(false, 60 * minute);
        EXPECT_EQ(timer.remaining(61 * minute), c.left_when_going_on - minute);
        EXPECT_TRUE(timer.ran_out(60 * minute + c.left_when_going_on));
    }
}

TEST_F(ListeningSessionTest, SpeedStepsWithinItsRangeAndIsShownWithTheSign) {
    struct Case {
        int start;
        int steps; // + faster, - slower
        int tenths;
        const char* shown;
    };
    const Case cases[] = {
        {10, 0, 10, "1.0×"}, {10, 5, 15, "1.5×"},  {29, 3, 30, "3.0×"},
        {6, -4, 5, "0.5×"},  {40, 0, 30, "3.0×"},  {12, -1, 11, "1.1×"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        ListeningSession session(file());
        session.set_speed_tenths(c.start);
        for (int i = 0; i < c.steps; ++i)
            session.faster();
        for (int i = 0; i > c.steps; --i)
            session.slower();
        EXPECT_EQ(session.speed_tenths(), c.tenths);
        EXPECT_EQ(session.speed_text(), gbk(c.shown));
    }
}

TEST_F(ListeningSessionTest, SpeedIsKeptPerBookWithTheLastChosenAsDefault) {
    {
        ListeningSession session(file());
        EXPECT_EQ(session.speed_tenths(), 10);
        session.open_book(gbk("三体"));
        session.set_speed_tenths(15);
        session.open_book(gbk("红楼梦"));
        EXPECT_EQ(session.speed_tenths(), 15); // not played yet: the default
        session.set_speed_tenths(12);
        session.set_volume(70);
        ASSERT_TRUE(session.save());
    }
    ListeningSession again(file());
    EXPECT_EQ(again.volume(), 70);
    EXPECT_EQ(again.speed_tenths(), 12);
    again.open_book(gbk("三体"));
    EXPECT_EQ(again.speed_tenths(), 15);
    again.open_book(gbk("西游记"));
    EXPECT_EQ(again.speed_tenths(), 12);
    EXPECT_NE(content().find(gbk("[书:三体]\r\n速度=1.5\r\n")), std::string::npos) << content();
}

TEST_F(ListeningSessionTest, JumpsStayInsideTheEpisode) {
    struct Case {
        std::int64_t position, delta, duration, expected;
    };
    const Case cases[] = {
        {60000, -ListeningSession::back_ms, 600000, 45000},
        {10000, -ListeningSession::back_ms, 600000, 0},
        {60000, ListeningSession::forward_ms, 600000, 90000},
        {590000, ListeningSession::forward_ms, 600000, 600000},
        {5000, ListeningSession::forward_ms, 0, 35000}, // length not known yet
    };
    for (const Case& c : cases)
        EXPECT_EQ(ListeningSession::jump(c.position, c.delta, c.duration), c.expected)
            << c.position << " " << c.delta;
}

TEST_F(ListeningSessionTest, PlayingAfterALongPauseStartsFiveSecondsEarlier) {
    struct Case {
        std::int64_t pause, position, expected;
    };
    const Case cases[] = {
        {5 * minute, 60000, 60000},
        {5 * minute + 1, 60000, 55000},
        {60 * minute, 3000, 0},
    };
    for (const Case& c : cases) {
        ListeningSession session(file());
        session.note_paused(1000);
        session.note_paused(2000); // the pause started at the first note
        EXPECT_EQ(session.resume_position(c.position, 1000 + c.pause), c.expected) << c.pause;
        session.note_playing(1000 + c.pause);
        EXPECT_EQ(session.resume_position(c.position, 1000 + c.pause + 10 * minute), c.position);
    }
}

TEST_F(ListeningSessionTest, IntroAndOutroPerBook) {
    struct Case {
        int intro, outro;
        std::int64_t position, duration;
        std::optional<std::int64_t> start;
        bool outro_reached;
    };
    const Case cases[] = {
        {0, 0, 0, 600000, std::nullopt, false},
        {30, 0, 0, 600000, 30000, false},
        {30, 0, 45000, 600000, std::nullopt, false}, // resumed past the intro
        {30, 20, 579999, 600000, std::nullopt, false},
        {30, 20, 580000, 600000, std::nullopt, true},
        {700, 700, 0, 600000, std::nullopt, false}, // longer than the episode
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.intro << "/" << c.outro << " at " << c.position);
        ListeningSession session(file());
        session.open_book(gbk("三体"));
        session.set_skips(c.intro, c.outro);
        EXPECT_EQ(session.after_intro(c.position, c.duration), c.start);
        EXPECT_EQ(session.in_outro(c.position, c.duration), c.outro_reached);
        session.open_book(gbk("红楼梦")); // another book skips nothing
        EXPECT_EQ(session.after_intro(c.position, c.duration), std::nullopt);
    }
}

TEST_F(ListeningSessionTest, TheEndOfEpisodeTimerHoldsTheQueueUntilPlayingAgain) {
    ListeningSession session(file());
    session.episode_ended();
    EXPECT_FALSE(session.queue_held());
    session.sleep_timer().choose(SleepTimer::end_of_episode, 0);
    session.episode_ended();
    EXPECT_TRUE(session.queue_held());
    EXPECT_FALSE(session.sleep_timer().running());
    session.note_playing(0);
    EXPECT_FALSE(session.queue_held());
}

TEST_F(ListeningSessionTest, HeardEpisodesAndTheLastListComeBackFromTheFile) {
    const Text local = gbk("/有声书/三体/三体_第2集.mp3");
    const ListeningList list{gbk("三体"), gbk("/有声书"), gbk("三体"),
                             {{gbk("第1集"), gbk("/有声书/三体/三体_第1集.mp3")},
                              {gbk("第2集"), local},
                              {"a|b", "dropped"}}};
    {
        ListeningSession session(file());
        session.mark_heard(local);
        session.mark_heard("http://127.0.0.1:8080/yousheng/1.mp3?key=a=b");
        session.mark_heard("line\r\nbreak");
        session.set_last_episode(local);
        session.set_last_list(list);
        ASSERT_TRUE(session.save());
        EXPECT_TRUE(fs::exists(file()));
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
    ListeningSession again(file());
    EXPECT_TRUE(again.heard(local));
    EXPECT_TRUE(again.heard("http://127.0.0.1:8080/yousheng/1.mp3?key=a=b"));
    EXPECT_FALSE(again.heard(gbk("/有声书/三体/三体_第1集.mp3")));
    EXPECT_EQ(again.last_episode(), local);
    const ListeningList back = again.last_list();
    EXPECT_EQ(back.book, list.book);
    EXPECT_EQ(back.save_folder, list.save_folder);
    EXPECT_EQ(back.folder, list.folder);
    EXPECT_EQ(back.rows, std::vector(list.rows.begin(), list.rows.end() - 1));
    EXPECT_EQ(content().find("break"), std::string::npos);
}

// The volume goes up to 200 %: an old file's 0..100 reads as it was, a value
// past the range is held at its end, and a boost is kept across starts.
TEST_F(ListeningSessionTest, VolumeGoesToTwiceAndOldFilesStayReadable) {
    const struct {
        const char* stored; // the file's 音量 line, or none
        int read;
        int set, kept;
    } cases[] = {
        {nullptr, 50, 150, 150}, {"70", 70, 200, 200}, {"100", 100, 250, 200},
        {"180", 180, -5, 0},     {"999", 200, 100, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "none");
        fs::remove(file());
        if (c.stored)
            std::ofstream(file(), std::ios::binary) << gbk("[收听]\r\n音量=") << c.stored << "\r\n";
        {
            ListeningSession session(file());
            EXPECT_EQ(session.volume(), c.read);
            session.set_volume(c.set);
            EXPECT_EQ(session.volume(), c.kept);
            ASSERT_TRUE(session.save());
        }
        EXPECT_EQ(ListeningSession(file()).volume(), c.kept);
    }
}

// Skipping silence is kept per book like the speed: a book not played yet
// takes the choice made last.
TEST_F(ListeningSessionTest, SkipSilenceIsKeptPerBook) {
    {
        ListeningSession session(file());
        EXPECT_FALSE(session.skip_silence());
        session.open_book(gbk("三体"));
        session.set_skip_silence(true);
        session.open_book(gbk("红楼梦"));
        EXPECT_TRUE(session.skip_silence());
        session.set_skip_silence(false);
        ASSERT_TRUE(session.save());
    }
    ListeningSession again(file());
    const struct {
        const char* book;
        bool skips;
    } books[] = {{"三体", true}, {"红楼梦", false}, {"西游记", false}};
    for (const auto& b : books) {
        again.open_book(gbk(b.book));
        EXPECT_EQ(again.skip_silence(), b.skips) << b.book;
    }
    EXPECT_NE(content().find(gbk("[书:三体]\r\n跳过静音=1\r\n")), std::string::npos)
        << content();
}

} // namespace
