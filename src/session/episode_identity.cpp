#include "session/episode_identity.hpp"

#include "site/download_paths.hpp"
#include "text/gbk.hpp"

namespace {

// The episode number a row stands for: the site's, or the one its label gives.
Text number_of(const Episode& e) {
    if (!e.number.empty())
        return e.number;
    const int number = episode_number_in_name(e.label);
    return number > 0 ? number_to_text(number) : Text();
}

} // namespace

bool same_episode(const Episode& a, const Episode& b) {
    if (a.book.title.empty() || book_name(a.book.title) != book_name(b.book.title))
        return false;
    if (!a.local.empty() && a.local == b.local)
        return true;
    if (!a.remote.empty() && a.remote == b.remote)
        return true;
    const Text number = number_of(a);
    return !number.empty() && number == number_of(b);
}

Text now_playing_text(const Episode& episode, bool paused) {
    return gbk(paused ? "已暂停《" : "正在播放《") + episode.book.title + gbk("》") + episode.label;
}
