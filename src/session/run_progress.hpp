#pragma once
// What a download run has done so far, for the line under the controls and the
// window title: the book it fetches, episodes ended of those it set out to
// fetch, the speed of the last few seconds, and the time the bytes still to
// come should take at that speed. A paused run keeps its counts and goes on
// counting when it resumes.
#include "text/text.hpp"

#include <QElapsedTimer>

#include <cstdint>
#include <deque>
#include <map>

class RunProgress {
  public:
    // A new run for the book `book` with nothing counted yet.
    void start(const Text& book = {});
    const Text& book() const { return book_; }
    // The episodes under way stopped; nothing arrives until resume().
    void pause();
    bool paused() const { return paused_; }
    // The run goes on: the episodes that failed are tried again, so they no
    // longer count as failed.
    void resume();
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
    // -1 while nothing allows a guess: before a few seconds of arrivals, or
    // before the size of any episode is known.
    double seconds_left() const;
    // "3/20 集 · 512 KB/s · 剩余 1:23"; "6/10 集 · 已暂停"; "没有要下载的集"
    // for a run that found nothing to fetch.
    Text summary() const;
    // The part of the summary that changes only as episodes end, the run
    // pauses or goes on: "3/20 集", "6/10 集（失败 1） · 已暂停". What is worth
    // telling a listener, and the window title.
    Text tally() const;

  private:
    struct Sample {
        qint64 ms;
        std::int64_t bytes;
    };
    QElapsedTimer clock_;
    Text book_;
    int total_ = 0, arrived_ = 0, failed_ = 0;
    bool finished_ = false;
    bool paused_ = false;
    qint64 counting_since_ = 0;        // when arrivals began to count for the speed
    std::int64_t sizes_ = 0;           // the sizes of the episodes that arrived
    int sized_ = 0;                    // how many of them
    std::int64_t bytes_ = 0;          // every byte that arrived in this run
    std::deque<Sample> samples_;       // the last few seconds
    std::map<std::uint64_t, std::pair<std::int64_t, std::int64_t>> running_; // received, total
};

// The parts of the summary, written for people: "512 KB/s", "1.5 MB/s"; "1:23",
// "1:02:03".
Text speed_text(double bytes_per_second);
Text duration_text(double seconds);
