#pragma once
// A sample Catalogue site (HTTPS, self-signed) and Media host (plain HTTP) on
// 127.0.0.1, for the tests and for trying the program by hand.
//
// Catalogue site:
//   /yousheng/<book_id>/play_<book_id>_<episode>.htm  GBK play page with the markers
//       the program cuts (》 第N集/共T集　<<a, &flei=..&bookname=..&filename=..,
//       播音：.. 作者：.. 状态：.. 更新：..) in realistic markup. A request without a
//       valid session cookie gets one: Set-Cookie: ASPSESSIONID........=...; path=/
//   /cover/yousheng/<title>.gif                       the book's cover (a GIF)
//   /play/yousheng/flash.asp?id=<book_id>&filename=<n>.mp3&nexturl=play_<book_id>.htm
//       the player script; answers with ...mp3?key=<key>"; only when the request
//       carries a session cookie the site handed out, otherwise a page without a key.
//       An episode past the book's total is not out yet: its key is empty.
//   /yousheng/0/play_0_<n>.htm                         never answers (until stopped): a
//       page of a server that hangs
//   /                                                  a home page listing the books
//   anything else                                      404 with a small GBK page
// Media host:
//   /yousheng/<category>/<title>/<padded>.mp3?key=<key>  the episode's MP3
//       (Content-Type: audio/mpeg, Content-Length, an ETag and a Last-Modified; a
//       Range request gets 206 with Content-Range; HEAD works) when the key is the
//       one the player script gives now for that episode, else 403; an unknown book or
//       file is 404. The padded number is matched by value: 036 and 36 are the
//       same episode, 002.5 is 2.5, 00-4 is -4.
// Titles and categories in paths are GBK bytes, percent-encoded on the wire (raw
// bytes work too); a title may hold "/".
#include "text/text.hpp"

#include <memory>
#include <string>
#include <vector>

struct SampleBook {
    Text book_id;        // "28946"
    Text title;          // GBK, e.g. gbk("三体")
    Text category;       // e.g. "kehuan"
    Text author_field;   // GBK raw span after 作者：, markup allowed
    Text narrator_field; // GBK raw span after 播音：
    Text status_field;   // GBK raw span after 状态：
    int episode_total = 120;
    bool capitalised_markers = false; // write &FLEI= / &BOOKNAME= / &FILENAME= in capitals
};

// Three books with realistic fields, for the demo and for tests that need any book:
//   28946 星海远航 (kehuan, 120 episodes; the author's name written twice in its span,
//         as the site does: link title and link text),
//   10086 山河故人 (wenxue, 36 episodes, capitalised parameter names),
//   31337 古城疑云 (xuanyi, 1300 episodes).
std::vector<SampleBook> sample_books();

struct SampleSiteOptions {
    int media_delay_ms = 0;        // delay before each media response
    int media_bytes_per_chunk = 0; // when > 0 the body is sent slowly in chunks of this size
    int media_chunk_delay_ms = 0;  // delay between those chunks
    std::size_t episode_size = 0;  // 0: a real one-second MP3; otherwise an MP3 of about this size
    Bytes episode_audio = {};      // when not empty, every episode's audio instead (a WAV file, say)
    int script_delay_ms = 0;       // delay before each player-script answer
    int cover_delay_ms = 0;        // delay before each cover answer
};

class SampleSite {
  public:
    explicit SampleSite(SampleSiteOptions options = {});
    ~SampleSite(); // stops
    SampleSite(const SampleSite&) = delete;
    SampleSite& operator=(const SampleSite&) = delete;

    // Starts both servers on 127.0.0.1 (ports chosen by the system; or the given
    // ones when not 0) and returns once both listen. False when either could not
    // start (nothing is left running then), or when already started.
    bool start(int catalogue_port = 0, int media_port = 0);
    // Stops both servers, cutting open connections and slow or stalled answers,
    // and joins their threads. Safe to call twice; start may be called again after.
    void stop();

    // Books may be added before or after start. A book with the id of an earlier
    // one replaces it.
    void add_book(const SampleBook& book);

