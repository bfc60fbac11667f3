#include "playback/media_lengths.hpp"

#include <QFile>
#include <QHash>
#include <QMetaObject>

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr GstClockTime look_ns = 100 * GST_MSECOND; // between looks at the stop flag
constexpr int longest_looks = 50;                   // 5 s for one file at most
constexpr guint play_audio = 1u << 1;

} // namespace

// A playbin into a sink that plays nothing. Most files say their length once
// they are open; one that does not (an MP3 with no header of its length) is
// run through, as fast as it decodes, until its parser has estimated it.
qint64 read_media_length(const QString& file, const std::atomic<bool>* stop) {
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return 0;
    GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!pipeline || !sink) {
        if (pipeline)
            gst_object_unref(pipeline);
        if (sink)
            gst_object_unref(sink);
        return 0;
    }
    g_object_set(sink, "sync", FALSE, nullptr);
    gchar* uri = gst_filename_to_uri(QFile::encodeName(file).constData(), nullptr);
    g_object_set(pipeline, "uri", uri, "audio-sink", sink, "flags", play_audio, nullptr);
    g_free(uri);
    gint64 ns = -1;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
        GstBus* bus = gst_element_get_bus(pipeline);
        const auto wanted = GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_DURATION_CHANGED |
                                           GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
        for (int look = 0; look < longest_looks && !(stop && *stop); ++look) {
            GstMessage* message = gst_bus_timed_pop_filtered(bus, look_ns, wanted);
            if (!message)
                continue;
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            gst_message_unref(message);
            if (type == GST_MESSAGE_ERROR)
                break;
            if (gst_element_query_duration(pipeline, GST_FORMAT_TIME, &ns) && ns > 0)
                break;
            if (type == GST_MESSAGE_EOS)
                break;
            if (type == GST_MESSAGE_ASYNC_DONE)
                gst_element_set_state(pipeline, GST_STATE_PLAYING);
        }
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ns > 0 ? qint64(ns / GST_MSECOND) : 0;
}

struct MediaLengths::Worker {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<QString> waiting;
    std::atomic<bool> stopping{false}; // also looked at while a file is read
    std::thread thread;
    QHash<QString, qint64> known; // GUI thread only
    QHash<QString, bool> asked;   // GUI thread only
};

MediaLengths::MediaLengths(QObject* parent) : QObject(parent), worker_(std::make_unique<Worker>()) {}

MediaLengths::~MediaLengths() {
    {
        std::lock_guard guard(worker_->lock);
        worker_->stopping = true;
    }
    worker_->wake.notify_all();
    if (worker_->thread.joinable())
        worker_->thread.join();
}

std::optional<qint64> MediaLengths::length(const QString& file) {
    if (const auto at = worker_->known.constFind(file); at != worker_->known.constEnd())
        return *at;
    if (worker_->asked.contains(file))
        return std::nullopt;
    worker_->asked.insert(file, true);
    {
        std::lock_guard guard(worker_->lock);
        worker_->waiting.push_back(file);
    }
    worker_->wake.notify_all();
    if (!worker_->thread.joinable()) {
        Worker* w = worker_.get();
        worker_->thread = std::thread([this, w] {
            for (;;) {
                QString next;
                {
                    std::unique_lock guard(w->lock);
                    w->wake.wait(guard, [w] { return w->stopping || !w->waiting.empty(); });
                    if (w->stopping)
                        return;
                    next = w->waiting.front();
                    w->waiting.pop_front();
                }
                const qint64 ms = read_media_length(next, &w->stopping);
                QMetaObject::invokeMethod(this, [this, next, ms] { take(next, ms); },
                                          Qt::QueuedConnection);
            }
        });
    }
    return std::nullopt;
}

void MediaLengths::forget_waiting() {
    std::lock_guard guard(worker_->lock);
    for (const QString& file : worker_->waiting)
        worker_->asked.remove(file);
    worker_->waiting.clear();
}

void MediaLengths::take(const QString& file, qint64 ms) {
    worker_->known.insert(file, ms);
    emit lengthRead(file, ms);
}
