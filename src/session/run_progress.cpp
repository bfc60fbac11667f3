#include "session/run_progress.hpp"

#include "text/gbk.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr qint64 speed_window_ms = 3000;
// The time left is guessed only from this much time of arrivals.
constexpr qint64 guess_after_ms = 2000;

} // namespace

Text speed_text(double bytes_per_second) {
    char buffer[32];
    if (bytes_per_second < 1024 * 1024)
        std::snprintf(buffer, sizeof buffer, "%.0f KB/s", bytes_per_second / 1024);
    else
        std::snprintf(buffer, sizeof buffer, "%.1f MB/s", bytes_per_second / (1024 * 1024));
    return buffer;
}

Text duration_text(double seconds) {
    const long long s = std::llround(std::max(0.0, seconds));
    char buffer[32];
    if (s >= 3600)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", s / 60, s % 60);
    return buffer;
}

void RunProgress::start(const Text& book) {
    *this = RunProgress();
    book_ = book;
    clock_.start();
    samples_.push_back({0, 0});
}

void RunProgress::pause() {
    paused_ = true;
    running_.clear();
    samples_.clear();
}

void RunProgress::resume() {
    paused_ = false;
    finished_ = false;
    failed_ = 0;
    if (!clock_.isValid())
        clock_.start();
    counting_since_ = clock_.elapsed();
    samples_.clear();
    samples_.push_back({counting_since_, bytes_});
}

// Bytes an earlier run left (a resumed episode) are not counted as arriving now.
void RunProgress::progressed(std::uint64_t id, std::int64_t received, std::int64_t total) {
    const auto [at, first] = running_.try_emplace(id, received, total);
    auto& [seen, whole] = at->second;
    if (!first && received > seen)
        bytes_ += received - seen;
    seen = received;
    whole = total;
    const qint64 now = clock_.isValid() ? clock_.elapsed() : 0;
    samples_.push_back({now, bytes_});
    while (samples_.size() > 2 && now - samples_[1].ms >= speed_window_ms)
        samples_.pop_front();
}

void RunProgress::ended(std::uint64_t id, bool arrived) {
    const auto at = running_.find(id);
    if (arrived && at != running_.end() && at->second.second > 0) {
        sizes_ += at->second.second;
        ++sized_;
    }
    if (at != running_.end())
        running_.erase(at);
    ++(arrived ? arrived_ : failed_);
}

double RunProgress::bytes_per_second() const {
    if (samples_.size() < 2)
        return 0;
    const Sample& first = samples_.front();
    const qint64 now = clock_.isValid() ? clock_.elapsed() : first.ms;
    const qint64 span = std::max<qint64>(now - first.ms, 1);
    return double(bytes_ - first.bytes) * 1000.0 / double(span);
}

// The bytes still to come at the speed of the last few seconds: what the
// episodes under way still lack, and for those not begun the average size of
// the episodes whose size is known.
double RunProgress::seconds_left() const {
    if (!clock_.isValid() || paused_ || clock_.elapsed() - counting_since_ < guess_after_ms)
        return -1;
    const double speed = bytes_per_second();
    std::int64_t known = sizes_, rest = 0;
    int sized = sized_, waiting = total_ - arrived_ - failed_;
    for (const auto& [id, bytes] : running_) {
        --waiting;
        if (bytes.second <= 0)
            continue;
        known += bytes.second;
        ++sized;
        rest += std::max<std::int64_t>(bytes.second - bytes.first, 0);
    }
    if (speed <= 0 || sized == 0)
        return -1;
    rest += std::int64_t(std::max(waiting, 0)) * (known / sized);
    return double(rest) / speed;
}

Text RunProgress::tally() const {
    if (!clock_.isValid())
        return {};
    if (finished_ && total_ == 0 && arrived_ + failed_ == 0)
        return gbk("没有要下载的集");
    Text text = number_to_text(double(arrived_ + failed_)) + "/" + number_to_text(double(total_)) +
                gbk(" 集");
    if (failed_ > 0)
        text += gbk("（失败 ") + number_to_text(double(failed_)) + gbk("）");
    return paused_ ? text + gbk(" · 已暂停") : text;
}

Text RunProgress::summary() const {
    Text text = tally();
    if (text.empty() || paused_ || finished_)
        return text;
    text += gbk(" · ") + speed_text(bytes_per_second());
    const double left = seconds_left();
    if (left >= 0)
        text += gbk(" · 剩余 ") + duration_text(left);
    return text;
}
