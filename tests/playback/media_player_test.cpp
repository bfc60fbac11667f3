// The player widget playing real MP3 files, from disk and from a loopback HTTP
// server, without a sound card.
#include "files/files.hpp"
#include "transfer/http_download.hpp"
#include "playback/media_player.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"
#include "text/gbk.hpp"

#include "support/silent_mp3.hpp"

#include <QApplication>
#include <QSignalSpy>
#include <QAccessible>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

constexpr int kTimeout = 20000; // ms; generous for sanitizer builds on a busy machine

// Every play state the player reports, in order.
struct StateLog {
    explicit StateLog(Player& player) {
        QObject::connect(&player, &Player::PlayStateChange,
                         [this](int state) { states.push_back(state); });
    }
    bool saw(int state) const { return std::count(states.begin(), states.end(), state) > 0; }
    std::vector<int> states;
};

// The main window's handling of the open-state event: call play on every change.
void play_on_open_state(Player& player) {
    QObject::connect(&player, &Player::OpenStateChange,
                     [&player](int) { player.controls().play(); });
}

bool no_dialog_shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            return false;
    return true;
}

class MediaPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    Text write_mp3(const std::string& name, double seconds) {
        return write_file(name, silent_mp3(seconds));
    }
    Text write_file(const std::string& name, const std::string& bytes) {
        Text path = text_path(std::filesystem::path(folder.path().toStdString()) / name);
        std::ofstream(native_path(path), std::ios::binary) << bytes;
        return path;
    }

    QTemporaryDir folder;
};

// A loopback HTTP server that serves a one-second MP3 under any path (404 under
// /missing/) and records each request's target as it came on the wire.
class MediaServer {
  public:
    explicit MediaServer(double seconds = 1.0) {
        body_ = silent_mp3(seconds);
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex_);
                targets_.push_back(request.target);
            }
            if (request.path.starts_with("/missing/")) {
                response.status = 404;
                return;
            }
            response.set_content(body_, "audio/mpeg");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::yield();
    }
    ~MediaServer() {
        server_.stop();
        thread_.join();
    }
    Text base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> targets() {
        std::lock_guard lock(mutex_);
        return targets_;
    }
    void clear_targets() {
        std::lock_guard lock(mutex_);
        targets_.clear();
    }

  private:
    httplib::Server server_;
    std::string body_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> targets_;
};

// Each byte as %XX.
std::string all_escaped(const Text& text) {
    std::string out;
    char buffer[4];
    for (unsigned char c : text) {
        std::snprintf(buffer, sizeof buffer, "%%%02X", c);
        out += buffer;
    }
    return out;
}

TEST_F(MediaPlayerTest, StartsUndefinedWithTheCompactFace) {
    Player player;
    MediaPlayer face(player);
    EXPECT_EQ(player.playState(), 0);
    EXPECT_TRUE(player.autoStart());
    EXPECT_EQ(player.volume(), 50);
    EXPECT_EQ(face.sizeHint(), QSize(312, 45));
    EXPECT_TRUE(player.URL().empty());
    EXPECT_NE(face.findChild<QToolButton*>("play_pause_button"), nullptr);
    EXPECT_NE(face.findChild<QToolButton*>("stop_button"), nullptr);
    EXPECT_NE(face.findChild<QSlider*>("seek_bar"), nullptr);
    EXPECT_NE(face.findChild<QWidget*>("time_label"), nullptr);

    // Nothing is open: the transport does nothing and the state stays undefined.
    player.controls().play();
    player.controls().pause();
    player.controls().stop();
    QApplication::processEvents();
    EXPECT_EQ(player.playState(), 0);
}

