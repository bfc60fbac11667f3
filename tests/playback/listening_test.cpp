// Listening resumes where it stopped: the positions file on its own, and the
// resume helper watching the real player play real files headless.
#include "files/files.hpp"
#include "playback/listening_positions.hpp"
#include "playback/listening_resume.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"
#include "text/gbk.hpp"

#include "support/silent_mp3.hpp"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int kTimeout = 20000; // ms; generous for sanitizer builds on a busy machine

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Listening : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    fs::path folder() const { return fs::path(dir.path().toStdString()); }
    fs::path file() const { return folder() / u8"收听位置.ini"; }
    Text write_mp3(const char* utf8_name, double seconds) {
        const fs::path path = folder() / std::u8string(reinterpret_cast<const char8_t*>(utf8_name));
        std::ofstream(path, std::ios::binary) << silent_mp3(seconds);
        return text_path(path);
    }
    std::optional<std::int64_t> saved(const Text& episode) const {
        return ListeningPositions(file()).position(episode);
    }

    QTemporaryDir dir;
};

TEST_F(Listening, PositionsFileKeepsTheMostRecentEpisodesInGbk) {
    const Text gbk_path = gbk("/有声书/三体/三体_第1集.mp3");
    const Text address = "http://127.0.0.1:8080/yousheng/a|b.mp3?key=x=y";
    {
        ListeningPositions positions(file());
        EXPECT_EQ(positions.size(), 0u);
        EXPECT_TRUE(positions.save()); // nothing changed: no file
        EXPECT_FALSE(fs::exists(file()));
        positions.remember(gbk_path, 15320);
        positions.remember(address, 754000);
        positions.remember("line\r\nbreak", 1); // cannot be stored: ignored
        positions.remember("", 1);
        EXPECT_TRUE(positions.save());
    }
    EXPECT_EQ(read_all(file()), gbk("[收听位置]\r\n") + "1=754000|" + address + "\r\n" +
                                    "2=15320|" + gbk_path + "\r\n");

    // Broken lines and other sections are ignored when the file is read.
    std::ofstream(file(), std::ios::binary | std::ios::app)
        << "3=abc|/x\r\n4=12\r\n5=-4|/y\r\n[other]\r\n6=1|/z\r\n";
    ListeningPositions positions(file());
    EXPECT_EQ(positions.size(), 2u);
    EXPECT_EQ(positions.position(address), 754000);
    EXPECT_EQ(positions.position(gbk_path), 15320);
    EXPECT_EQ(positions.position("/z"), std::nullopt);

    // Remembering again moves an episode to the front; forgetting removes it;
    // the oldest go beyond the capacity.
    positions.remember(gbk_path, 16000);
    positions.forget(address);
    for (std::size_t i = 0; i < ListeningPositions::capacity; ++i)
        positions.remember("/episode/" + std::to_string(i), std::int64_t(i));
    ASSERT_TRUE(positions.save());
    ListeningPositions reread(file());
    EXPECT_EQ(reread.size(), ListeningPositions::capacity);
    EXPECT_EQ(reread.position(gbk_path), std::nullopt);
    EXPECT_EQ(reread.position("/episode/0"), 0);
    EXPECT_EQ(reread.position("/episode/499"), 499);
    EXPECT_TRUE(read_all(file()).find("\r\n1=499|/episode/499\r\n") != std::string::npos);
}

