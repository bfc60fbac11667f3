#include "catalogue/play_queue.hpp"

#include <gtest/gtest.h>

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
    PlayQueue queue;
    for (const Case& c : cases)
        EXPECT_EQ(queue.next_on_tick(c.stopped, c.current, c.count), c.next)
            << c.stopped << " " << c.current << " " << c.count;
    queue.close();
    EXPECT_EQ(queue.next_on_tick(true, -1, 3), -1);
}

TEST(PlayQueue, ASelectionPlaysItsLowestRow) {
    EXPECT_EQ(PlayQueue::row_to_play({}), -1);
    EXPECT_EQ(PlayQueue::row_to_play({6, 1, 4}), 1);
}