TEST_F(MediaPlayerTest, PlaysAFileToItsEndAndSettlesOnStopped) {
    Text path = write_mp3("第1集.mp3", 1.0);
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    StateLog log(player);
    QSignalSpy opened(&player, &Player::OpenStateChange);

    player.setURL(path);
    EXPECT_EQ(player.URL(), path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.saw(3); }, kTimeout));
    EXPECT_EQ(opened.count(), 2); // while opening, and once open
    EXPECT_EQ(opened.at(0).at(0).toInt(), int(Player::MediaChanging));
    EXPECT_EQ(opened.at(1).at(0).toInt(), int(Player::MediaOpen));
    // In seconds, once the engine knows the length (it may learn it after playing starts).
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return face.findChild<QSlider*>("seek_bar")->maximum() == 1; }, kTimeout));

    ASSERT_TRUE(QTest::qWaitFor([&] { return log.saw(8); }, kTimeout));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.playState() == 1; }, kTimeout));
    // Playing, then the end of the media, then stopped, and nothing started it again
    // although play is called on every open-state change.
    auto playing = std::find(log.states.begin(), log.states.end(), 3);
    auto ended = std::find(playing, log.states.end(), 8);
    ASSERT_NE(ended, log.states.end());
    EXPECT_EQ(std::vector<int>(ended, log.states.end()), (std::vector<int>{8, 1}));
    EXPECT_EQ(std::count(log.states.begin(), ended, 1), 0);
    EXPECT_EQ(opened.count(), 2);
    QApplication::processEvents();
    EXPECT_EQ(player.playState(), 1);

    // The same address assigned again plays again from the start.
    player.setURL(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.states.back() == 3; }, kTimeout));
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.playState() == 1; }, kTimeout));
}

TEST_F(MediaPlayerTest, PauseAndStopFromTheFaceAndTheControls) {
    Text path = write_mp3("long.mp3", 60.0);
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    StateLog log(player);
    auto* play_pause = face.findChild<QToolButton*>("play_pause_button");
    auto* stop = face.findChild<QToolButton*>("stop_button");

    player.setURL(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.playState() == 3; }, kTimeout));

    player.controls().pause();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 2; }, kTimeout));
    player.controls().play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 3; }, kTimeout));
    EXPECT_EQ(play_pause->accessibleName(), "暂停");
    EXPECT_EQ(play_pause->toolTip(), "暂停");
    EXPECT_EQ(stop->accessibleName(), "停止");
    player.controls().stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 1; }, kTimeout));

    QTest::mouseClick(play_pause, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 3; }, kTimeout));
    QTest::mouseClick(play_pause, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 2; }, kTimeout));
    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 1; }, kTimeout));
    EXPECT_FALSE(log.saw(8));
}

TEST_F(MediaPlayerTest, KeysAndClicksOnTheSeekBarSeek) {
    Text path = write_mp3("long.mp3", 300.0);
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    face.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&face));
    auto* bar = face.findChild<QSlider*>("seek_bar");
    player.setURL(path);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return player.playState() == 3 && bar->maximum() > 0 && player.engine().isSeekable();
        },
        kTimeout));
    player.controls().pause();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.playState() == 2; }, kTimeout));
    bar->setFocus();

    const struct {
        Qt::Key key;
        int step;
    } steps[] = {{Qt::Key_PageUp, 60}, {Qt::Key_Right, 5},   {Qt::Key_Right, 5},
                 {Qt::Key_Left, -5},   {Qt::Key_PageUp, 60}, {Qt::Key_PageDown, -60}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.key);
        // The bar counts seconds; its name says where playback is, of how long.
        const int expected = (bar->value() + step.step) * 1000;
        QTest::keyClick(bar, step.key);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return std::abs(player.engine().position() - expected) < 500; }, kTimeout))
            << player.engine().position() << " for " << expected;
    }
    // Its value reads as where playback is, of how long.
    const QString said = QString("%1:%2 / 0")
                             .arg(bar->value() / 60, 2, 10, QChar('0'))
                             .arg(bar->value() % 60, 2, 10, QChar('0'));
    const QString value = QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Value);
    EXPECT_TRUE(value.startsWith(said)) << value.toStdString();
    EXPECT_EQ(bar->accessibleName(), "播放位置");
    // Paused: the play button offers to play.
    EXPECT_EQ(face.findChild<QToolButton*>("play_pause_button")->accessibleName(), "播放");

    // A click on the groove puts playback where it was clicked, ahead or back
    // (within a tenth of the length: the handle's width and the groove's ends).
    for (const double at : {0.8, 0.3}) {
        SCOPED_TRACE(at);
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(int(bar->width() * at), bar->height() / 2));
        const qint64 aim = qint64(bar->maximum() * at * 1000);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return std::abs(player.engine().position() - aim) < bar->maximum() * 100; },
            kTimeout))
            << player.engine().position() << " for " << aim;
    }
    EXPECT_EQ(player.playState(), 2); // seeking changes nothing else
}

