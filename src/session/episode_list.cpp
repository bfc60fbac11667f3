#include "session/episode_list.hpp"

#include <algorithm>

EpisodeList::EpisodeList(QObject* parent) : QObject(parent) {}

const Episode* EpisodeList::at(int index) const {
    return index >= 0 && index < size() ? &episodes_[std::size_t(index)] : nullptr;
}

const Episode* EpisodeList::find(EpisodeId id) const {
    return at(index_of(id));
}

int EpisodeList::index_of(EpisodeId id) const {
    if (id == 0)
        return -1;
    auto found = std::find_if(episodes_.begin(), episodes_.end(),
                              [id](const Episode& e) { return e.id == id; });
    return found == episodes_.end() ? -1 : int(found - episodes_.begin());
}

EpisodeId EpisodeList::id_at(int index) const {
    const Episode* episode = at(index);
    return episode ? episode->id : 0;
}

void EpisodeList::clear() {
    if (episodes_.empty())
        return;
    emit aboutToReset();
    episodes_.clear();
    emit reset();
}

EpisodeId EpisodeList::append(Episode episode) {
    episode.id = ++last_id_;
    const int at = size();
    emit aboutToInsert(at, at);
    episodes_.push_back(std::move(episode));
    emit inserted(at, at);
    return last_id_;
}

void EpisodeList::update(EpisodeId id, const std::function<void(Episode&)>& change) {
    const int index = index_of(id);
    if (index < 0)
        return;
    Episode& episode = episodes_[std::size_t(index)];
    change(episode);
    episode.id = id;
    emit changed(index);
}

void EpisodeList::update_marks(const std::function<void(Episode&)>& change) {
    for (std::size_t i = 0; i < episodes_.size(); ++i) {
        Episode& episode = episodes_[i];
        const bool heard = episode.heard, playing = episode.playing;
        const EpisodeId id = episode.id;
        change(episode);
        episode.id = id;
        if (episode.heard != heard || episode.playing != playing)
            emit changed(int(i));
    }
}
