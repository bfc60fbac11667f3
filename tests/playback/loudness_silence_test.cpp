// The volume past 100 % and the skipping of pauses as they are heard: tones
// played through the player into a private sound server's null sink
// (with-sound-server.sh), recorded with parec. Twice the volume is twice as
// loud and a boosted peak is rounded off, not clipped; a pause in a file or a
// stream is cut to a quarter second at any speed, the pitch kept.
#include "listening/listening_session.hpp"
#include "playback/listening_control.hpp"
#include "playback/player.hpp"
#include "playback/playback_engine.hpp"
#include "site/sample_site.hpp"

#include "support/tone.hpp"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kTimeout = 20000;

// What the null sink heard while the player played `address` to its end, and
// the last position the engine reported before the end.
QByteArray record(Player& player, const Text& address, qint64* last_position = nullptr) {
    QProcess recorder;
    recorder.start("parec", QStringList(std::begin(tone::recorder_arguments),
                                        std::end(tone::recorder_arguments)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.bytesAvailable() > 0; }, kTimeout));
    bool played = false;
    auto connection = QObject::connect(&player, &Player::PlayStateChange, [&](int state) {
        played = played || state == Player::Playing;
    });
    PlaybackEngine& engine = player.engine();
    qint64 last = 0;
    auto positions = QObject::connect(&engine, &PlaybackEngine::positionChanged, [&](qint64 at) {
        if (engine.mediaStatus() == PlaybackEngine::LoadedMedia)
            last = at;
    });
    player.setURL(address);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return played && player.playState() == Player::Stopped; }, kTimeout));
    QObject::disconnect(connection);
    QObject::disconnect(positions);
    if (last_position)
        *last_position = last;
    QTest::qWait(300); // what the server still holds
    recorder.terminate();
    recorder.waitForFinished();
    return recorder.readAllStandardOutput();
}

class Heard : public ::testing::Test {
  protected:
    Heard()
        : control(player, std::make_unique<ListeningSession>(
                              folder.filePath("s.ini").toStdString())) {}
    std::string file(const char* name, const std::vector<tone::Piece>& pieces) {
        const std::string path = folder.filePath(name).toStdString();
        tone::write_wav(path, pieces);
        return path;
    }

    QTemporaryDir folder;
    Player player;
    ListeningControl control;
};

TEST_F(Heard, TwiceTheVolumeIsTwiceAsLoudAndABoostedPeakIsNotClipped) {
    const std::string quiet = file("quiet.wav", {{1.5, 440.0, 12000}});
    const std::string loud = file("loud.wav", {{1.5, 440.0, 30000}});
    control.set_volume(100);
    const tone::Loudness at_one = tone::loudness(record(player, quiet));
    control.set_volume(200);
    EXPECT_EQ(player.engine().volume(), 2.0f);
    const tone::Loudness at_two = tone::loudness(record(player, quiet));
    ASSERT_GT(at_one.rms, 0);
    const double ratio = at_two.rms / at_one.rms;
    RecordProperty("loudness_ratio", std::to_string(ratio));
    std::printf("loudness at 2.0 against 1.0: %.3f (RMS %.0f / %.0f)\n", ratio, at_two.rms,
                at_one.rms);
    EXPECT_GE(ratio, 1.8);
    EXPECT_LE(ratio, 2.2);

    // 30000 doubled would be 60000: the limiter keeps it under full scale, and
    // still louder than at 100 %.
    const tone::Loudness boosted = tone::loudness(record(player, loud));
    std::printf("a peak of 30000 at 2.0: peak %d, RMS %.0f, %zu samples at full scale\n",
                boosted.peak, boosted.rms, boosted.clipped);
    EXPECT_EQ(boosted.clipped, 0u);
    EXPECT_LT(boosted.peak, 32000);
    EXPECT_GT(boosted.rms, 30000 / std::sqrt(2.0));
}

// 1 s of tone, 3 s of silence, 1 s of tone: about 5 s as it is, about 2.25 s
// with the pause cut, half of that at 2×; from a file and from the Media host.
TEST_F(Heard, SkippingSilenceCutsAPauseToAQuarterSecond) {
    const std::vector<tone::Piece> pieces{{1.0, 440.0}, {3.0, 0.0}, {1.0, 440.0}};
    const std::string path = file("pause.wav", pieces);
    const std::string audio = tone::wav(pieces);
    SampleSiteOptions options;
    options.episode_audio.assign(audio.begin(), audio.end());
    SampleSite site(options);
    SampleBook book = sample_books().front();
    site.add_book(book);
    ASSERT_TRUE(site.start());
    const Text stream = "http://" + site.media_host() + "/yousheng/" + book.category + "/" +
                        book.title + "/1.mp3?key=" + site.episode_key(book.book_id, "1");

    const struct {
        const char* name;
        Text address;
        int tenths;
        bool skip;
        double shortest, longest; // seconds heard
    } cases[] = {
        {"file as it is", path, 10, false, 4.7, 5.4},
        {"file, pause cut", path, 10, true, 2.0, 2.9},
        {"file at 2x, pause cut", path, 20, true, 1.0, 1.5},
        {"stream, pause cut", stream, 10, true, 2.0, 2.9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        control.set_speed_tenths(c.tenths);
        control.set_skip_silence(c.skip);
        player.setURL(Text()); // each case opens its media anew
        qint64 last = 0;
        const tone::Heard heard = tone::analyse(record(player, c.address, &last));
        std::printf("%s: %.2f s heard, %.0f Hz, %lld ms cut\n", c.name, heard.seconds,
                    heard.frequency, static_cast<long long>(player.engine().silenceSkipped()));
        EXPECT_GE(heard.seconds, c.shortest);
        EXPECT_LE(heard.seconds, c.longest);
        EXPECT_NEAR(heard.frequency, 440.0, 440.0 * 0.03);
        // What was cut is counted, and the position stays the media's own: it
        // comes near the end, not 2.75 s short of it.
        EXPECT_NEAR(double(player.engine().silenceSkipped()), c.skip ? 2750.0 : 0.0, 300.0);
        EXPECT_GT(last, 4500);
    }
}

} // namespace
