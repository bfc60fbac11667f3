#include "session/run_progress.hpp"

#include "text/gbk.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr qint64 speed_window_ms = 3000;

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

void RunProgress::start() {
    *this = RunProgress();
    clock_.start();
    samples_.push_back({0, 0});
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
    running_.erase(id);
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

// The share done so far, counting the episodes under way by their bytes, and
// the rest at the pace of that share.
double RunProgress::seconds_left() const {
    double done = arrived_ + failed_;
    for (const auto& [id, bytes] : running_)
        if (bytes.second > 0)
            done += double(bytes.first) / double(bytes.second);
    if (done <= 0 || !clock_.isValid())
        return -1;
    const double elapsed = double(clock_.elapsed()) / 1000.0;
    return elapsed * (total_ - done) / done;
}

Text RunProgress::summary() const {
    Text text = number_to_text(double(arrived_ + failed_)) + "/" + number_to_text(double(total_)) +
                gbk(" 集");
    if (failed_ > 0)
        text += gbk("（失败 ") + number_to_text(double(failed_)) + gbk("）");
    if (finished_)
        return text;
    text += gbk(" · ") + speed_text(bytes_per_second());
    const double left = seconds_left();
    if (left >= 0)
        text += gbk(" · 剩余 ") + duration_text(left);
    return text;
}
