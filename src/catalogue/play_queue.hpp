#pragma once
// The play queue: the episode list in its order. A selection plays its lowest
// row; whenever the player has stopped, the play timer moves on to the row after
// the current one. The queue ends at the last row and ends for good once the
// window closes.
#include <vector>

class PlayQueue {
  public:
    // The row a selection plays: the lowest selected row, or -1 for none.
    static int row_to_play(const std::vector<int>& selected_rows);

    // What a tick of the play timer does: the row to make current and play, or -1
    // to leave everything as it is. `current_row` is -1 when no row is current.
    int next_on_tick(bool player_stopped, int current_row, int row_count) const;

    void close() { closed_ = true; }
    bool closed() const { return closed_; }

  private:
    bool closed_ = false;
};
