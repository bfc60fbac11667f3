#pragma once
// The play queue: the episodes in list order, and the one that plays or played
// last. Moving on takes the episode after it (the first when there is none);
// the queue ends at the last episode and ends for good once the session closes.
#include "session/episode_list.hpp"

class PlayQueue {
  public:
    explicit PlayQueue(const EpisodeList& episodes) : episodes_(episodes) {}

    // 0 when none, or when the list no longer holds it.
    EpisodeId current() const;
    void set_current(EpisodeId id) { current_ = id; }
    // The episode after the current one (the first when none is current), or
    // 0 at the end of the list.
    EpisodeId next() const;
    // The episode before the current one, or the first; 0 for an empty list.
    EpisodeId previous() const;

    void close() { closed_ = true; }
    bool closed() const { return closed_; }

  private:
    const EpisodeList& episodes_;
    EpisodeId current_ = 0;
    bool closed_ = false;
};
