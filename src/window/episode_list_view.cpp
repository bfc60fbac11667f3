#include "window/episode_list_view.hpp"

#include "playback/player.hpp"
#include "session/book_session.hpp"
#include "text/gbk.hpp"
#include "text/qt_text.hpp"
#include "widgets/report_list.hpp"
#include "window/book_view.hpp"
#include "window/episode_table.hpp"
#include "window/narration.hpp"

#include <QShortcut>
#include <QStyle>

#include <algorithm>

EpisodeListView::EpisodeListView(BookSession& session, QWidget* window)
    : QObject(window), session_(session) {
    table_ = new EpisodeTable(session.episodes(), window);
    table_->set_note_decoration(window->style()->standardIcon(QStyle::SP_MessageBoxWarning));
    list_ = new ReportList(window);
    list_->setObjectName(to_qstring(gbk("超级列表框1")));
    list_->show_model(table_, new QItemSelectionModel(table_, list_));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fit_episode_columns(list_);
    connect(&session.episodes(), &EpisodeList::inserted, this, [this] { make_first_row_current(); });
    connect(&session, &BookSession::currentChanged, this, [this](EpisodeId id) { show_current(id); });
}

void EpisodeListView::bind_acts(Narration& narration) {
    connect(list_, &QAbstractItemView::clicked, this, [this] { play_chosen_row(); });
    connect(list_, &QAbstractItemView::activated, this, [this, &narration] {
        session_.choose(current_row());
        narration.tell_playing(false);
    });
    connect(new QShortcut(Qt::Key_Space, list_, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, this, [this, &narration] {
                const EpisodeId row = current_row();
                const bool pausing = session_.player().running() &&
                                     (row == 0 || row == session_.playing());
                session_.play_or_pause(row);
                narration.tell_playing(pausing);
            });
}

// The lowest row chosen plays (goes on, when it is the one open).
void EpisodeListView::play_chosen_row() {
    const QModelIndexList chosen = list_->selectionModel()->selectedRows();
    if (chosen.isEmpty())
        return;
    const auto lowest = std::min_element(chosen.begin(), chosen.end(),
                                         [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    session_.choose(table_->id_at(lowest->row()));
}

EpisodeId EpisodeListView::current_row() const {
    const QModelIndex current = list_->selectionModel()->currentIndex();
    return current.isValid() ? table_->id_at(current.row()) : 0;
}

// Rows listed into a list with no current row: the first becomes current
// without playing, so the first Down goes to the second and Enter plays the
// first.
void EpisodeListView::make_first_row_current() {
    if (table_->row_count() == 0 || list_->selectionModel()->currentIndex().isValid())
        return;
    showing_current_ = true;
    list_->selectionModel()->setCurrentIndex(
        table_->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    showing_current_ = false;
}

// The row the user's next or previous went to shows; the keyboard focus stays
// where the user has it.
void EpisodeListView::show_current(EpisodeId id) {
    const int row = table_->row_of(id);
    showing_current_ = true;
    if (row < 0)
        list_->selectionModel()->clear();
    else
        list_->selectionModel()->setCurrentIndex(
            table_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    showing_current_ = false;
    if (row >= 0)
        list_->scrollTo(table_->index(row, 0));
}
