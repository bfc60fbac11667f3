// The speed as it is heard: a 440 Hz tone played through the player at each
// speed into a private sound server's null sink (with-sound-server.sh), recorded
// with parec. A speed keeps the pitch and shortens the time.
#include "listening/listening_session.hpp"
#include "playback/listening_control.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"

#include "support/tone.hpp"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kTimeout = 20000;
constexpr double kToneSeconds = 1.5;

// What the null sink heard while the player played `path` to its end. With
// `later` set, the speed changes to it half a second into the media, and
// `changed_at` says where playback was then.
tone::Heard record(Player& player, ListeningControl& control, const std::string& path,
                   int tenths, int later = 0, double* changed_at = nullptr) {
    QProcess recorder;
    recorder.start("parec", QStringList(std::begin(tone::recorder_arguments),
                                        std::end(tone::recorder_arguments)));
    // The null sink's monitor sends silence from the start.
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.bytesAvailable() > 0; }, kTimeout));
    bool played = false;
    auto connection = QObject::connect(&player, &Player::PlayStateChange, [&](int state) {
        played = played || state == Player::Playing;
    });
    control.set_speed_tenths(tenths);
    player.setURL(path);
    if (later) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return player.engine().position() >= 500; }, kTimeout));
        *changed_at = double(player.engine().position()) / 1000;
        control.set_speed_tenths(later);
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return played && player.playState() == Player::Stopped; }, kTimeout));
    QObject::disconnect(connection);
    QTest::qWait(300); // what the server still holds
    recorder.terminate();
    recorder.waitForFinished();
    return tone::analyse(recorder.readAllStandardOutput());
}

TEST(Speed, KeepsThePitchAndShortensTheTime) {
    QTemporaryDir folder;
    const std::string path = folder.filePath("tone.wav").toStdString();
    tone::write_wav(path, kToneSeconds, 440.0);
    Player player;
    ListeningControl control(
        player, std::make_unique<ListeningSession>(folder.filePath("s.ini").toStdString()));
    control.set_volume(100);

    // One player for all: each new source plays at the speed chosen for it, and
    // a speed chosen while it plays holds from there on.
    const struct {
        int tenths;
        int later;
    } cases[] = {{10, 0}, {15, 0}, {10, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tenths << " then " << c.later);
        double changed_at = 0;
        const tone::Heard heard = record(player, control, path, c.tenths, c.later, &changed_at);
        const double expected = c.later
                                    ? changed_at + (kToneSeconds - changed_at) / (c.later / 10.0)
                                    : kToneSeconds / (c.tenths / 10.0);
        EXPECT_NEAR(heard.frequency, 440.0, 440.0 * 0.03);
        EXPECT_NEAR(heard.seconds, expected, expected * 0.1);
    }
}

} // namespace
