#include "playback/listening_control.hpp"

#include "playback/player.hpp"
#include "playback/playback_engine.hpp"


ListeningControl::ListeningControl(Player& player, std::unique_ptr<ListeningSession> session,
                                   QObject* parent)
    : QObject(parent), player_(player), session_owned_(std::move(session)),
      session_(*session_owned_) {
    clock_.start();
    ticker_.setInterval(tick_ms);
    connect(&ticker_, &QTimer::timeout, this, [this] { tick(); });
    ticker_.start();
    connect(&player_, &Player::PlayStateChange, this, [this](int state) { on_play_state(state); });
    connect(&player_, &Player::OpenStateChange, this, [this](int state) {
        if (state == Player::MediaChanging)
            on_new_episode();
    });
    PlaybackEngine& engine = player_.engine();
    connect(&engine, &PlaybackEngine::seekableChanged, this, [this] { skip_intro(); });
    connect(&engine, &PlaybackEngine::durationChanged, this, [this] { skip_intro(); });
    session_.sleep_timer().hold(!player_.running(), now());
    apply_volume();
    apply_speed();
    apply_skip_silence();
}

ListeningControl::~ListeningControl() {
    session_.save();
}

void ListeningControl::open_book(const Text& title) {
    session_.open_book(title);
    apply_speed();
    apply_skip_silence();
    emit changed();
}

void ListeningControl::set_speed_tenths(int tenths) {
    session_.set_speed_tenths(tenths);
    apply_speed();
    session_.save();
    emit changed();
}

void ListeningControl::set_volume(int volume) {
    session_.set_volume(volume);
    apply_volume();
    emit changed();
}

void ListeningControl::set_skip_silence(bool on) {
    session_.set_skip_silence(on);
    apply_skip_silence();
    session_.save();
    emit changed();
}

void ListeningControl::choose_sleep(int minutes) {
    session_.sleep_timer().choose(minutes, now());
    apply_volume();
    emit changed();
}

void ListeningControl::extend_sleep() {
    session_.sleep_timer().extend(now());
    apply_volume();
    emit changed();
}

std::optional<std::int64_t> ListeningControl::sleep_remaining() const {
    return session_.sleep_timer().remaining(now());
}

void ListeningControl::set_skips(int intro_seconds, int outro_seconds) {
    session_.set_skips(intro_seconds, outro_seconds);
    session_.save();
    emit changed();
}

std::optional<std::int64_t> ListeningControl::back() {
    return jump(-ListeningSession::back_ms);
}

std::optional<std::int64_t> ListeningControl::forward() {
    return jump(ListeningSession::forward_ms);
}

std::optional<std::int64_t> ListeningControl::jump(std::int64_t delta) {
    PlaybackEngine& engine = player_.engine();
    if (!engine.isSeekable())
        return std::nullopt;
    const std::int64_t to = ListeningSession::jump(engine.position(), delta, engine.duration());
    engine.setPosition(to);
    return to;
}

void ListeningControl::apply_volume() {
    const double factor = session_.sleep_timer().volume_factor(now());
    player_.engine().setVolume(float(session_.volume() / 100.0 * factor));
}

void ListeningControl::apply_speed() {
    player_.engine().setPlaybackRate(session_.speed());
}

void ListeningControl::apply_skip_silence() {
    player_.engine().setSkipSilence(session_.skip_silence());
}

void ListeningControl::on_new_episode() {
    intro_pending_ = true;
    finished_ = false;
    session_.note_playing(now()); // a pause before another episode is no pause in this one
    session_.set_last_episode(player_.URL());
    apply_speed();
}

void ListeningControl::on_play_state(int state) {
    // The sleep timer counts only while something plays.
    session_.sleep_timer().hold(!player_.running(), now());
    if (state == Player::Paused) {
        session_.note_paused(now());
    } else if (state == Player::Playing) {
        PlaybackEngine& engine = player_.engine();
        const std::int64_t from = engine.position();
        const std::int64_t to = session_.resume_position(from, now());
        if (to != from && engine.isSeekable())
            engine.setPosition(to);
        session_.note_playing(now());
    } else if (state == Player::MediaEnded) {
        session_.episode_ended();
        finish_episode();
        emit changed();
    }
}

void ListeningControl::finish_episode() {
    if (finished_)
        return;
    finished_ = true;
    session_.mark_heard(player_.URL());
    session_.save();
    emit episode_heard(player_.URL());
}

// As soon as the new episode can seek.
void ListeningControl::skip_intro() {
    PlaybackEngine& engine = player_.engine();
    if (!intro_pending_ || !engine.isSeekable() || engine.duration() <= 0)
        return;
    intro_pending_ = false;
    if (auto start = session_.after_intro(engine.position(), engine.duration()))
        engine.setPosition(*start);
}

void ListeningControl::tick() {
    skip_intro();
    PlaybackEngine& engine = player_.engine();
    const std::int64_t duration = engine.duration();
    if (player_.playState() == Player::Playing && !intro_pending_ &&
        session_.in_outro(engine.position(), duration)) {
        // The outro is not heard: the episode ends there, counts as heard and
        // the queue moves on as it does at the end of the media.
        player_.end_episode();
    }
    SleepTimer& sleep = session_.sleep_timer();
    if (sleep.ran_out(now()) && player_.playState() == Player::Playing)
        player_.controls().pause();
    apply_volume();
    const auto left = sleep.remaining(now());
    const std::int64_t second = left ? *left / 1000 : -1;
    if (second != last_second_) {
        last_second_ = second;
        emit changed();
    }
}
