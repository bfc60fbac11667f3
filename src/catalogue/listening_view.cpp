// The listening bar under the lists, bound to the listening state: the row that
// plays and the rows heard are marked, the list the user worked with and the
// row last played come back at start (nothing plays until asked), and each
// book folder shows how many of its episodes were heard.
#include "catalogue/download_paths.hpp"
#include "catalogue/main_window.hpp"
#include "catalogue/play_queue.hpp"
#include "episodes/episode_list_model.hpp"
#include "files/files.hpp"
#include "listening/listening_session.hpp"
#include "mpris/mpris_service.hpp"
#include "playback/listening_bar.hpp"
#include "playback/listening_control.hpp"
#include "playback/media_player.hpp"
#include "settings/config_location.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/report_list.hpp"

#include <QListWidget>
#include <QStyledItemDelegate>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// Heard episodes over all episodes, drawn beside a folder's name; the name
// itself stays the item's text.
constexpr int progress_role = Qt::UserRole + 7;

class FolderProgressDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString progress = index.data(progress_role).toString();
        if (!progress.isEmpty())
            option->text += QStringLiteral("  ") + progress;
    }
};

bool is_local_file(const Text& episode) {
    std::error_code error;
    return !episode.empty() && !episode.starts_with("http") &&
           fs::is_regular_file(native_path(episode), error);
}

} // namespace

ListeningSession& MainWindow::listening() {
    return listening_control_->session();
}

