// Plays a 3-second 440 Hz tone through the program's player at a given speed,
// records what the sound server hears (parec on the default sink's monitor),
// and prints the tone's frequency (zero crossings) and how long it sounded.
// Run it through run.sh, which starts a private sound server with a null sink.
// `--short` (or BENCH_SHORT=1): a 1-second tone, and a status of 1 when nothing
// was heard.
#include "listening/listening_session.hpp"
#include "playback/listening_control.hpp"
#include "playback/player.hpp"

#include "short_mode.hpp"
#include "support/tone.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    const bool brief = short_mode(argc, argv);
    QApplication app(argc, argv);
    const double rate = argc > 1 ? std::atof(argv[1]) : 1.5;
    const double tone_seconds = brief ? 1.0 : 3.0;
    QTemporaryDir folder;
    const std::string path = folder.filePath("tone.wav").toStdString();
    tone::write_wav(path, tone_seconds, 440.0);

    Player player;
    ListeningControl control(
        player, std::make_unique<ListeningSession>(folder.filePath("s.ini").toStdString()));
    control.set_volume(100);
    control.set_speed_tenths(int(std::lround(rate * 10)));
    QObject::connect(&player, &Player::OpenStateChange,
                     [&](int) { player.controls().play(); });

    QProcess recorder;
    recorder.start("parec", QStringList(std::begin(tone::recorder_arguments),
                                        std::end(tone::recorder_arguments)));
    // The monitor of a null sink delivers silence from the start: the first bytes
    // say the recording runs, and from then on its time is roughly this clock's.
    if (!recorder.waitForStarted() ||
        !QTest::qWaitFor([&] { return recorder.bytesAvailable() > 0; }, 10000)) {
        std::fprintf(stderr, "parec records nothing\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(brief ? 200 : 500);
    const double opened = double(clock.elapsed()) / 1000;
    player.setURL(path);
    if (!QTest::qWaitFor([&] { return player.playState() == Player::Stopped; }, 20000))
        std::fprintf(stderr, "the tone did not end\n");
    const double stopped = double(clock.elapsed()) / 1000;
    QTest::qWait(brief ? 500 : 1500); // what the server still holds
    recorder.terminate();
    recorder.waitForFinished();
    const tone::Heard heard = tone::analyse(recorder.readAllStandardOutput());
    if (heard.seconds <= 0) {
        std::printf("rate %.1f: nothing heard\n", rate);
        return brief ? 1 : 0;
    }
    std::printf("rate %.1f: %.1f Hz over %.2f s (pitch kept: 440 Hz over %.2f s); heard from "
                "%.2f s, the address given at %.2f s, stopped at %.2f s\n",
                rate, heard.frequency, heard.seconds, tone_seconds / rate, heard.start, opened,
                stopped);
    return !brief || (sane(heard.frequency) && sane(heard.seconds)) ? 0 : 1;
}
