#pragma once
// The play queue: the episode rows in their order. A selection plays its lowest
// row; whenever the player has stopped, the play timer moves on to the row after
// the current one. The queue ends at the last row and ends for good once the
// window closes.
#include "episodes/episode_list_model.hpp"

#include <filesystem>

// What a row plays: its address or local path, and its native file when on disk.
struct PlayTarget {
    Text address;
    std::filesystem::path native;
};

class PlayQueue {
  public:
    explicit PlayQueue(EpisodeListModel& rows) : rows_(rows) {}

    // The row a selection plays: the lowest selected row, or -1 for none.
    int row_to_play() const;
    PlayTarget target(int row) const;

    // A tick of the play timer: with the player stopped, makes the row after the
    // current one current (and the only one selected) and returns it; -1 leaves
    // everything as it is.
    int on_tick(bool player_stopped);

    void close() { closed_ = true; }
    bool closed() const { return closed_; }

  private:
    EpisodeListModel& rows_;
    bool closed_ = false;
};