// Seeks asked for faster than the pipeline carries them out (the first as soon
// as the length is known): the last one holds, from a file and over HTTP.
TEST_F(MediaPlayerTest, SeeksInQuickSuccessionEndWhereTheLastAsked) {
    MediaServer server(300.0);
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    PlaybackEngine& engine = player.engine();
    QObject::connect(&engine, &PlaybackEngine::durationChanged, [&] { engine.setPosition(40000); });
    for (const Text& address : {write_mp3("long.mp3", 300.0), server.base() + "/long.mp3"}) {
        SCOPED_TRACE(address);
        player.setURL(address);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return player.playState() == 3 && engine.position() >= 40000; }, kTimeout));
        engine.setPosition(70000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return engine.position() >= 70200; }, kTimeout))
            << engine.position();
    }
    for (qint64 last : {70000, 20000, 150000}) {
        SCOPED_TRACE(last);
        engine.setPosition(40000);
        engine.setPosition(last - 10000);
        engine.setPosition(last);
        // It plays on from there.
        EXPECT_TRUE(QTest::qWaitFor([&] { return engine.position() >= last + 200; }, kTimeout))
            << engine.position();
        EXPECT_LT(engine.position(), last + 5000);
    }
}

TEST_F(MediaPlayerTest, ANewAddressReplacesThePlayingOneWithoutPassingStopped) {
    Text first = write_mp3("first.mp3", 60.0);
    Text second = write_mp3("second.mp3", 60.0);
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    StateLog log(player);

    player.setURL(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.playState() == 3; }, kTimeout));
    log.states.clear();
    player.setURL(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.saw(3); }, kTimeout));
    // A play timer polling for "stopped" must not see the switch as an end.
    EXPECT_FALSE(log.saw(1));
    EXPECT_FALSE(log.saw(8));
    EXPECT_EQ(player.URL(), second);
}

TEST_F(MediaPlayerTest, AddressesThatCannotPlaySettleOnStoppedWithoutDialogs) {
    MediaServer server;
    Text not_audio = write_file("not_audio.mp3", std::string(5000, 'x'));
    Text good = write_mp3("good.mp3", 1.0);
    const struct {
        Text address;
        bool engine_says_why; // the engine tried it and tells the reason
    } bad[] = {
        {Text(), false}, // an empty cell
        {text_path(std::filesystem::path(folder.path().toStdString()) / "absent.mp3"), false},
        {not_audio, true},
        {server.base() + "/missing/1.mp3?key=", true}, // 404
        {"http://127.0.0.1:1/yousheng/1.mp3", true},   // nobody listens
    };
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    for (const auto& [address, engine_says_why] : bad) {
        SCOPED_TRACE(address);
        StateLog log(player);
        player.setURL(address);
        EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 1 && !log.states.empty(); },
                                    kTimeout));
        EXPECT_EQ(player.engine().errorString().isEmpty(), !engine_says_why)
            << player.engine().errorString().toStdString();
        EXPECT_TRUE(no_dialog_shown());
        // It stays stopped (the play on the open-state change retried nothing forever).
        QApplication::processEvents();
        EXPECT_EQ(player.playState(), 1);
        QObject::disconnect(&player, &Player::PlayStateChange, nullptr, nullptr);
    }

    // A good address after the failures plays normally.
    StateLog log(player);
    player.setURL(good);
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.saw(8) && player.playState() == 1; }, kTimeout));
}

