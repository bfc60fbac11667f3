#pragma once
// One HTTP request of an episode download on libcurl's multi interface, so that
// a cancel wakes it at once. Transfers reuse idle connections (and TLS
// sessions) to the same host from earlier transfers of the process.
#include "transfer/episode_download.hpp"
#include "text/text.hpp"

#include <cstdint>
#include <functional>
#include <string>

// What the final answer (after redirects) said about its body.
struct AnswerHeaders {
    long status = 0;
    Text content_type;                // lower-cased, without parameters
    std::int64_t content_length = -1; // of this answer's body
    Text content_range;               // as sent
    Text etag;
    Text last_modified;
    long retry_after = -1; // seconds; -1 when absent or not a number of seconds
};

struct TransferRequest {
    std::string url; // as it goes on the wire
    const Text* user_agent = nullptr;
    std::int64_t range_from = -1; // ask for the bytes from here on; -1: the whole body
    bool head = false;            // ask for the headers only
};

enum class TransferEnd {
    completed,    // the answer arrived whole (any status)
    failed,       // libcurl gave up: see `error`
    stalled,      // nothing arrived for the stall time-out
    cancelled,    // DownloadCancel::cancel()
    sink_stopped, // the body callbacks refused it
};

enum class TransferError { none, connect, timeout, broken, other };

struct TransferOutcome {
    TransferEnd end = TransferEnd::failed;
    TransferError error = TransferError::none;
    AnswerHeaders headers;
};

struct BodyHandlers {
    // Called before the first byte of a 2xx body; false stops the transfer.
    std::function<bool(const AnswerHeaders&)> begin;
    // Each piece of that body, in order; false stops the transfer.
    std::function<bool(const char* data, std::size_t size)> piece;
};

// The body of an answer outside 2xx is read and dropped (so the connection stays
// usable); only its headers are reported.
TransferOutcome run_transfer(const TransferRequest& request, const BodyHandlers& body,
                             DownloadCancel& cancel);
