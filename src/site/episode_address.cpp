#include "site/episode_address.hpp"

#include "http/request_headers.hpp"
#include "http/web_access.hpp"
#include "settings/config_file.hpp"
#include "text/gbk.hpp"

Text play_page_address(const Text& catalogue_host, const Text& book_id,
                       const Text& episode_number) {
    return "https://" + catalogue_host + "/play/yousheng/flash.asp?id=" + book_id +
           "&filename=" + episode_number + ".mp3&nexturl=play_" + book_id + ".htm";
}

Text audio_key(const Text& answer) {
    return text_between(answer, "mp3?key=", "\";");
}

Text padded_number(const Text& episode_number) {
    double n = text_to_number(episode_number);
    if (n < 10)
        return "00" + episode_number;
    if (n < 100)
        return "0" + episode_number;
    return episode_number;
}

Text audio_address(const Text& media_host, const Text& category, const Text& title,
                   const Text& padded, const Text& key) {
    return "http://" + media_host + "/yousheng/" + category + "/" + title + "/" + padded +
           ".mp3?key=" + key;
}

Text media_host(const Text& catalogue_host) {
    Text host = trim_spaces(read_setting(gbk("媒体主机")));
    return host.empty() ? catalogue_host : host;
}

Text resolve_episode_address(const Text& catalogue_host, const Text& book_id, const Text& category,
                             const Text& title, const Text& episode_number, Text* reason) {
    bool too_long = false;
    const Text answer = bytes_to_text(web_access_capped(
        play_page_address(catalogue_host, book_id, episode_number), player_answer_limit, too_long));
    Text key = audio_key(answer);
    Text why;
    if (too_long) {
        why = gbk("播放脚本的回答超过 1 MB，未取得音频地址");
    } else if (key.size() > audio_key_limit) {
        key.clear();
        why = gbk("音频密钥超过 1 KB，未取得音频地址");
    }
    if (reason)
        *reason = why;
    return audio_address(media_host(catalogue_host), category, title, padded_number(episode_number),
                         key);
}

bool is_web_address(const Text& address) {
    return find_text(address, "http://", 1, true) == 1 ||
           find_text(address, "https://", 1, true) == 1;
}

bool has_audio_key(const Text& address) {
    const Text end = "?key=";
    return address.size() > end.size() &&
           address.compare(address.size() - end.size(), end.size(), end) != 0;
}
