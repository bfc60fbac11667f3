#pragma once
// One episode download on a worker thread of its own, reporting to the thread
// that made the handler through queued signals, so that thread stays free.
#include "transfer/episode_download.hpp"

#include <QObject>

#include <atomic>
#include <chrono>
#include <thread>

class TransferHandler : public QObject {
    Q_OBJECT
  public:
    // Starts the download at once.
    explicit TransferHandler(EpisodeRequest request, QObject* parent = nullptr);
    // Cancels the download and waits for its thread, which ends within a
    // fraction of a second.
    ~TransferHandler() override;

    // Returns at once; finished() follows with the status cancelled (unless the
    // download ended first).
    void cancel();
    bool isFinished() const;
    // Valid once finished() was emitted.
    const EpisodeResult& result() const;

  signals:
    // At most one every 50 ms, and the last one always.
    void progressed(qint64 received, qint64 total);
    void retrying(int retry, int of);
    // Exactly once, delivered on the handler's own thread.
    void finished();

  private:
    void work();
    void report_progress(std::int64_t received, std::int64_t total);
    void send_progress(std::int64_t received, std::int64_t total);

    EpisodeRequest request_;
    DownloadCancel cancel_;
    EpisodeResult result_;
    bool finished_ = false; // on the handler's thread
    // The worker's own.
    std::chrono::steady_clock::time_point last_sent_{};
    std::int64_t pending_received_ = -1, pending_total_ = -1;
    std::thread worker_;
};
