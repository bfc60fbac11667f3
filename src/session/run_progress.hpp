#pragma once
// What a download run has done so far, for the line under the controls and the
// window title: episodes ended of those it set out to fetch, the speed of the
// last few seconds, and the time the rest should take at the pace so far.
#include "text/text.hpp"

#include <QElapsedTimer>

#include <cstdint>
#include <deque>
#include <map>

class RunProgress {
  public:
    // A new run with nothing counted yet.
    void start();
    // Episodes the run sets out to fetch, those ended included.
    void set_total(int episodes) { total_ = episodes; }
    // Bytes of the episode `id` so far; `total` is -1 when unknown.
    void progressed(std::uint64_t id, std::int64_t received, std::int64_t total);
    void ended(std::uint64_t id, bool arrived);
    // The run is over: the summary keeps the counts only.
    void finish() { finished_ = true; }

    int total() const { return total_; }
    int arrived() const { return arrived_; }
    int failed() const { return failed_; }
    double bytes_per_second() const;
    // -1 while nothing allows a guess.
    double seconds_left() const;
    // "3/20 集 · 512 KB/s · 剩余 1:23"
    Text summary() const;

  private:
    struct Sample {
        qint64 ms;
        std::int64_t bytes;
    };
    QElapsedTimer clock_;
    int total_ = 0, arrived_ = 0, failed_ = 0;
    bool finished_ = false;
    std::int64_t bytes_ = 0;          // every byte that arrived in this run
    std::deque<Sample> samples_;       // the last few seconds
    std::map<std::uint64_t, std::pair<std::int64_t, std::int64_t>> running_; // received, total
};

// The parts of the summary, written for people: "512 KB/s", "1.5 MB/s"; "1:23",
// "1:02:03".
Text speed_text(double bytes_per_second);
Text duration_text(double seconds);
