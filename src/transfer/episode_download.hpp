#pragma once
// One episode's transfer from the Media host into its file, made to survive a
// bad network: transient failures are tried again after a growing wait, the
// bytes that arrived are kept in a hidden temporary file beside the target and
// resumed with a Range request (in this run or a later one), a file already
// complete on disk is not fetched again, and only audio is saved. The target
// appears, or is replaced, only by a complete file.
//
// Plain C++ on libcurl. Episodes share one connection per host and its TLS
// session across calls.
#include "files/streamed_file.hpp"
#include "text/text.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>

struct EpisodeRequest {
    Text address;                                // GBK http(s) address; percent-encoded on the wire
    std::filesystem::path target;                // the episode's final file
    Text user_agent;                             // sent with every request of this episode
    int retries = 3;                             // further tries after a transient failure
    std::chrono::milliseconds retry_delay{1000}; // first wait; then doubled: 1 s, 2 s, 4 s
    // When a file is already at the target, first ask the server for the length
    // only, and keep that file when the lengths agree.
    bool check_existing = true;
    // Watches the writes of the episode's bytes, their flush and the rename.
    FileObserver file_observer;
    // Run on the download's thread: `prepare_file` on the complete file before
    // it is flushed and renamed (its tags; false fails the episode as a write
    // that failed), `landed` once it has its final name.
    std::function<bool(const std::filesystem::path& file)> prepare_file;
    std::function<void(const std::filesystem::path& target)> landed;
    // The Media host's length for the file at the target when the file records
    // it (a tagged file's size is not the host's), else -1: the file's size is
    // compared with the host's length.
    std::function<std::int64_t(const std::filesystem::path& target)> host_length;
};

// no_space: the disk is full ("磁盘空间不足"), and what had arrived of the episode
// is removed; cannot_write: the folder cannot be written ("无法写入保存文件夹").
// Neither is tried again, nor would the next episode fare better.
enum class EpisodeStatus { downloaded, already_complete, failed, cancelled, no_space, cannot_write };

struct EpisodeResult {
    EpisodeStatus status = EpisodeStatus::failed;
    long http_status = 0; // the last answer's status; 0 when none came
    int tries = 0;        // requests for the body that were made
    Text reason;          // GBK, for the user; empty on success
};

struct EpisodeEvents { // called on the thread that runs the download
    // `received` includes resumed bytes; `total` is -1 when unknown.
    std::function<void(std::int64_t received, std::int64_t total)> progress;
    // (2, 3) while waiting before the 2nd of 3 retries.
    std::function<void(int retry, int of)> retry_waiting;
};

// Ends a running download_episode from any thread within a fraction of a
// second, whatever it is doing: connecting, waiting for data, receiving, or
// waiting to try again. Once cancelled it stays cancelled.
class DownloadCancel {
  public:
    DownloadCancel() = default;
    DownloadCancel(const DownloadCancel&) = delete;
    DownloadCancel& operator=(const DownloadCancel&) = delete;

    void cancel();
    bool cancelled() const;

    // For the download: the transfer to wake while it waits on its sockets
    // (a CURLM*, null when none), and a wait that ends early on cancel().
    void attach(void* multi);
    // Waits `delay` or until cancelled; true when cancelled.
    bool wait_cancelled(std::chrono::milliseconds delay);

  private:
    mutable std::mutex mutex_;
    std::condition_variable woken_;
    bool cancelled_ = false;
    void* multi_ = nullptr;
};

EpisodeResult download_episode(const EpisodeRequest& request, const EpisodeEvents& events,
                               DownloadCancel& cancel);

// The hidden files beside `target` that hold a partial download and what its
// resume needs; neither ends in the target's extension.
std::filesystem::path partial_file_path(const std::filesystem::path& target);
std::filesystem::path partial_info_path(const std::filesystem::path& target);
