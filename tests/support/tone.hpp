#pragma once
// Sine tones and silences as a WAV file, and what a recording of it says: the
// tone's frequency, how long it sounded and how loud. For listening to what the player plays
// through a sound server (16-bit mono at 44.1 kHz both ways).
#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace tone {

constexpr int sample_rate = 44100;

// A stretch of the recording: a sine of `frequency` at `amplitude` (of 32767),
// or silence when the frequency is 0.
struct Piece {
    double seconds;
    double frequency;
    double amplitude = 12000;
};

// A whole WAV file of the pieces, one after another.
inline std::string wav(const std::vector<Piece>& pieces) {
    std::string samples;
    for (const Piece& p : pieces)
        for (auto i = std::uint32_t(0); i < std::uint32_t(p.seconds * sample_rate); ++i) {
            const auto v = std::uint16_t(
                std::int16_t(p.amplitude * std::sin(2 * M_PI * p.frequency * i / sample_rate)));
            samples += char(v & 0xFF);
            samples += char(v >> 8);
        }
    std::string out = "RIFF";
    auto put_to = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += char((value >> (8 * i)) & 0xFF);
    };
    put_to(36 + std::uint32_t(samples.size()), 4);
    out += "WAVEfmt ";
    put_to(16, 4);
    put_to(1, 2); // PCM
    put_to(1, 2); // mono
    put_to(sample_rate, 4);
    put_to(sample_rate * 2, 4);
    put_to(2, 2);
    put_to(16, 2);
    out += "data";
    put_to(std::uint32_t(samples.size()), 4);
    return out + samples;
}

inline void write_wav(const std::string& path, const std::vector<Piece>& pieces) {
    std::ofstream(path, std::ios::binary) << wav(pieces);
}

inline void write_wav(const std::string& path, double seconds, double frequency) {
    write_wav(path, {{seconds, frequency}});
}

// How loud a recording is while it sounds: the RMS of its samples from the
// first to the last sample louder than a whisper, and its peak; with how many
// samples sat at full scale (a hard clip).
struct Loudness {
    double rms = 0;
    int peak = 0;
    std::size_t clipped = 0;
};

inline Loudness loudness(const QByteArray& raw) {
    const auto* s = reinterpret_cast<const std::int16_t*>(raw.constData());
    const std::size_t n = std::size_t(raw.size()) / 2;
    std::size_t first = n, last = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (std::abs(s[i]) > 1000) {
            first = std::min(first, i);
            last = i;
        }
    Loudness result;
    if (first >= last)
        return result;
    double sum = 0;
    for (std::size_t i = first; i <= last; ++i) {
        sum += double(s[i]) * s[i];
        result.peak = std::max(result.peak, std::abs(int(s[i])));
        result.clipped += s[i] >= 32767 || s[i] <= -32767;
    }
    result.rms = std::sqrt(sum / double(last - first + 1));
    return result;
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
