#pragma once
// A sample Catalogue site (HTTPS, self-signed) and Media host (plain HTTP) on
// 127.0.0.1, for the tests and for trying the program by hand.
//
// Catalogue site:
//   /yousheng/<book_id>/play_<book_id>_<episode>.htm  GBK play page with the markers
//       the program cuts (》 第N集/共T集　<<a, &flei=..&bookname=..&filename=..,
//       播音：.. 作者：.. 状态：.. 更新：..) in realistic markup; sets a session cookie.
//   /cover/yousheng/<title>.gif                       the book's cover (a GIF)
//   /play/yousheng/flash.asp?id=<book_id>&filename=<n>.mp3&nexturl=play_<book_id>.htm
//       the player script; answers with ...mp3?key=<key>"; only when the request
//       carries the session cookie, otherwise a page without a key.
//   /                                                  a home page
// Media host:
//   /yousheng/<category>/<title>/<padded>.mp3?key=<key>  the episode's MP3 when the
//       key is the one the player script gave for that episode, else 403.
// Titles and categories in paths are GBK bytes, percent-encoded on the wire.
#include "text/text.hpp"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct SampleBook {
    Text book_id;           // "28946"
    Text title;             // GBK, e.g. gbk("三体")
    Text category;          // e.g. "kehuan"
    Text author_field;      // GBK raw span after 作者：, markup allowed
    Text narrator_field;    // GBK raw span after 播音：
    Text status_field;      // GBK raw span after 状态：
    int episode_total = 120;
    bool capitalised_markers = false; // write &FLEI= / &BOOKNAME= / &FILENAME= in capitals
};

struct SampleSiteOptions {
    int media_delay_ms = 0;        // delay before each media response body
    int media_bytes_per_chunk = 0; // when > 0 the body is sent slowly in chunks of this size
    int media_chunk_delay_ms = 0;  // delay between those chunks
    std::size_t episode_size = 0;  // 0: a real one-second MP3; otherwise an MP3 of about this size
};

class SampleSite {
  public:
    explicit SampleSite(SampleSiteOptions options = {});
    ~SampleSite();
    SampleSite(const SampleSite&) = delete;
    SampleSite& operator=(const SampleSite&) = delete;

    // Starts both servers on 127.0.0.1 (ports chosen by the system; or the given
    // ones when not 0). False when either could not start.
    bool start(int catalogue_port = 0, int media_port = 0);
    void stop();

    void add_book(const SampleBook& book);

    int catalogue_port() const;
    int media_port() const;
    // "127.0.0.1:<port>"
    Text catalogue_host() const;
    Text media_host() const;
    // https://127.0.0.1:<port>/yousheng/<id>/play_<id>_<episode>.htm
    Text play_page_address(const Text& book_id, int episode) const;

    // The key the player script hands out for an episode (differs per episode).
    Text episode_key(const Text& book_id, const Text& episode_number) const;
    // The bytes the media host serves for an episode.
    Bytes episode_bytes(const Text& book_id, const Text& episode_number) const;

    // Requests seen, for tests: how many player-script requests came with and
    // without the session cookie, how many media requests were served, refused.
    int script_requests_with_cookie() const;
    int script_requests_without_cookie() const;
    int media_requests_served() const;
    int media_requests_refused() const;
    int connections_accepted() const; // catalogue site, TLS connections

    // Fault switches for tests: the next media responses answer with this HTTP
    // status (0: normal), or reset the connection halfway through the body.
    void set_media_status(int status);
    void set_media_reset_midway(bool on);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A one-second silent MPEG-1 Layer III file (44.1 kHz, 128 kbit/s), padded with
// more frames to reach at least `min_size` bytes when that is larger.
Bytes silent_mp3(std::size_t min_size = 0);
