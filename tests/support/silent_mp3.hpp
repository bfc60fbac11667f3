#pragma once
// Silent MPEG-1 Layer III for playback tests: 128 kbit/s, 44.1 kHz, joint
// stereo, no padding, so each frame is 417 bytes and about 38.3 frames make a
// second.
#include <string>

inline std::string silent_mp3(double seconds) {
    const int frames = int(seconds * 44100.0 / 1152.0) + 1;
    std::string frame(417, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x90);
    frame[3] = char(0x64);
    std::string out;
    for (int i = 0; i < frames; ++i)
        out += frame;
    return out;
}
