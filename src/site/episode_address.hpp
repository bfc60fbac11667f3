#pragma once
// Where an episode's audio file lies: the player script's address on the
// Catalogue site, the key cut from its answer and the audio address on the Media
// host. Everything but resolve_episode_address is a pure function.
#include "text/text.hpp"

// "https://" + host + "/play/yousheng/flash.asp?id=" + book_id + "&filename=" +
// episode number + ".mp3&nexturl=play_" + book_id + ".htm"
Text play_page_address(const Text& catalogue_host, const Text& book_id, const Text& episode_number);

// The text between the first "mp3?key=" of the answer and the next `";`
// (letter case significant); empty when either is missing.
Text audio_key(const Text& answer);

// The episode number with zeros in front up to three digits, decided on its value:
// below 10 two zeros, below 100 one zero, otherwise unchanged ("-4" gives "00-4").
Text padded_number(const Text& episode_number);

// "http://" + media host + "/yousheng/" + category + "/" + title + "/" + padded
// number + ".mp3?key=" + key, every piece inserted byte for byte.
Text audio_address(const Text& media_host, const Text& category, const Text& title,
                   const Text& padded, const Text& key);

// The Media host: the value of "媒体主机" in the configuration file, read now;
// the Catalogue host when that is absent or empty.
Text media_host(const Text& catalogue_host);

// The player script's answer is read up to this many bytes and no further; a
// longer answer, or a longer key, gives no key.
constexpr std::size_t player_answer_limit = 1024 * 1024;
constexpr std::size_t audio_key_limit = 1024;

// Asks the player script on the Catalogue host for the episode's key and returns
// the episode's audio address. Never fails: without a key the address ends in
// ".mp3?key=". When the answer or the key was too long to take, `reason` (when
// given) says so for the user; else it is emptied.
Text resolve_episode_address(const Text& catalogue_host, const Text& book_id, const Text& category,
                             const Text& title, const Text& episode_number, Text* reason = nullptr);

// An http:// or https:// address (letter case ignored).
bool is_web_address(const Text& address);
// The address carries a key: it does not end where the key would stand ("?key=").
bool has_audio_key(const Text& address);