// Plays `episode` in a fresh player and helper, as a program just started does.
struct Session {
    explicit Session(const fs::path& file)
        : resume(std::make_unique<ListeningResume>(player, file)) {
        QObject::connect(&player, &Player::OpenStateChange,
                         [this](int) { player.controls().play(); });
    }
    qint64 position() { return player.engine().position(); }
    // Starts the episode; true once it plays.
    bool play(const Text& episode) {
        bool playing = false;
        QMetaObject::Connection watch = QObject::connect(&player, &Player::PlayStateChange,
                                                         [&](int state) { playing |= state == 3; });
        player.setURL(episode);
        const bool started = QTest::qWaitFor([&] { return playing; }, kTimeout);
        QObject::disconnect(watch);
        return started;
    }
    // The position reaches `at` soon after the start (the seek lands once the
    // media reports it can seek), and no further than a few seconds beyond.
    bool resumed_near(qint64 at, int wait_ms = 5000) {
        return QTest::qWaitFor([&] { return position() >= at - 500; }, wait_ms) &&
               position() < at + 5000;
    }
    // A seek once the media can seek, as the user makes it; the position
    // reported at once is the one asked for.
    bool seek(qint64 to) {
        if (!QTest::qWaitFor([&] { return player.engine().isSeekable(); }, kTimeout))
            return false;
        player.engine().setPosition(to);
        return QTest::qWaitFor([&] { return position() >= to; }, kTimeout);
    }
    Player player;
    std::unique_ptr<ListeningResume> resume;
};

TEST_F(Listening, SavedOnSwitchPauseStopAndCloseAndResumedInANewSession) {
    const Text first = write_mp3("第1集.mp3", 120.0);
    const Text second = write_mp3("第2集.mp3", 120.0);
    {
        Session session(file());
        ASSERT_TRUE(session.play(first));
        ASSERT_TRUE(session.seek(20000));
        ASSERT_TRUE(session.play(second)); // switching episode saves the first
        EXPECT_NEAR(double(saved(first).value_or(-1)), 20000, 1500);

        ASSERT_TRUE(session.seek(30000));
        session.player.controls().pause();
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.player.playState() == 2; }, kTimeout));
        EXPECT_NEAR(double(saved(second).value_or(-1)), 30000, 1500);

        session.player.controls().play();
        ASSERT_TRUE(session.seek(40000));
        session.player.controls().stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.player.playState() == 1; }, kTimeout));
        EXPECT_NEAR(double(saved(second).value_or(-1)), 40000, 1500); // not where stop rewound to

        // Played on, then closed: the last position is kept.
        ASSERT_TRUE(session.play(first));
        EXPECT_TRUE(session.resumed_near(20000)); // in the same session too
        ASSERT_TRUE(session.seek(50000));
    }
    EXPECT_NEAR(double(saved(first).value_or(-1)), 50000, 1500);

    Session again(file());
    ASSERT_TRUE(again.play(second));
    EXPECT_TRUE(again.resumed_near(40000));
    ASSERT_TRUE(again.play(first));
    EXPECT_TRUE(again.resumed_near(50000));
}

TEST_F(Listening, SavedEveryFewSecondsWhilePlaying) {
    const Text episode = write_mp3("long.mp3", 120.0);
    Session session(file());
    ASSERT_TRUE(session.play(episode));
    ASSERT_TRUE(session.seek(60000));
    // Nothing but playback happens; the file catches up within a save interval
    // (a killed program loses no more than that).
    EXPECT_TRUE(QTest::qWaitFor([&] { return saved(episode).value_or(0) >= 60000; },
                                ListeningResume::save_interval_ms * 3));
}

TEST_F(Listening, OnlyAPositionWellInsideTheEpisodeResumesAndTheEndForgetsIt) {
    const Text episode = write_mp3("mid.mp3", 60.0);
    const struct {
        std::int64_t saved;
        bool resumes;
    } cases[] = {{8000, false}, {10000, false}, {12000, true}, {49000, true}, {51000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saved);
        {
            ListeningPositions positions(file());
            positions.remember(episode, c.saved);
            ASSERT_TRUE(positions.save());
        }
        Session session(file());
        ASSERT_TRUE(session.play(episode));
        if (c.resumes)
            EXPECT_TRUE(session.resumed_near(c.saved));
        else
            EXPECT_FALSE(session.resumed_near(c.saved, 1500));
    }

    // Heard to the end: forgotten, so the next time starts at the beginning.
    Session session(file());
    ASSERT_TRUE(session.play(episode));
    ASSERT_TRUE(session.seek(58000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.player.playState() == 1; }, kTimeout));
    EXPECT_EQ(saved(episode), std::nullopt);
}

} // namespace
