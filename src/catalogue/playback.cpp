// Playback: the selected row plays in the embedded player, and the play timer
// asks the play queue for the row to move on to whenever the player has stopped.
#include "catalogue/main_window.hpp"
#include "playback/media_player.hpp"
#include "widgets/report_list.hpp"

#include <QTreeWidget>

void MainWindow::play_selected_episode() {
    if (play_queue_.closed())
        return;
    const int r = PlayQueue::row_to_play(selected_rows());
    if (r < 0)
        return;
    player_->setURL(cell(r, 1), row_native_path(r));
}

void MainWindow::on_play_timer() {
    const int next = play_queue_.next_on_tick(player_->playState() == MediaPlayer::Stopped,
                                              current_row(), row_count());
    if (next < 0)
        return;
    set_current_row(next);
    // The list takes the focus so that the new selection shows highlighted.
    episode_list_->setFocus();
    play_selected_episode();
}

void MainWindow::on_player_open_state(int /*new_state*/) {
    if (!play_queue_.closed())
        player_->controls().play();
}
