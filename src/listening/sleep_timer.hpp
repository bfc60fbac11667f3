#pragma once
// The sleep timer: off, a number of minutes, or the end of the episode that
// plays. Times are milliseconds of a steady clock the caller reads; the timer
// keeps no clock of its own. In its last `fade_ms` the volume fades to nothing.
// While held (nothing plays) the minutes left stay as they are.
#include <cstdint>
#include <optional>

class SleepTimer {
  public:
    static constexpr std::int64_t fade_ms = 15000;
    // The choices in the order the user meets them; 0 is off and
    // `end_of_episode` stops at the end of the episode that plays.
    static constexpr int end_of_episode = -1;
    static constexpr int choices[] = {0, 15, 30, 45, 60, 90, end_of_episode};

    // 0 turns it off; a number of minutes counts from `now`.
    void choose(int minutes, std::int64_t now_ms);
    int chosen() const { return chosen_; }
    bool running() const { return chosen_ != 0; }
    // While it counts down, adds the chosen minutes again to what is left.
    void extend(std::int64_t now_ms);
    // Holds the countdown from `now` (playback paused or stopped), or lets it
    // go on from there; a minute chosen while held is counted once it goes on.
    void hold(bool held, std::int64_t now_ms);
    bool held() const { return held_; }

    // What is left while it counts down; none when off or at the episode's end.
    std::optional<std::int64_t> remaining(std::int64_t now_ms) const;
    // 1 until the last `fade_ms`, then down to 0 at the end.
    double volume_factor(std::int64_t now_ms) const;
    // The countdown has run out; the timer is off again afterwards.
    bool ran_out(std::int64_t now_ms);
    // The episode ended: true (and off afterwards) when it waited for that.
    bool episode_ended();

  private:
    int chosen_ = 0;
    std::int64_t ends_at_ = 0; // while it counts
    bool held_ = false;
    std::int64_t left_ = 0;    // while held
};
