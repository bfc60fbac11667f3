#pragma once
// A sine tone as a WAV file, and what a recording of it says: the tone's
// frequency and how long it sounded. For listening to what the player plays
// through a sound server (16-bit mono at 44.1 kHz both ways).
#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace tone {

constexpr int sample_rate = 44100;

inline void put(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(char((value >> (8 * i)) & 0xFF));
}

inline void write_wav(const std::string& path, double seconds, double frequency) {
    const auto samples = std::uint32_t(seconds * sample_rate);
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
        put(out,
            std::uint16_t(std::int16_t(12000 * std::sin(2 * M_PI * frequency * i / sample_rate))),
            2);
}

struct Heard {
    double start = 0;     // seconds into the recording
    double seconds = 0;   // from the first to the last sample louder than a whisper
    double frequency = 0; // rising zero crossings per second over that span
};

inline Heard analyse(const QByteArray& raw) {
    const auto* s = reinterpret_cast<const std::int16_t*>(raw.constData());
    const std::size_t n = std::size_t(raw.size()) / 2;
    std::size_t first = n, last = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (std::abs(s[i]) > 1000) {
            first = std::min(first, i);
            last = i;
        }
    if (first >= last)
        return {};
    int crossings = 0;
    for (std::size_t i = first + 1; i <= last; ++i)
        crossings += s[i - 1] < 0 && s[i] >= 0;
    const double seconds = double(last - first) / sample_rate;
    return {double(first) / sample_rate, seconds, crossings / seconds};
}

// parec's arguments for the format above, recording the default sink's monitor
// in small pieces (its own default hands them over seconds late).
inline const char* const recorder_arguments[] = {"--format=s16le", "--rate=44100", "--channels=1",
                                                 "--raw", "--latency-msec=20"};

} // namespace tone
