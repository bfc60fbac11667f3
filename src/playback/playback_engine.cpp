#include "playback/playback_engine.hpp"

#include <QtGlobal>

#include <gst/gst.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

constexpr int bus_interval_ms = 25;

// playbin's flags: audio only, with its own volume control.
constexpr guint play_audio = 1u << 1;
constexpr guint play_soft_volume = 1u << 4;

bool gstreamer_ready() {
    static const bool ready = [] {
        GError* error = nullptr;
        if (gst_init_check(nullptr, nullptr, &error))
            return true;
        qWarning("GStreamer cannot start: %s", error ? error->message : "unknown reason");
        g_clear_error(&error);
        return false;
    }();
    return ready;
}

qint64 to_ms(gint64 ns) {
    return ns < 0 ? 0 : qint64(ns / GST_MSECOND);
}

} // namespace

struct PlaybackEngine::Pipeline {
    GstElement* playbin = nullptr;
    GstBus* bus = nullptr;
    bool active = false;  // asked to be paused or playing
    bool open = false;    // prerolled since it was last started
    bool seeking = false; // a seek is under way
    std::optional<qint64> pending_seek;

    Pipeline() {
        playbin = gst_element_factory_make("playbin", nullptr);
        if (!playbin)
            return;
        gst_object_ref_sink(playbin);
        g_object_set(playbin, "flags", play_audio | play_soft_volume, nullptr);
        // The time stretch: a speed other than 1× keeps the pitch.
        if (GstElement* stretch = gst_element_factory_make("scaletempo", nullptr))
            g_object_set(playbin, "audio-filter", stretch, nullptr);
        else
            qWarning("GStreamer has no scaletempo: the speed changes the pitch");
        bus = gst_element_get_bus(playbin);
    }
    ~Pipeline() {
        if (!playbin)
            return;
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(bus);
        gst_object_unref(playbin);
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Down to `state` (ready or null) at once, and whatever it said before is dropped.
    void halt(GstState state) {
        gst_element_set_state(playbin, state);
        gst_bus_set_flushing(bus, TRUE);
        gst_bus_set_flushing(bus, FALSE);
        active = open = seeking = false;
    }
    void start() {
        active = true;
        open = seeking = false;
        gst_element_set_state(playbin, GST_STATE_PAUSED);
    }
};

PlaybackEngine::PlaybackEngine(QObject* parent) : QObject(parent) {
    if (gstreamer_ready())
        pipeline_ = std::make_unique<Pipeline>();
    bus_timer_.setInterval(bus_interval_ms);
    connect(&bus_timer_, &QTimer::timeout, this, [this] {
        take_messages();
        update_position();
    });
}

PlaybackEngine::~PlaybackEngine() = default;

void PlaybackEngine::setSource(const QUrl& source) {
    if (source == source_)
        return;
    close();
    source_ = source;
    emit sourceChanged(source_);
    if (source_.isEmpty())
        return;
    if (!pipeline_ || !pipeline_->playbin) {
        on_error(QStringLiteral("GStreamer's playbin is not available"));
        return;
    }
    g_object_set(pipeline_->playbin, "uri", source_.toEncoded().constData(), nullptr);
    set_media_status(LoadingMedia);
    pipeline_->start();
    bus_timer_.start();
}

QUrl PlaybackEngine::source() const {
    return source_;
}

// Back to no media: nothing open, nothing known about it.
void PlaybackEngine::close() {
    bus_timer_.stop();
    if (pipeline_ && pipeline_->playbin)
        pipeline_->halt(GST_STATE_NULL);
    if (pipeline_)
        pipeline_->pending_seek.reset();
    error_.clear();
    set_playback_state(StoppedState);
    set_media_status(NoMedia);
    if (position_ != 0)
        emit positionChanged(position_ = 0);
    if (duration_ != 0)
        emit durationChanged(duration_ = 0);
    if (seekable_)
        emit seekableChanged(seekable_ = false);
}

void PlaybackEngine::play() {
    if (source_.isEmpty() || !pipeline_ || !pipeline_->playbin)
        return;
    set_playback_state(PlayingState);
    if (!pipeline_->active) {
        // Ended or failed: open it again, from the start.
        error_.clear();
        set_media_status(LoadingMedia);
        pipeline_->start();
        bus_timer_.start();
        return;
    }
    apply_target_state();
}

void PlaybackEngine::pause() {
    if (source_.isEmpty() || state_ != PlayingState)
        return;
    set_playback_state(PausedState);
    apply_target_state();
}

void PlaybackEngine::stop() {
    if (source_.isEmpty() || state_ == StoppedState)
        return;
    set_playback_state(StoppedState);
    apply_target_state();
    seek(0);
}

PlaybackEngine::PlaybackState PlaybackEngine::playbackState() const {
    return state_;
}

PlaybackEngine::MediaStatus PlaybackEngine::mediaStatus() const {
    return status_;
}

bool PlaybackEngine::hasError() const {
    return !error_.isEmpty();
}

QString PlaybackEngine::errorString() const {
    return error_;
}

qint64 PlaybackEngine::position() const {
    return position_;
}

qint64 PlaybackEngine::duration() const {
    return duration_;
}

bool PlaybackEngine::isSeekable() const {
    return seekable_;
}

void PlaybackEngine::setPosition(qint64 position) {
    if (source_.isEmpty() || !pipeline_ || !pipeline_->active)
        return;
    position = std::max<qint64>(position, 0);
    if (duration_ > 0)
        position = std::min(position, duration_);
    seek(position);
}

double PlaybackEngine::playbackRate() const {
    return rate_;
}

void PlaybackEngine::setPlaybackRate(double rate) {
    if (rate <= 0 || qFuzzyCompare(rate, rate_))
        return;
    rate_ = rate;
    emit playbackRateChanged(rate_);
    if (pipeline_ && pipeline_->open) {
        update_position(); // from where it is now
        seek(position_);
    }
}

float PlaybackEngine::volume() const {
    return volume_;
}

void PlaybackEngine::setVolume(float volume) {
    volume_ = std::clamp(volume, 0.0f, 1.0f);
    if (pipeline_ && pipeline_->playbin)
        g_object_set(pipeline_->playbin, "volume", double(volume_), nullptr);
}

// A seek carries the speed: the pipeline plays every segment at the rate of the
// seek that started it.
void PlaybackEngine::seek(qint64 position) {
    if (!pipeline_ || !pipeline_->active)
        return;
    if (!pipeline_->open || pipeline_->seeking) {
        // One seek at a time: the pipeline may drop one that arrives while it
        // still carries out the last. The latest waits for it.
        pipeline_->pending_seek = position;
        if (position != position_)
            emit positionChanged(position_ = position);
        return;
    }
    const auto flags = GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek(pipeline_->playbin, rate_, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                          position * GST_MSECOND, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE))
        return;
    pipeline_->seeking = true;
    if (position != position_)
        emit positionChanged(position_ = position);
}

