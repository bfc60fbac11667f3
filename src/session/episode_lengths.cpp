#include "session/episode_lengths.hpp"

#include "playback/media_lengths.hpp"
#include "playback/playback_engine.hpp"

#include <QFile>

namespace {

QString file_name(const Episode& episode) {
    return QFile::decodeName(QByteArray::fromStdString(episode.file.string()));
}

QByteArray address_key(const Episode& episode) {
    return QByteArray::fromStdString(episode.address());
}

} // namespace

EpisodeLengths::EpisodeLengths(EpisodeList& episodes, PlaybackEngine& engine,
                               std::function<EpisodeId()> playing, QObject* parent)
    : QObject(parent), episodes_(episodes), engine_(engine), playing_(std::move(playing)),
      files_(new MediaLengths(this)) {
    connect(&episodes_, &EpisodeList::inserted, this, &EpisodeLengths::look_at);
    connect(&episodes_, &EpisodeList::changed, this, [this](int row) { look_at(row, row); });
    connect(&episodes_, &EpisodeList::reset, this, [this] { files_->forget_waiting(); });
    connect(files_, &MediaLengths::lengthRead, this, &EpisodeLengths::on_read);
    connect(&engine_, &PlaybackEngine::durationChanged, this, &EpisodeLengths::on_played);
}

EpisodeLengths::~EpisodeLengths() = default;

// Cheap for the rows that know their length already, as most changes are.
void EpisodeLengths::look_at(int first, int last) {
    for (int row = first; row <= last; ++row) {
        const Episode* e = episodes_.at(row);
        if (!e || e->length_ms > 0)
            continue;
        if (const auto played = played_.constFind(address_key(*e)); played != played_.constEnd())
            give(e->id, *played);
        else if (e->on_disk() && !e->file.empty())
            if (const auto ms = files_->length(file_name(*e)); ms && *ms > 0)
                give(e->id, *ms);
    }
}

void EpisodeLengths::give(EpisodeId id, qint64 ms) {
    episodes_.update(id, [ms](Episode& e) { e.length_ms = ms; });
}

void EpisodeLengths::on_read(const QString& file, qint64 ms) {
    if (ms <= 0)
        return;
    for (const Episode& e : std::vector<Episode>(episodes_.episodes()))
        if (e.length_ms <= 0 && e.on_disk() && file_name(e) == file)
            give(e.id, ms);
}

// The length the engine gives the open episode, which grows more exact as a
// stream arrives.
void EpisodeLengths::on_played(qint64 ms) {
    const Episode* e = episodes_.find(playing_());
    if (!e || ms <= 0 || e->length_ms == ms)
        return;
    played_.insert(address_key(*e), ms);
    give(e->id, ms);
}
