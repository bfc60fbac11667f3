#pragma once
// A sine tone as a WAV file, and what a recording of it says: the tone's
// frequency and how long it sounded. For listening to what the player plays
// through a sound server (16-bit mono at 44.1 kHz both ways).
#include <QByteArray>

#include <algorithm>
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
    double frequency = 0; // rising zero crossings per second while it sounded
};

// The frequency counts only the 10 ms blocks that sound, so that a short gap
// (a seek's flush, say) changes the time heard but not the pitch.
inline Heard analyse(const QByteArray& raw) {
    constexpr std::size_t block = sample_rate / 100;
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
    std::size_t sounding = 0;
    for (std::size_t b = first; b + block <= last + 1; b += block) {
        if (std::none_of(s + b, s + b + block, [](std::int16_t v) { return std::abs(v) > 1000; }))
            continue;
        sounding += block;
        for (std::size_t i = std::max<std::size_t>(b, 1); i < b + block; ++i)
            crossings += s[i - 1] < 0 && s[i] >= 0;
    }
    const double seconds = double(last - first) / sample_rate;
    return {double(first) / sample_rate, seconds,
            sounding ? crossings * double(sample_rate) / double(sounding) : 0};
}

// parec's arguments for the format above, recording the default sink's monitor
// in small pieces (its own default hands them over seconds late).
inline const char* const recorder_arguments[] = {"--format=s16le", "--rate=44100", "--channels=1",
                                                 "--raw", "--latency-msec=20"};

} // namespace tone
