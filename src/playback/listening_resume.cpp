#include "playback/listening_resume.hpp"

#include "playback/player.hpp"
#include "playback/playback_engine.hpp"


ListeningResume::ListeningResume(Player& player, const std::filesystem::path& file,
                                 QObject* parent)
    : QObject(parent), player_(player), positions_(file) {
    PlaybackEngine& engine = player_.engine();
    connect(&engine, &PlaybackEngine::sourceChanged, this, [this] { follow_source(); });
    connect(&engine, &PlaybackEngine::positionChanged, this,
            [this](qint64 position) { note_position(position); });
    connect(&engine, &PlaybackEngine::playbackStateChanged, this,
            [this](PlaybackEngine::PlaybackState playback) { on_play_state(playback); });
    connect(&engine, &PlaybackEngine::mediaStatusChanged, this,
            [this](PlaybackEngine::MediaStatus status) { on_media_status(status); });
    connect(&engine, &PlaybackEngine::durationChanged, this, [this] { try_resume(); });
    connect(&engine, &PlaybackEngine::seekableChanged, this, [this] { try_resume(); });
    // An episode ended before its media did (its outro) is heard to the end too.
    connect(&player_, &Player::PlayStateChange, this, [this](int state) {
        if (state == Player::MediaEnded)
            on_media_status(PlaybackEngine::EndOfMedia);
    });
    save_timer_.setInterval(save_interval_ms);
    connect(&save_timer_, &QTimer::timeout, this, [this] { commit_and_save(); });
    save_timer_.start();
    follow_source();
}

ListeningResume::~ListeningResume() {
    commit();
    positions_.save();
}

// A new address, or the same one opened anew, ends the episode heard so far.
void ListeningResume::follow_source() {
    const QUrl source = player_.engine().source();
    const Text episode = source.isEmpty() ? Text() : player_.URL();
    if (source == source_ && episode == episode_)
        return;
    commit_and_save();
    source_ = source;
    episode_ = episode;
    heard_.reset();
    resume_at_.reset();
    if (auto saved = positions_.position(episode_); saved && *saved > margin_ms)
        resume_at_ = *saved;
    try_resume();
}

void ListeningResume::forgo() {
    follow_source();
    resume_at_.reset();
}

void ListeningResume::note_position(qint64 position) {
    follow_source();
    const PlaybackEngine& engine = player_.engine();
    const PlaybackEngine::PlaybackState playback = engine.playbackState();
    // A place chosen while stopped (a bookmark, a jump) is where playing goes on.
    if (playback == PlaybackEngine::StoppedState && position > 0 &&
        engine.mediaStatus() == PlaybackEngine::LoadedMedia)
        resume_at_.reset();
    // Before the resume seek the position is the start, and a stop rewinds to 0
    // (reported while still playing) before it reports stopped: neither is
    // where the user is.
    if (resume_at_ || position <= 0 || playback == PlaybackEngine::StoppedState ||
        engine.mediaStatus() == PlaybackEngine::EndOfMedia)
        return;
    heard_ = position;
}

void ListeningResume::on_play_state(int playback) {
    follow_source();
    if (playback == PlaybackEngine::PlayingState)
        try_resume();
    else
        commit_and_save(); // paused or stopped
    // Stopped by the user, the media stays open: playing again goes on there.
    if (playback == PlaybackEngine::StoppedState && heard_ && *heard_ > margin_ms)
        resume_at_ = heard_;
}

void ListeningResume::on_media_status(int status) {
    follow_source();
    if (status == PlaybackEngine::EndOfMedia) {
        // Heard to the end: the next time it starts from the beginning.
        heard_.reset();
        resume_at_.reset();
        positions_.forget(episode_);
        positions_.save();
        return;
    }
    try_resume();
}

void ListeningResume::try_resume() {
    PlaybackEngine& engine = player_.engine();
    const PlaybackEngine::MediaStatus status = engine.mediaStatus();
    const bool open = status == PlaybackEngine::LoadedMedia;
    if (!resume_at_ || !open || !engine.isSeekable() || engine.duration() <= 0)
        return;
    const qint64 at = *resume_at_;
    resume_at_.reset();
    if (at < engine.duration() - margin_ms) {
        engine.setPosition(at);
        heard_ = at;
    }
}

void ListeningResume::commit() {
    if (!episode_.empty() && heard_)
        positions_.remember(episode_, *heard_);
}

void ListeningResume::commit_and_save() {
    commit();
    positions_.save();
}