void PlaybackEngine::apply_target_state() {
    if (!pipeline_ || !pipeline_->open)
        return;
    gst_element_set_state(pipeline_->playbin,
                          state_ == PlayingState ? GST_STATE_PLAYING : GST_STATE_PAUSED);
}

void PlaybackEngine::take_messages() {
    if (!pipeline_ || !pipeline_->bus)
        return;
    // Each message is handled before the next is taken: one may halt the
    // pipeline and drop the rest.
    while (GstMessage* message = gst_bus_pop(pipeline_->bus)) {
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ASYNC_DONE:
            if (!pipeline_->open)
                on_open();
            else
                on_seek_done();
            break;
        case GST_MESSAGE_DURATION_CHANGED:
            update_duration();
            break;
        case GST_MESSAGE_EOS:
            on_end();
            break;
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            on_error(QString::fromUtf8(error ? error->message : "unknown error"));
            g_clear_error(&error);
            break;
        }
        default:
            break;
        }
        gst_message_unref(message);
    }
}

// Prerolled: the length and seeking are known, and the speed (and any seek asked
// for while it opened) is applied before a sound is heard.
void PlaybackEngine::on_open() {
    pipeline_->open = true;
    update_duration();
    GstQuery* query = gst_query_new_seeking(GST_FORMAT_TIME);
    gboolean seekable = FALSE;
    if (gst_element_query(pipeline_->playbin, query))
        gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
    gst_query_unref(query);
    if (bool(seekable) != seekable_)
        emit seekableChanged(seekable_ = seekable);
    std::optional<qint64> at = std::exchange(pipeline_->pending_seek, std::nullopt);
    if (at || !qFuzzyCompare(rate_, 1.0))
        seek(at.value_or(0));
    if (status_ == LoadingMedia)
        set_media_status(LoadedMedia);
    apply_target_state();
}

void PlaybackEngine::on_seek_done() {
    pipeline_->seeking = false;
    if (auto at = std::exchange(pipeline_->pending_seek, std::nullopt))
        seek(*at);
    else
        update_position();
}

void PlaybackEngine::on_end() {
    pipeline_->halt(GST_STATE_READY);
    bus_timer_.stop();
    if (duration_ > 0 && position_ != duration_)
        emit positionChanged(position_ = duration_);
    set_playback_state(StoppedState);
    set_media_status(EndOfMedia);
}

void PlaybackEngine::on_error(const QString& reason) {
    if (pipeline_ && pipeline_->playbin)
        pipeline_->halt(GST_STATE_NULL);
    bus_timer_.stop();
    error_ = reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    set_playback_state(StoppedState);
    set_media_status(InvalidMedia);
    emit errorOccurred(error_);
}

void PlaybackEngine::update_duration() {
    gint64 ns = 0;
    if (!gst_element_query_duration(pipeline_->playbin, GST_FORMAT_TIME, &ns))
        return;
    if (const qint64 ms = to_ms(ns); ms != duration_)
        emit durationChanged(duration_ = ms);
}

// While a seek is under way the pipeline may still say where it was.
void PlaybackEngine::update_position() {
    if (!pipeline_ || !pipeline_->open || pipeline_->seeking)
        return;
    gint64 ns = 0;
    if (!gst_element_query_position(pipeline_->playbin, GST_FORMAT_TIME, &ns))
        return;
    if (const qint64 ms = to_ms(ns); ms != position_)
        emit positionChanged(position_ = ms);
}

void PlaybackEngine::set_playback_state(PlaybackState state) {
    if (state != state_)
        emit playbackStateChanged(state_ = state);
}

void PlaybackEngine::set_media_status(MediaStatus status) {
    if (status != status_)
        emit mediaStatusChanged(status_ = status);
}
