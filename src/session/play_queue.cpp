#include "session/play_queue.hpp"

#include <algorithm>

EpisodeId PlayQueue::current() const {
    return episodes_.index_of(current_) < 0 ? 0 : current_;
}

EpisodeId PlayQueue::next() const {
    return episodes_.id_at(episodes_.index_of(current_) + 1);
}

EpisodeId PlayQueue::previous() const {
    return episodes_.id_at(std::max(episodes_.index_of(current_) - 1, 0));
}
