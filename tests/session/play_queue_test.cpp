// The play queue on the episode list, with no window: where moving on and
// back leads from the current episode.
#include "session/play_queue.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

namespace {

std::vector<EpisodeId> fill(EpisodeList& episodes, int count) {
    episodes.clear();
    std::vector<EpisodeId> ids;
    for (int r = 0; r < count; ++r) {
        Episode episode;
        episode.label = gbk("第") + number_to_text(r + 1) + gbk("集");
        episode.remote = "http://127.0.0.1/" + number_to_text(r);
        ids.push_back(episodes.append(std::move(episode)));
    }
    return ids;
}

} // namespace

TEST(PlayQueue, MovesFromTheCurrentEpisodeAndEndsAtTheLast) {
    struct Case {
        int current; // index, -1 for none
        int count;
        int next;     // index, -1 for the end
        int previous; // index, -1 for none
    };
    const Case cases[] = {
        {-1, 3, 0, 0},   // nothing current: the first episode
        {0, 3, 1, 0},    // the first has nothing before it but itself
        {1, 3, 2, 0},
        {2, 3, -1, 1},   // the last episode: the queue ends
        {-1, 0, -1, -1}, // an empty list
    };
    EpisodeList episodes;
    PlayQueue queue(episodes);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.current << " " << c.count);
        const std::vector<EpisodeId> ids = fill(episodes, c.count);
        const auto id = [&ids](int index) { return index < 0 ? EpisodeId(0) : ids[std::size_t(index)]; };
        queue.set_current(id(c.current));
        EXPECT_EQ(queue.current(), id(c.current));
        EXPECT_EQ(queue.next(), id(c.next));
        EXPECT_EQ(queue.previous(), id(c.previous));
    }
}

// A list filled anew holds none of the old ids: the queue starts from its top.
TEST(PlayQueue, ANewListStartsFromItsFirstEpisode) {
    EpisodeList episodes;
    PlayQueue queue(episodes);
    const std::vector<EpisodeId> old_ids = fill(episodes, 3);
    queue.set_current(old_ids[1]);
    const std::vector<EpisodeId> new_ids = fill(episodes, 3);
    EXPECT_EQ(queue.current(), 0u);
    EXPECT_EQ(queue.next(), new_ids[0]);
    EXPECT_NE(new_ids[0], old_ids[0]); // ids are never reused
}
