#include "catalogue/play_queue.hpp"

int PlayQueue::row_to_play() const {
    const std::vector<int> selected = rows_.selected_rows(); // ascending
    return selected.empty() ? -1 : selected.front();
}

PlayTarget PlayQueue::target(int row) const {
    return {rows_.cell(row, EpisodeListModel::address_column), rows_.row_native_path(row)};
}

int PlayQueue::on_tick(bool player_stopped) {
    if (closed_ || !player_stopped)
        return -1;
    const int next = rows_.current_row() + 1;
    if (next >= rows_.row_count())
        return -1;
    rows_.set_current_row(next);
    return next;
}
