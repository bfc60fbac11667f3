#include "playback/player.hpp"

#include "files/files.hpp"
#include "playback/playback_engine.hpp"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <system_error>

namespace {

bool is_web_address(const Text& address) {
    Text head = lower_ascii(left_bytes(address, 8));
    return head.starts_with("http://") || head.starts_with("https://");
}

QUrl local_file(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        absolute = path;
    return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(absolute.string())));
}

} // namespace

QUrl media_address(const Text& address, const std::filesystem::path& native) {
    if (!native.empty())
        return local_file(native);
    if (address.empty())
        return {};
    if (is_web_address(address))
        return QUrl::fromEncoded(QByteArray::fromStdString(percent_encode_unsafe(address)));
    return local_file(native_path(address));
}

struct Player::Impl {
    explicit Impl(Player& owner) : self(owner), controls(owner) {}

    Player& self;
    PlaybackEngine engine;
    PlayerControls controls;

    Text url;
    QUrl source;
    int state = Undefined;
    bool auto_start = true;
    bool assigned = false;     // an address was assigned at least once
    bool opening = false;      // the assigned address is not open yet
    bool failed = false;       // the assigned address could not be played
    bool played = false;       // playback started since the address was assigned
    bool user_stopped = false; // stop was asked since the last play
    bool ended = false;        // the end of the media was reported
    bool end_asked = false;    // end_episode() stopped it: the end, not a stop
    bool update_queued = false;

    void set_state(int next);
    void update_state();
    void queue_update();
    void open(const QUrl& address);
    void play();
    void pause();
    void stop();
    void end_episode();
};

void Player::Impl::set_state(int next) {
    if (next == state)
        return;
    state = next;
    emit self.PlayStateChange(next);
}

// The engine reports its playback state and its media status separately, one
// after the other (at the end of the media "stopped" comes before "end of
// media"), so each report only queues one look at both.
void Player::Impl::queue_update() {
    if (update_queued)
        return;
    update_queued = true;
    QTimer::singleShot(0, &self, [this] {
        update_queued = false;
        update_state();
    });
}

void Player::Impl::update_state() {
    if (!assigned)
        return;
    PlaybackEngine::MediaStatus status = engine.mediaStatus();
    PlaybackEngine::PlaybackState playback = engine.playbackState();

    if (!failed && !source.isEmpty() &&
        (status == PlaybackEngine::InvalidMedia || engine.hasError())) {
        failed = true;
        opening = false;
    }

    int next = Stopped;
    if (source.isEmpty() || failed) {
        next = Stopped;
    } else if (playback == PlaybackEngine::PausedState) {
        next = Paused;
    } else if (playback == PlaybackEngine::PlayingState) {
        played = true;
        if (status == PlaybackEngine::LoadingMedia || status == PlaybackEngine::NoMedia)
            next = Transitioning;
        else
            next = Playing;
    } else if (status == PlaybackEngine::EndOfMedia || end_asked) {
        if (played && !ended) {
            // Report the end once, then settle on stopped.
            ended = true;
            next = MediaEnded;
            QTimer::singleShot(0, &self, [this] {
                if (state == MediaEnded)
                    set_state(Stopped);
            });
        } else {
            next = state == MediaEnded ? MediaEnded : Stopped;
        }
    } else if (played || user_stopped) {
        next = Stopped;
    } else if (status == PlaybackEngine::LoadingMedia) {
        next = Transitioning;
    } else {
        next = Ready;
    }
    set_state(next);

    bool open_now = status == PlaybackEngine::LoadedMedia;
    if (opening && !failed && open_now) {
        opening = false;
        emit self.OpenStateChange(MediaOpen);
    }
}

