// Playback: the selected row plays in the embedded player, and the play timer
// turns the list into a queue that moves on whenever the player has stopped.
#include "catalogue/main_window.hpp"
#include "platform/media_player.hpp"
#include "platform/report_list.hpp"

#include <QTreeWidget>

#include <algorithm>

void MainWindow::play_selected_episode() {
    const std::vector<int> rows = selected_rows();
    if (rows.empty())
        return;
    const int r = *std::min_element(rows.begin(), rows.end());
    player_->setURL(cell(r, 1), row_native_path(r));
}

void MainWindow::on_play_timer() {
    if (player_->playState() != MediaPlayer::Stopped)
        return;
    const int cur = current_row();
    const int count = row_count();
    if (cur + 1 < count) {
        set_current_row(cur + 1);
        // The list takes the focus so that the new selection shows highlighted.
        episode_list_->setFocus();
        play_selected_episode();
    }
}

void MainWindow::on_player_open_state(int /*new_state*/) {
    player_->controls().play();
}
