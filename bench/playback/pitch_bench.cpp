// Plays a 3-second 440 Hz tone through the program's player at a given speed,
// records what the sound server hears (parec on the default sink's monitor),
// and prints the tone's frequency (zero crossings) and how long it sounded.
// Run it through run.sh, which starts a private sound server with a null sink.
#include "listening/listening_session.hpp"
#include "playback/listening_control.hpp"
#include "playback/media_player.hpp"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace {

constexpr int sample_rate = 44100;

void put(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(char((value >> (8 * i)) & 0xFF));
}

void write_tone(const std::string& path, double seconds, double frequency) {
    const std::uint32_t samples = std::uint32_t(seconds * sample_rate);
    std::ofstream out(path, std::ios::binary);
    out << "RIFF";
    put(out, 36 + samples * 2, 4);
    out << "WAVEfmt ";
    put(out, 16, 4);
    put(out, 1, 2); // PCM
    put(out, 1, 2); // mono
    put(out, sample_rate, 4);
    put(out, sample_rate * 2, 4);
    put(out, 2, 2);
    put(out, 16, 2);
    out << "data";
    put(out, samples * 2, 4);
    for (std::uint32_t i = 0; i < samples; ++i)
        put(out, std::uint32_t(std::uint16_t(std::int16_t(
                     12000 * std::sin(2 * M_PI * frequency * i / sample_rate)))),
            2);
}

// The span of samples louder than a whisper, and the rising zero crossings in it.
void analyse(const QByteArray& raw, double rate) {
    const auto* s = reinterpret_cast<const std::int16_t*>(raw.constData());
    const std::size_t n = std::size_t(raw.size()) / 2;
    std::size_t first = n, last = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (std::abs(s[i]) > 1000) {
            first = std::min(first, i);
            last = i;
        }
    if (first >= last) {
        std::printf("rate %.1f: nothing heard\n", rate);
        return;
    }
    int crossings = 0;
    for (std::size_t i = first + 1; i <= last; ++i)
        crossings += s[i - 1] < 0 && s[i] >= 0;
    const double seconds = double(last - first) / sample_rate;
    std::printf("rate %.1f: %.1f Hz over %.2f s (pitch kept: 440 Hz over %.2f s)\n", rate,
                crossings / seconds, seconds, 3.0 / rate);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double rate = argc > 1 ? std::atof(argv[1]) : 1.5;
    QTemporaryDir folder;
    const std::string tone = folder.filePath("tone.wav").toStdString();
    write_tone(tone, 3.0, 440.0);

    MediaPlayer player;
    ListeningControl control(player, std::make_unique<ListeningSession>(
                                         folder.filePath("s.ini").toStdString()));
    control.set_volume(100);
    control.set_speed_tenths(int(std::lround(rate * 10)));
    QObject::connect(&player, &MediaPlayer::OpenStateChange, [&](int) { player.controls().play(); });

    QProcess recorder;
    recorder.start("parec", {"--format=s16le", "--rate=44100", "--channels=1", "--raw"});
    if (!recorder.waitForStarted()) {
        std::fprintf(stderr, "parec did not start\n");
        return 1;
    }
    QTest::qWait(1000);
    player.setURL(tone);
    if (!QTest::qWaitFor([&] { return player.playState() == MediaPlayer::Stopped; }, 20000))
        std::fprintf(stderr, "the tone did not end\n");
    QTest::qWait(1500); // what the server still holds
    recorder.terminate();
    recorder.waitForFinished();
    analyse(recorder.readAllStandardOutput(), rate);
    return 0;
}
