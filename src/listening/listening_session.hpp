#pragma once
// How the user listens, without widgets: the speed and whether pauses are cut
// short (per book, with a default for books not played yet), the sleep timer, jumps, the volume, the rewind
// after a long pause, a book's intro and outro to skip, what plays, the
// episodes heard to their end and the list the user worked with last. Kept in
// a GBK INI file of its own, written atomically by `save`:
//
//     [收听]
//     默认速度=1.5
//     音量=140
//     上次集=<episode address or file>
//     默认跳过静音=1
//     [书:三体]
//     速度=1.3
//     跳过静音=1
//     片头=30
//     片尾=20
//     [已听完]
//     1=<episode address or file>
//     [上次列表]
//     书=三体
//     保存=/home/user/有声书
//     文件夹=三体
//     1=第1集|<episode address or file>
//
// Times are milliseconds; "now" is a steady clock the caller reads.
#include "listening/ini_document.hpp"
#include "listening/sleep_timer.hpp"
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

// The rows of a list the user worked with, and where they came from.
struct ListeningList {
    Text book;        // the book's title
    Text save_folder; // the save folder the book's folder lies in
    Text folder;      // the book folder opened, empty for a query's rows
    std::vector<std::pair<Text, Text>> rows; // label, episode address or file
};

class ListeningSession {
  public:
    static constexpr int slowest_tenths = 5;
    static constexpr int fastest_tenths = 30;
    static constexpr std::int64_t back_ms = 15000;
    static constexpr std::int64_t forward_ms = 30000;
    static constexpr std::int64_t long_pause_ms = 5 * 60000;
    static constexpr std::int64_t rewind_ms = 5000;
    static constexpr std::size_t heard_capacity = 5000;

    // Reads the file; a missing one gives speed 1.0, volume 50, nothing heard.
    explicit ListeningSession(std::filesystem::path file);

    // The book whose episodes play now: its speed and skips apply.
    void open_book(const Text& title);
    const Text& book() const { return book_; }

    int speed_tenths() const { return speed_; }
    double speed() const { return speed_ / 10.0; }
    Text speed_text() const; // "1.5×"
    // Clamped to 0.5× .. 3.0×; kept for the book and as the default.
    void set_speed_tenths(int tenths);
    void faster() { set_speed_tenths(speed_ + 1); }
    void slower() { set_speed_tenths(speed_ - 1); }

    // Seconds to skip at the start and before the end of every episode of the book.
    int intro_seconds() const;
    int outro_seconds() const;
    void set_skips(int intro_seconds, int outro_seconds);
    // Where an episode opening at `position` starts: after the intro, if it
    // would start inside it and the intro is shorter than the episode.
    std::optional<std::int64_t> after_intro(std::int64_t position, std::int64_t duration) const;
    // The episode has reached its outro and should end now.
    bool in_outro(std::int64_t position, std::int64_t duration) const;

    // Cut every pause to a quarter second; kept for the book and as the default.
    bool skip_silence() const { return skip_silence_; }
    void set_skip_silence(bool on);

    static constexpr int max_volume = 200; // twice the recording's loudness
    int volume() const { return volume_; } // 0 to max_volume
    void set_volume(int volume);

    SleepTimer& sleep_timer() { return sleep_; }
    // The episode played to its end: the sleep timer waiting for that stops the
    // queue from moving on until the user plays again.
    void episode_ended();
    bool queue_held() const { return queue_held_; }
    void note_playing(std::int64_t now_ms);
    void note_paused(std::int64_t now_ms);
    // Where playback goes on after the pause noted last: 5 s earlier once the
    // pause lasted longer than 5 minutes.
    std::int64_t resume_position(std::int64_t position, std::int64_t now_ms) const;

    // Where a jump of `delta` from `position` lands, inside the episode.
    static std::int64_t jump(std::int64_t position, std::int64_t delta, std::int64_t duration);

    void set_last_episode(const Text& episode);
    Text last_episode() const;
    void set_last_list(const ListeningList& list);
    ListeningList last_list() const;

    bool heard(const Text& episode) const;
    void mark_heard(const Text& episode);

    bool save();

  private:
    Text book_section() const;
    void store_book(const Text& key, int value);

    std::filesystem::path file_;
    IniDocument document_;
    std::vector<Text> heard_; // most recent first
    Text book_;
    int speed_ = 10;
    bool skip_silence_ = false;
    int volume_ = 50;
    SleepTimer sleep_;
    bool queue_held_ = false;
    std::optional<std::int64_t> paused_at_;
    bool changed_ = false;
};
