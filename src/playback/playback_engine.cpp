#include "playback/playback_engine.hpp"

#include <QtGlobal>

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

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

// A block of sound whose level stays under this (RMS, 1 = full scale: -40 dBFS)
// is silence: a room's hiss between sentences, not a whispered word.
constexpr double silence_level = 0.01;

// Cuts the pauses out of the decoded audio before the time stretch, on the
// streaming thread. Every block is 32-bit float (the filter's caps say so).
// The first silence_kept_ms of a pause pass; the rest of it is dropped and
// the blocks after it are moved earlier by as much, so the sink plays on
// without a gap. The sink then reports positions on that shortened timeline;
// `media_position` puts back what was cut before a position.
class SilenceCutter {
  public:
    std::atomic<bool> enabled{false};

    static GstPadProbeReturn probe(GstPad*, GstPadProbeInfo* info, gpointer self) {
        return static_cast<SilenceCutter*>(self)->take(info);
    }

    // The position on the media's own timeline of one the sink reports.
    gint64 media_position(gint64 reported) {
        const std::lock_guard lock(mutex_);
        gint64 shift = 0;
        for (const auto& [from, total] : marks_)
            if (reported >= from)
                shift = total;
        return reported + shift;
    }
    // Nanoseconds cut since the last `restart`.
    gint64 cut() {
        const std::lock_guard lock(mutex_);
        return cut_;
    }
    void restart() {
        const std::lock_guard lock(mutex_);
        cut_ = 0;
        run_start_ = GST_CLOCK_TIME_NONE;
    }

  private:
    GstPadProbeReturn take(GstPadProbeInfo* info) {
        if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
            GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
            if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                const GstStructure* format = gst_caps_get_structure(caps, 0);
                const std::lock_guard lock(mutex_);
                gst_structure_get_int(format, "channels", &channels_);
                gst_structure_get_int(format, "rate", &rate_);
            } else if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
                // A seek or a new speed starts a new timeline: nothing cut on it yet.
                const std::lock_guard lock(mutex_);
                marks_.clear();
                shift_ = 0;
                run_start_ = GST_CLOCK_TIME_NONE;
            }
            return GST_PAD_PROBE_OK;
        }
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (!GST_CLOCK_TIME_IS_VALID(pts))
            return GST_PAD_PROBE_OK;
        const std::lock_guard lock(mutex_);
        GstClockTime length = GST_BUFFER_DURATION(buffer);
        const gsize bytes = gst_buffer_get_size(buffer);
        if (!GST_CLOCK_TIME_IS_VALID(length) && rate_ > 0 && channels_ > 0)
            length = gst_util_uint64_scale(bytes / (sizeof(float) * gsize(channels_)), GST_SECOND,
                                           guint64(rate_));
        const bool silent = enabled.load() && GST_CLOCK_TIME_IS_VALID(length) && quiet(buffer);
        if (!silent) {
            run_start_ = GST_CLOCK_TIME_NONE;
        } else {
            if (!GST_CLOCK_TIME_IS_VALID(run_start_))
                run_start_ = pts;
            if (pts + length > run_start_ + GstClockTime(silence_kept_ms_ns)) {
                // Where the audio after the cut will start on the sink's timeline.
                const gint64 at = gint64(pts) - shift_;
                shift_ += gint64(length);
                cut_ += gint64(length);
                if (!marks_.empty() && marks_.back().first == at)
                    marks_.back().second = shift_;
                else
                    marks_.emplace_back(at, shift_);
                return GST_PAD_PROBE_DROP;
            }
        }
        if (shift_ != 0) {
            buffer = gst_buffer_make_writable(buffer);
            GST_BUFFER_PTS(buffer) = pts - GstClockTime(shift_);
            GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
        }
        return GST_PAD_PROBE_OK;
    }

    static bool quiet(GstBuffer* buffer) {
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
            return false;
        const auto* samples = reinterpret_cast<const float*>(map.data);
        const gsize n = map.size / sizeof(float);
        double sum = 0;
        for (gsize i = 0; i < n; ++i)
            sum += double(samples[i]) * double(samples[i]);
        gst_buffer_unmap(buffer, &map);
        return n > 0 && std::sqrt(sum / double(n)) < silence_level;
    }

    static constexpr gint64 silence_kept_ms_ns = PlaybackEngine::silence_kept_ms * GST_MSECOND;
    std::mutex mutex_;
    int channels_ = 0;
    int rate_ = 0;
    GstClockTime run_start_ = GST_CLOCK_TIME_NONE; // where the pause under way began
    gint64 shift_ = 0; // cut on this timeline so far
    gint64 cut_ = 0;   // cut from this source
    // From each of these reported positions on, so much was cut before it.
    std::vector<std::pair<gint64, gint64>> marks_;
};

