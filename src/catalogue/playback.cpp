// Playback: the selected row plays in the embedded player, and the play timer
// asks the play queue for the row to move on to whenever the player has stopped.
#include "catalogue/main_window.hpp"
#include "catalogue/play_queue.hpp"
#include "listening/listening_session.hpp"
#include "playback/media_player.hpp"
#include "widgets/report_list.hpp"


void MainWindow::play_selected_episode() {
    if (play_queue_->closed())
        return;
    const int r = play_queue_->row_to_play();
    if (r < 0)
        return;
    const PlayTarget target = play_queue_->target(r);
    player_->setURL(target.address, target.native);
}

void MainWindow::on_play_timer() {
    if (listening().queue_held()) // the sleep timer waited for the end of the episode
        return;
    if (play_queue_->on_tick(player_->playState() == MediaPlayer::Stopped) < 0)
        return;
    // The new row shows; the keyboard focus stays where the user has it.
    episode_list_->scrollTo(episodes_->index(episodes_->current_row(), 0));
    play_selected_episode();
}

void MainWindow::on_player_open_state(int /*new_state*/) {
    if (!play_queue_->closed())
        player_->controls().play();
}
