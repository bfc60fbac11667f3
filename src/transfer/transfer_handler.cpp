#include "transfer/transfer_handler.hpp"

#include <QMetaObject>

namespace {

constexpr auto progress_interval = std::chrono::milliseconds(50);

} // namespace

TransferHandler::TransferHandler(EpisodeRequest request, QObject* parent)
    : QObject(parent), request_(std::move(request)), worker_([this] { work(); }) {}

TransferHandler::~TransferHandler() {
    cancel_.cancel();
    if (worker_.joinable())
        worker_.join();
}

void TransferHandler::cancel() {
    cancel_.cancel();
}

bool TransferHandler::isFinished() const {
    return finished_;
}

const EpisodeResult& TransferHandler::result() const {
    return result_;
}

void TransferHandler::work() {
    EpisodeEvents events;
    events.progress = [this](std::int64_t received, std::int64_t total) {
        report_progress(received, total);
    };
    events.retry_waiting = [this](int retry, int of) {
        QMetaObject::invokeMethod(
            this, [this, retry, of] { emit retrying(retry, of); }, Qt::QueuedConnection);
    };
    EpisodeResult result = download_episode(request_, events, cancel_);
    if (pending_received_ >= 0)
        send_progress(pending_received_, pending_total_);
    // Handed over through the event queue: the handler's thread reads it only
    // after the finished event below.
    result_ = std::move(result);
    QMetaObject::invokeMethod(
        this,
        [this] {
            finished_ = true;
            emit finished();
        },
        Qt::QueuedConnection);
}

void TransferHandler::report_progress(std::int64_t received, std::int64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_sent_ < progress_interval) {
        pending_received_ = received; // sent with a later piece, or at the end
        pending_total_ = total;
        return;
    }
    last_sent_ = now;
    send_progress(received, total);
}

void TransferHandler::send_progress(std::int64_t received, std::int64_t total) {
    pending_received_ = -1;
    QMetaObject::invokeMethod(
        this, [this, received, total] { emit progressed(qint64(received), qint64(total)); },
        Qt::QueuedConnection);
}