// Rounds off the samples the gain pushes toward full scale, after the gain:
// below `knee` nothing changes; above it a sample bends smoothly (slope 1 at
// the knee) toward `ceiling`, which it never reaches, so a boosted peak is
// never cut flat as the sink's conversion to whole numbers would cut it.
constexpr double limiter_knee = 0.7;
constexpr double limiter_ceiling = 0.95;

float soft_limit(float sample) {
    const double size = std::fabs(double(sample));
    if (size <= limiter_knee)
        return sample;
    constexpr double room = limiter_ceiling - limiter_knee;
    const double bent = limiter_knee + room * std::tanh((size - limiter_knee) / room);
    return float(std::copysign(bent, double(sample)));
}

// `boosting` (an atomic bool) says whether the gain is above 1: at or below
// it the sound passes as it is.
GstPadProbeReturn limit(GstPad*, GstPadProbeInfo* info, gpointer boosting) {
    if (!static_cast<std::atomic<bool>*>(boosting)->load())
        return GST_PAD_PROBE_OK;
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE))
        return GST_PAD_PROBE_OK;
    auto* samples = reinterpret_cast<float*>(map.data);
    for (gsize i = 0, n = map.size / sizeof(float); i < n; ++i)
        samples[i] = soft_limit(samples[i]);
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

GstElement* make(const char* factory) {
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (!element)
        qWarning("GStreamer has no %s", factory);
    return element;
}

} // namespace

struct PlaybackEngine::Pipeline {
    SilenceCutter cutter; // outlive the playbin their probes sit in
    std::atomic<bool> boosting{false};
    GstElement* playbin = nullptr;
    GstElement* gain = nullptr;
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
        if (GstElement* filter = make_filter())
            g_object_set(playbin, "audio-filter", filter, nullptr);
        bus = gst_element_get_bus(playbin);
    }

    // Float samples ! the silence cutter (a probe) ! the time stretch (a speed
    // other than 1× keeps the pitch) ! the gain ! the limiter (a probe). The
    // gain stands before the limiter, which playbin's own volume (after the
    // filter) would not.
    GstElement* make_filter() {
        GstElement* floats = make("capsfilter");
        GstElement* stretch = make("scaletempo");
        gain = make("volume");
        if (!floats || !stretch || !gain) {
            for (GstElement* e : {floats, stretch, gain})
                if (e)
                    gst_object_unref(gst_object_ref_sink(e));
            gain = nullptr;
            return nullptr;
        }
        GstCaps* caps = gst_caps_from_string("audio/x-raw,format=F32LE");
        g_object_set(floats, "caps", caps, nullptr);
        gst_caps_unref(caps);
        GstElement* bin = gst_bin_new("audio_path");
        gst_bin_add_many(GST_BIN(bin), floats, stretch, gain, nullptr);
        if (!gst_element_link_many(floats, stretch, gain, nullptr))
            qWarning("The audio path cannot be linked");
        GstPad* in = gst_element_get_static_pad(floats, "sink");
        GstPad* out = gst_element_get_static_pad(gain, "src");
        gst_element_add_pad(bin, gst_ghost_pad_new("sink", in));
        gst_element_add_pad(bin, gst_ghost_pad_new("src", out));
        gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, &limit, &boosting, nullptr);
        gst_object_unref(in);
        gst_object_unref(out);
        GstPad* stretch_in = gst_element_get_static_pad(stretch, "sink");
        gst_pad_add_probe(stretch_in,
                          GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER |
                                          GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          &SilenceCutter::probe, &cutter, nullptr);
        gst_object_unref(stretch_in);
        return bin;
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
    if (pipeline_) {
        pipeline_->pending_seek.reset();
        pipeline_->cutter.restart();
    }
    if (skipped_ != 0)
        emit silenceSkippedChanged(skipped_ = 0);
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
    volume_ = std::clamp(volume, 0.0f, max_volume);
    if (pipeline_ && pipeline_->gain) {
        pipeline_->boosting.store(volume_ > 1.0f);
        g_object_set(pipeline_->gain, "volume", double(volume_), nullptr);
    }
    else if (pipeline_ && pipeline_->playbin)
        g_object_set(pipeline_->playbin, "volume", double(std::min(volume_, 1.0f)), nullptr);
}

bool PlaybackEngine::skipsSilence() const {
    return pipeline_ && pipeline_->cutter.enabled.load();
}

void PlaybackEngine::setSkipSilence(bool on) {
    if (pipeline_)
        pipeline_->cutter.enabled.store(on);
}

qint64 PlaybackEngine::silenceSkipped() const {
    return skipped_;
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
    if (const qint64 cut = to_ms(pipeline_->cutter.cut()); cut != skipped_)
        emit silenceSkippedChanged(skipped_ = cut);
    if (const qint64 ms = to_ms(pipeline_->cutter.media_position(ns)); ms != position_)
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
