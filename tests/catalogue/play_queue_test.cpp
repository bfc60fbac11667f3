// The play queue on the episode rows, with no window: what a tick does with the
// current row and the selection, and what a selection plays.
#include "catalogue/play_queue.hpp"
#include "text/gbk.hpp"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

void fill(EpisodeListModel& rows, int count) {
    rows.remove_all_rows();
    for (int r = 0; r < count; ++r) {
        rows.insert_row(-1, gbk("第") + number_to_text(r + 1) + gbk("集"));
        rows.set_cell(r, 1, "http://127.0.0.1/" + number_to_text(r));
    }
}

} // namespace

TEST(PlayQueue, MovesOnOnlyFromAStoppedPlayerAndEndsAtTheLastRow) {
    struct Case {
        bool stopped;
        int current;
        int count;
        int next;
    };
    const Case cases[] = {
        {true, -1, 3, 0},  // nothing current: the first row
        {true, 0, 3, 1},   {true, 1, 3, 2},
        {true, 2, 3, -1},  // the last row: the queue ends
        {true, -1, 0, -1}, // an empty list
        {false, 0, 3, -1}, // playing, paused, buffering... are left alone
    };
    EpisodeListModel rows;
    PlayQueue queue(rows);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stopped << " " << c.current << " " << c.count);
        fill(rows, c.count);
        rows.set_current_row(c.current);
        EXPECT_EQ(queue.on_tick(c.stopped), c.next);
        // The row moved to is current and the only one selected; otherwise nothing moved.
        const int now = c.next >= 0 ? c.next : c.current;
        EXPECT_EQ(rows.current_row(), now);
        EXPECT_EQ(rows.selected_rows(), now >= 0 ? std::vector<int>{now} : std::vector<int>{});
        if (c.next >= 0) {
            EXPECT_EQ(queue.row_to_play(), c.next);
        }
    }
    fill(rows, 3);
    queue.close();
    EXPECT_EQ(queue.on_tick(true), -1);
}

TEST(PlayQueue, ASelectionPlaysItsLowestRowWithItsFile) {
    EpisodeListModel rows;
    PlayQueue queue(rows);
    fill(rows, 7);
    EXPECT_EQ(queue.row_to_play(), -1);
    for (int r : {6, 1, 4})
        rows.selection().select(rows.index(r, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(queue.row_to_play(), 1);
    rows.set_row_native_path(1, "/tmp/a.mp3");
    EXPECT_EQ(queue.target(1).address, "http://127.0.0.1/1");
    EXPECT_EQ(queue.target(1).native, "/tmp/a.mp3");
    rows.set_cell(1, 1, "/elsewhere"); // a new address forgets the file
    EXPECT_TRUE(queue.target(1).native.empty());
}

// A move the queue makes is marked as the program's own while the selection
// reports it, so a view's "the user chose a row" handler can tell them apart.
TEST(PlayQueue, ItsMovesAreMarkedAsTheProgramsOwn) {
    EpisodeListModel rows;
    PlayQueue queue(rows);
    fill(rows, 2);
    std::vector<bool> marked;
    QObject::connect(&rows.selection(), &QItemSelectionModel::currentChanged,
                     [&] { marked.push_back(rows.moving_current_row()); });
    queue.on_tick(true);
    rows.selection().setCurrentIndex(rows.index(1, 0), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(marked, (std::vector<bool>{true, false}));
    EXPECT_FALSE(rows.moving_current_row());
}