void MainWindow::add_listening_bar() {
    listening_control_ = new ListeningControl(
        *player_,
        std::make_unique<ListeningSession>(listening_positions_file().parent_path() /
                                           fs::path(u8"收听设置.ini")),
        this);
    auto* bar = new ListeningBar(*listening_control_, this);
    add_bottom_strip(bar);
    folder_list_->setItemDelegate(new FolderProgressDelegate(folder_list_));

    connect(bar, &ListeningBar::continue_listening, this, [this] { continue_listening(); });
    offer_media_controls();
    connect(player_, &MediaPlayer::OpenStateChange, this, [this](int state) {
        if (state == MediaPlayer::MediaChanging)
            on_episode_opening();
    });
    connect(player_, &MediaPlayer::PlayStateChange, this, [this] { show_listening_marks(); });
    connect(listening_control_, &ListeningControl::episode_heard, this, [this] {
        mark_episode_file_heard();
        show_listening_marks();
        show_folder_progress();
    });
    connect(episodes_.get(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { show_listening_marks(first, last); });
    connect(episodes_.get(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                if (first.column() <= EpisodeListModel::address_column &&
                    last.column() >= EpisodeListModel::address_column)
                    show_listening_marks(first.row(), last.row());
            });
}

void MainWindow::play_row(int row) {
    if (row < 0 || row >= episodes_->row_count())
        return;
    episodes_->set_current_row(row);
    play_selected_episode();
}

// The desktop's media keys and controls: Next and Previous move along the list.
void MainWindow::offer_media_controls() {
    MprisHooks hooks;
    hooks.next = [this] { play_row(episodes_->current_row() + 1); };
    hooks.previous = [this] { play_row(std::max(episodes_->current_row() - 1, 0)); };
    hooks.play = [this] { continue_listening(); };
    hooks.raise = [this] {
        showNormal();
        raise();
        activateWindow();
    };
    hooks.track = [this] {
        const int row = playing_row();
        if (row < 0)
            return MprisTrack{};
        const Text title = episodes_->row_book(row).title;
        return MprisTrack{episodes_->row_id(row),
                          episodes_->cell(row, EpisodeListModel::label_column), title,
                          covers_.file(title)};
    };
    new MprisService(*listening_control_, std::move(hooks), this);
}

int MainWindow::row_with_episode(const Text& episode) const {
    for (int r = 0; r < episodes_->row_count(); ++r)
        if (!episode.empty() && episodes_->cell(r, EpisodeListModel::address_column) == episode)
            return r;
    return -1;
}

// The row whose episode opened, even once a download has replaced its address
// by the file's path; in a list built since, the row with the same episode.
int MainWindow::playing_row() const {
    const int row = episodes_->row_of(opened_row_id_);
    return row >= 0 ? row : row_with_episode(player_->URL());
}

// The book whose episode opens sets the speed and the skips; the list it
// plays from is the one that comes back next time.
void MainWindow::on_episode_opening() {
    const int row = row_with_episode(player_->URL());
    opened_row_id_ = row < 0 ? 0 : episodes_->row_id(row);
    if (row < 0)
        return;
    const RowBook row_book = episodes_->row_book(row);
    listening_control_->open_book(row_book.title);
    ListeningList list{row_book.title, row_book.save_folder, {}, {}};
    for (int r = 0; r < episodes_->row_count(); ++r)
        list.rows.emplace_back(episodes_->cell(r, EpisodeListModel::label_column),
                               episodes_->cell(r, EpisodeListModel::address_column));
    listening().set_last_list(list);
    listening().save();
}

void MainWindow::show_listening_marks(int first, int last) {
    const int state = player_->playState();
    const bool active = state != MediaPlayer::Stopped && state != MediaPlayer::Undefined &&
                        state != MediaPlayer::MediaEnded;
    const int playing = active ? playing_row() : -1;
    last = last < 0 ? episodes_->row_count() - 1 : std::min(last, episodes_->row_count() - 1);
    for (int r = std::max(first, 0); r <= last; ++r) {
        episodes_->set_playing(r, r == playing);
        episodes_->set_heard(r, listening().heard(episodes_->cell(r, EpisodeListModel::address_column)));
    }
}

// An episode heard from its address is heard in its file too: a download
// replaces the row's address by the file's path, and the book folder counts
// its files. The row is the one that opened, whatever its address is now.
void MainWindow::mark_episode_file_heard() {
    const int row = episodes_->row_of(opened_row_id_);
    if (row < 0)
        return;
    const RowBook row_book = episodes_->row_book(row);
    listening().mark_heard(episodes_->cell(row, EpisodeListModel::address_column));
    listening().mark_heard(downloaded_file_path(row_book.save_folder, row_book.title,
                                                episodes_->cell(row, EpisodeListModel::label_column)));
    listening().save();
}

void MainWindow::show_folder_progress() {
    for (int i = 0; i < folder_list_->count(); ++i) {
        QListWidgetItem* item = folder_list_->item(i);
        const Text folder =
            join_path(effective_save_folder(startup_save_folder), from_qstring(item->text()));
        const std::vector<FolderEntry> files = list_files(folder, ".mp3");
        int heard = 0;
        for (const FolderEntry& file : files)
            heard += listening().heard(join_path(folder, file.name)) ? 1 : 0;
        item->setData(progress_role, files.empty() ? QString()
                                                   : QStringLiteral("%1/%2").arg(heard).arg(files.size()));
    }
}

// The list of the last session comes back with the row last played current;
// its position waits in the positions file until the user plays it.
void MainWindow::restore_listening() {
    show_folder_progress();
    const ListeningList list = listening().last_list();
    if (list.rows.empty() || episodes_->row_count() > 0)
        return;
    const RowBook list_book{list.book, list.save_folder};
    const Text last = listening().last_episode();
    int current = -1;
    for (const auto& [label, episode] : list.rows) {
        const int row = episodes_->insert_row(-1, label, list_book);
        episodes_->set_cell(row, EpisodeListModel::address_column, episode);
        if (is_local_file(episode)) {
            episodes_->set_row_native_path(row, native_path(episode));
            episodes_->set_cell(row, EpisodeListModel::state_column, gbk("已下载"));
        } else {
            episodes_->set_cell(row, EpisodeListModel::state_column, gbk("未下载"));
        }
        if (episode == last)
            current = row;
    }
    if (current >= 0) {
        episodes_->set_current_row(current);
        episode_list_->scrollTo(episodes_->index(current, 0));
    }
    listening_control_->open_book(list.book);
}

// "继续收听" and Space: what was assigned plays or pauses; before anything was
// assigned, the current row plays from where it was left.
void MainWindow::continue_listening() {
    if (!player_->URL().empty()) {
        player_->toggle_play_pause();
        return;
    }
    if (episodes_->selected_rows().empty() && episodes_->current_row() >= 0)
        episodes_->set_current_row(episodes_->current_row());
    play_selected_episode();
}
