// What tagging adds to an episode's landing, beside the landing as it is
// without tags (written, flushed, renamed), for a host tag the new one
// outgrows (the file is rewritten behind it) and for one with room to spare;
// and the playlist of a 1,288-episode book written afresh and again.
#include "files/files.hpp"
#include "files/streamed_file.hpp"
#include "short_mode.hpp"
#include "site/sample_site.hpp"
#include "tagging/book_folder_dressing.hpp"
#include "tagging/episode_tags.hpp"
#include "text/gbk.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdlib.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// An ID3v2.3 tag of one title frame and `padding` bytes of room.
Bytes host_tag(std::size_t padding) {
    Bytes frames = {'T', 'I', 'T', '2', 0, 0, 0, 11, 0, 0, 0};
    for (char c : std::string_view("episode 37"))
        frames.push_back(std::uint8_t(c));
    frames.resize(frames.size() + padding, 0);
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    const std::size_t size = frames.size();
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.push_back(std::uint8_t((size >> shift) & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

// One landing as the download makes it: pieces of 64 kB, then the finish.
double land(const Bytes& host, const fs::path& folder, const EpisodeTags* tags) {
    const fs::path partial = folder / ".episode.mp3.part", target = folder / "episode.mp3";
    fs::remove(target);
    const auto start = Clock::now();
    StreamedFile file;
    if (!file.create(partial))
        return -1;
    for (std::size_t at = 0; at < host.size(); at += 65536)
        file.append(reinterpret_cast<const char*>(host.data()) + at,
                    std::min<std::size_t>(65536, host.size() - at));
    const bool ok = file.finish_as(target, [tags](const fs::path& p) {
        return !tags || write_episode_tags(p, *tags) == TagWrite::written;
    });
    return ok ? ms_since(start) : -1;
}

double best_of(int rounds, const std::function<double()>& run) {
    double best = 1e300;
    for (int i = 0; i < rounds; ++i) {
        const double ms = run();
        if (ms < 0)
            return -1;
        best = std::min(best, ms);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = short_mode(argc, argv);
    char pattern[] = "/tmp/tag-bench-XXXXXX";
    const fs::path folder = mkdtemp(pattern);
    bool all_sane = true;

    EpisodeTags tags{gbk("第37集"), gbk("星海远航"), gbk("林远"), gbk("王播音"), 37, 1288,
                     sample_cover_gif("cover")};
    tags.cover.resize(60 * 1024, 0); // a cover of a usual size
    const int rounds = quick ? 1 : 5;
    std::printf("landing of an episode, best of %d (ms): untagged | tagged, host tag outgrown | "
                "tagged, host tag with room\n",
                rounds);
    for (const std::size_t mb : quick ? std::vector<std::size_t>{1} : std::vector<std::size_t>{10, 30}) {
        const Bytes audio = silent_mp3(mb * 1024 * 1024);
        Bytes small = host_tag(64), roomy = host_tag(128 * 1024);
        small.insert(small.end(), audio.begin(), audio.end());
        roomy.insert(roomy.end(), audio.begin(), audio.end());
        const double plain = best_of(rounds, [&] { return land(small, folder, nullptr); });
        const double outgrown = best_of(rounds, [&] { return land(small, folder, &tags); });
        const double with_room = best_of(rounds, [&] { return land(roomy, folder, &tags); });
        std::printf("  %2zu MB: %8.1f | %8.1f (x%.2f) | %8.1f (x%.2f)\n", mb, plain, outgrown,
                    outgrown / plain, with_room, with_room / plain);
        all_sane = all_sane && sane(plain) && sane(outgrown) && sane(with_room);
    }

    const int episodes = quick ? 100 : 1288;
    const fs::path book = folder / "book";
    fs::create_directories(book);
    const Bytes episode = silent_mp3();
    for (int n = 1; n <= episodes; ++n)
        std::ofstream(book / native_path(gbk("书_第") + std::to_string(n) + gbk("集.mp3")),
                      std::ios::binary)
            .write(reinterpret_cast<const char*>(episode.data()), std::streamsize(episode.size()));
    BookFolderDressing dressing;
    auto start = Clock::now();
    const bool first_ok = dressing.write_playlist(book, gbk("书"));
    const double first = ms_since(start);
    start = Clock::now();
    const bool again_ok = dressing.write_playlist(book, gbk("书"));
    const double again = ms_since(start);
    std::printf("playlist of %d episodes (ms): first %.1f (lengths read), again %.1f (as each "
                "episode lands)\n",
                episodes, first, again);
    all_sane = all_sane && first_ok && again_ok && sane(first) && sane(again);

    std::error_code ec;
    fs::remove_all(folder, ec);
    return all_sane ? 0 : 1;
}