TEST_F(MediaPlayerTest, HttpAddressArrivesWithItsGbkBytesPercentEncoded) {
    MediaServer server;
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    StateLog log(player);

    const Text title = gbk("三体");
    const Text address =
        server.base() + "/yousheng/kehuan/" + title + "/" + title + " 1.mp3?key=a%2Fb";
    player.setURL(address);
    EXPECT_EQ(player.URL(), address);
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.saw(8) && player.playState() == 1; }, kTimeout));
    EXPECT_TRUE(log.saw(3));

    const std::string expected =
        "/yousheng/kehuan/" + all_escaped(title) + "/" + all_escaped(title) + "%201.mp3?key=a%2Fb";
    std::vector<std::string> targets = server.targets();
    ASSERT_FALSE(targets.empty());
    for (const std::string& target : targets)
        EXPECT_EQ(target, expected);
}

// The player and the download ask for the same bytes: one percent-encoding.
TEST_F(MediaPlayerTest, PlayerAndDownloadSendTheSameRequestTarget) {
    MediaServer server;
    Player player;
    MediaPlayer face(player);
    play_on_open_state(player);
    const std::vector<Text> paths = {
        "/yousheng/" + gbk("三体") + "/" + gbk("三体") + " 1.mp3?key=a%2Fb",
        "/yousheng/" + gbk("乗亅") + ".mp3?key=" + gbk("三"), // trail bytes "\\" and "|"
        "/yousheng/a\"b<c>d\\e^f`g{h|i}.mp3?key=%zz%",
        "/yousheng/[x]~'()*!$&+,;=:@.mp3?key=1&x=%3D",
    };
    for (const Text& path : paths) {
        SCOPED_TRACE(path);
        StateLog log(player);
        player.setURL(server.base() + path);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return log.saw(8) && player.playState() == 1; }, kTimeout));
        QObject::disconnect(&player, &Player::PlayStateChange, nullptr, nullptr);
        const std::size_t heard = server.targets().size();
        ASSERT_TRUE(http_download(server.base() + path,
                                  std::filesystem::path(folder.path().toStdString()) / "copy.mp3"));
        std::vector<std::string> targets = server.targets();
        ASSERT_EQ(targets.size(), heard + 1);
        for (std::size_t i = 0; i < heard; ++i)
            EXPECT_EQ(targets[i], targets.back());
        server.clear_targets();
    }
}

TEST(MediaAddress, EscapesUnsafeBytesAndKeepsEscapesAndLocalPaths) {
    EXPECT_EQ(media_address("http://h:81/a b%zz%2F\"|^.mp3?k=1&x=%3D").toEncoded(),
              QByteArray("http://h:81/a%20b%25zz%2F%22%7C%5E.mp3?k=1&x=%3D"));
    // The URL type normalises escapes: unreserved characters are unescaped and
    // hex digits written in capitals; any server reads these the same way.
    EXPECT_EQ(media_address("http://h/%41%7e%2f").toEncoded(), QByteArray("http://h/A~%2F"));
    EXPECT_EQ(media_address("HTTPS://h/" + gbk("集")).toEncoded(),
              QByteArray::fromStdString("https://h/" + all_escaped(gbk("集"))));
    EXPECT_TRUE(media_address("").isEmpty());

    QUrl local = media_address("/tmp/" + gbk("三体") + "/1 .mp3");
    EXPECT_TRUE(local.isLocalFile());
    EXPECT_EQ(local.toLocalFile(), QString::fromUtf8("/tmp/三体/1 .mp3"));
    // The native path, when given, is the file played.
    EXPECT_EQ(media_address("ignored", "/tmp/x.mp3").toLocalFile(), QString("/tmp/x.mp3"));
}

TEST_F(MediaPlayerTest, WithoutAutoStartItOpensAndWaitsReady) {
    Text path = write_mp3("ready.mp3", 1.0);
    Player player;
    MediaPlayer face(player);
    player.setAutoStart(false);
    QSignalSpy opened(&player, &Player::OpenStateChange);
    player.setURL(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.playState() == 10; }, kTimeout));
    EXPECT_EQ(opened.count(), 2);
    player.controls().play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.playState() == 3; }, kTimeout));
}

} // namespace
