#include "listening/sleep_timer.hpp"

#include <algorithm>

void SleepTimer::choose(int minutes, std::int64_t now_ms) {
    chosen_ = minutes > 0 || minutes == end_of_episode ? minutes : 0;
    left_ = chosen_ > 0 ? std::int64_t(chosen_) * 60000 : 0;
    ends_at_ = chosen_ > 0 ? now_ms + left_ : 0;
}

void SleepTimer::extend(std::int64_t now_ms) {
    if (chosen_ <= 0)
        return;
    if (held_)
        left_ += std::int64_t(chosen_) * 60000;
    else
        ends_at_ = std::max(ends_at_, now_ms) + std::int64_t(chosen_) * 60000;
}

void SleepTimer::hold(bool held, std::int64_t now_ms) {
    if (held == held_)
        return;
    if (held)
        left_ = remaining(now_ms).value_or(0);
    else
        ends_at_ = now_ms + left_;
    held_ = held;
}

std::optional<std::int64_t> SleepTimer::remaining(std::int64_t now_ms) const {
    if (chosen_ <= 0)
        return std::nullopt;
    return held_ ? left_ : std::max<std::int64_t>(ends_at_ - now_ms, 0);
}

double SleepTimer::volume_factor(std::int64_t now_ms) const {
    const auto left = remaining(now_ms);
    if (!left || *left >= fade_ms)
        return 1.0;
    return double(*left) / double(fade_ms);
}

bool SleepTimer::ran_out(std::int64_t now_ms) {
    const auto left = remaining(now_ms);
    if (!left || *left > 0)
        return false;
    choose(0, now_ms);
    return true;
}

bool SleepTimer::episode_ended() {
    if (chosen_ != end_of_episode)
        return false;
    chosen_ = 0;
    return true;
}
