// The key cut from the player script's answer: a key is always one that the
// answer gives between a "mp3?key=" and the next '";', and none comes
// from an answer without the marker.
#include "site/episode_address.hpp"
#include "fuzz_check.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text answer(reinterpret_cast<const char*>(data), size);
    const Text key = audio_key(answer);
    auto show = std::initializer_list<Shown>{{"answer", answer}, {"key", key}};
    if (key.empty())
        return 0;
    check(answer.find("mp3?key=" + key + "\";") != Text::npos,
          "the key stands between the marker and '\";' in the answer", show);
    check(key.find("\";") == Text::npos, "the key ends at the first '\";'", show);
    return 0;
}