    int catalogue_port() const;
    int media_port() const;
    // "127.0.0.1:<port>"
    Text catalogue_host() const;
    Text media_host() const; // the value for "媒体主机"
    // https://127.0.0.1:<port>/yousheng/<id>/play_<id>_<episode>.htm
    Text play_page_address(const Text& book_id, int episode) const;
    // https://127.0.0.1:<port>/
    Text home_address() const;
    // A play page address whose request is taken and never answered.
    Text hanging_page_address() const;
    // The name of the session cookie, "ASPSESSIONID" and eight capitals.
    Text session_cookie_name() const;

    // The key the player script hands out for an episode (differs per episode;
    // the number is taken by value, padded or not).
    Text episode_key(const Text& book_id, const Text& episode_number) const;
    // The bytes the media host serves for an episode: an ID3 tag naming the book
    // and episode (so every episode's file differs) and silent MP3 frames.
    Bytes episode_bytes(const Text& book_id, const Text& episode_number) const;

    // Requests seen, for tests. Player-script requests with and without a valid
    // session cookie; media requests answered with the MP3 (a reset midway counts
    // here) and answered otherwise (403, 404, forced status, empty body).
    int page_requests() const;  // play pages (any status)
    int cover_requests() const; // covers (any status)
    int script_requests_with_cookie() const;
    int script_requests_without_cookie() const;
    int media_requests_served() const;
    int media_requests_refused() const;
    int connections_accepted() const;       // catalogue site, TLS connections
    int media_connections_accepted() const; // media host
    // The most connections to the media host that were open at the same time.
    int media_connections_peak() const;
    // Media requests by kind, whatever the answer: GET without and with a Range
    // header, and HEAD.
    int media_full_requests() const;
    int media_range_requests() const;
    int media_head_requests() const;
    // The User-Agent of every media request, in order ("" when none was sent).
    std::vector<Text> media_user_agents() const;

    // Fault switches for tests; they apply to the media responses that follow, for
    // every episode or, after set_media_fault_episode, for that episode only.
    void set_media_status(int status);    // answer with this HTTP status (0: normal)
    void set_media_reset_midway(bool on); // close the connection after half the body
    void set_media_empty_body(bool on);   // 200 with Content-Length: 0
    void set_media_stall(bool on);        // send nothing until switched off or stopped
    void set_media_login_page(bool on);   // 200 with a small GBK HTML login page instead
    void set_media_fault_episode(const Text& episode_number); // empty: every episode
    // The five switches above hold for this many more faulty GET answers, then
    // switch themselves off (a stalled answer stays stalled until set_media_stall
    // or stop). 0: until switched off.
    void set_media_fault_limit(int answers);
    // A Retry-After of this many seconds on the forced statuses (-1: none).
    void set_media_retry_after(int seconds);
    // Close the connection midway through the first GET answer of each episode
    // (of the fault episode only, when one is set), then serve it normally.
    void set_media_reset_once(bool on);
    // A new version of every episode for the validators: the ETag changes.
    void set_media_version(int version);
    // Change the pacing of the options while running; a body under way follows
    // the new pacing from its next piece.
    void set_media_pacing(int delay_ms, int bytes_per_chunk, int chunk_delay_ms);
    void set_script_delay(int ms);
    // Every play page answers this much later (0: at once).
    void set_page_delay(int ms);
    void set_page_status(int status); // play pages answer with this status (0: normal)
    void set_cover_delay(int ms);
    // A key lets one GET through; after that it is refused (403) and the player
    // script hands out the episode's next key, which episode_key() returns.
    void set_media_single_use_keys(bool on);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A one-second silent MPEG-1 Layer III file (44.1 kHz, 128 kbit/s, 39 frames of
// 417 bytes), padded with more frames to reach at least `min_size` bytes when that
// is larger.
Bytes silent_mp3(std::size_t min_size = 0);

// A small GIF89a picture (a coloured book cover; the colour follows `seed`).
Bytes sample_cover_gif(const Text& seed);