void Player::Impl::open(const QUrl& address) {
    assigned = true;
    failed = played = user_stopped = ended = end_asked = false;
    source = address;
    opening = !address.isEmpty();
    if (address.isLocalFile() && !QFileInfo(address.toLocalFile()).isFile()) {
        // A file that is not there fails at once, without asking the engine.
        engine.setSource(QUrl());
        failed = true;
        opening = false;
        return;
    }
    // Assigning the same address again opens it anew.
    if (engine.source() == address)
        engine.setSource(QUrl());
    engine.setSource(address);
}

void Player::Impl::play() {
    if (!assigned || source.isEmpty())
        return;
    if (failed) {
        // Try the address once more; a second failure settles on stopped again.
        open(source);
    }
    user_stopped = false;
    ended = end_asked = false;
    if (!failed)
        engine.play();
    update_state();
}

void Player::Impl::pause() {
    if (failed || engine.playbackState() != PlaybackEngine::PlayingState)
        return;
    engine.pause();
    update_state();
}

void Player::Impl::stop() {
    if (!assigned)
        return;
    user_stopped = true;
    ended = end_asked = false;
    if (!failed)
        engine.stop();
    update_state();
}

void Player::Impl::end_episode() {
    if (!assigned || failed || source.isEmpty())
        return;
    user_stopped = false;
    ended = false;
    end_asked = played = true;
    engine.stop();
    update_state();
}

Player::Player(QObject* parent) : QObject(parent), impl_(std::make_unique<Impl>(*this)) {
    impl_->engine.setVolume(0.5f);
    connect(&impl_->engine, &PlaybackEngine::playbackStateChanged, this,
            [this](PlaybackEngine::PlaybackState playback) {
                // Noted at once: a short file can start and end between two looks.
                if (playback == PlaybackEngine::PlayingState)
                    impl_->played = true;
                impl_->queue_update();
            });
    connect(&impl_->engine, &PlaybackEngine::mediaStatusChanged, this,
            [this] { impl_->queue_update(); });
    connect(&impl_->engine, &PlaybackEngine::errorOccurred, this, [this] { impl_->queue_update(); });
}

Player::~Player() {
    // The engine may still report while it shuts down; nothing listens any more.
    impl_->engine.disconnect(this);
    if (!impl_->failed)
        impl_->engine.stop();
    // Whoever watches the engine heard the stop; nothing more reaches them
    // while it goes.
    impl_->engine.disconnect();
}

void Player::setURL(const Text& address, const std::filesystem::path& native) {
    impl_->url = address;
    QUrl source = media_address(address, native);
    impl_->open(source);
    impl_->set_state(source.isEmpty() ? Stopped : Transitioning);
    emit OpenStateChange(MediaChanging);
    if (impl_->auto_start && !source.isEmpty() && !impl_->failed)
        impl_->engine.play();
    impl_->update_state();
}

Text Player::URL() const {
    return impl_->url;
}

int Player::playState() const {
    return impl_->state;
}

bool Player::running() const {
    return impl_->state == Playing || impl_->state == Buffering || impl_->state == Transitioning;
}

PlayerControls& Player::controls() {
    return impl_->controls;
}

bool Player::autoStart() const {
    return impl_->auto_start;
}

void Player::setAutoStart(bool on) {
    impl_->auto_start = on;
}

PlaybackEngine& Player::engine() {
    return impl_->engine;
}

void Player::seek_to(qint64 position) {
    if (impl_->engine.isSeekable())
        impl_->engine.setPosition(position);
}

void Player::end_episode() {
    impl_->end_episode();
}

bool Player::stopped_by_user() const {
    return impl_->user_stopped && impl_->state == Stopped;
}

void Player::toggle_play_pause() {
    if (running())
        impl_->pause();
    else
        impl_->play();
}

int Player::volume() const {
    return qRound(impl_->engine.volume() * 100.0f);
}

void PlayerControls::play() {
    player_.impl_->play();
}

void PlayerControls::pause() {
    player_.impl_->pause();
}

void PlayerControls::stop() {
    player_.impl_->stop();
}
