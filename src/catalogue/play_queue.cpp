#include "catalogue/play_queue.hpp"

#include <algorithm>

int PlayQueue::row_to_play(const std::vector<int>& selected_rows) {
    if (selected_rows.empty())
        return -1;
    return *std::min_element(selected_rows.begin(), selected_rows.end());
}

int PlayQueue::next_on_tick(bool player_stopped, int current_row, int row_count) const {
    if (closed_ || !player_stopped)
        return -1;
    const int next = current_row + 1;
    return next < row_count ? next : -1;
}
