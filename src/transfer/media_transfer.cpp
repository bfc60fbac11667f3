#include "transfer/media_transfer.hpp"

#include "transfer/http_download.hpp"

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<long> connect_timeout_ms{30000};
std::atomic<long> stall_timeout_s{60}; // a transfer that receives nothing this long fails
constexpr long receive_buffer_size = 512 * 1024;
constexpr long redirect_limit = 20;
constexpr int poll_interval_ms = 100; // how often the stall time-out is looked at
constexpr std::size_t idle_channels_kept = 4;

// ---- connections kept between transfers -------------------------------------------

// Name lookups and TLS sessions are shared by every transfer; open connections
// live in the multi handle of a channel, which one transfer uses at a time.
std::array<std::mutex, CURL_LOCK_DATA_LAST> share_locks;

void lock_share(CURL*, curl_lock_data data, curl_lock_access, void*) {
    share_locks[std::size_t(data)].lock();
}
void unlock_share(CURL*, curl_lock_data data, void*) {
    share_locks[std::size_t(data)].unlock();
}

CURLSH* download_share() {
    static CURLSH* share = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        CURLSH* s = curl_share_init();
        if (s) {
            curl_share_setopt(s, CURLSHOPT_LOCKFUNC, lock_share);
            curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, unlock_share);
            curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
            curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        }
        return s;
    }();
    return share;
}

struct Channel {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
};

void close_channel(Channel channel) {
    if (channel.easy)
        curl_easy_cleanup(channel.easy);
    if (channel.multi)
        curl_multi_cleanup(channel.multi);
}

// Idle channels, most recently used last. Never destroyed: transfers may still
// hand theirs back while the process ends.
struct ChannelPool {
    std::mutex mutex;
    std::vector<Channel> idle;

    Channel take() {
        {
            std::lock_guard lock(mutex);
            if (!idle.empty()) {
                Channel channel = idle.back();
                idle.pop_back();
                return channel;
            }
        }
        if (!download_share())
            return {};
        Channel channel{curl_multi_init(), curl_easy_init()};
        if (!channel.multi || !channel.easy) {
            close_channel(channel);
            return {};
        }
        return channel;
    }

    void give_back(Channel channel) {
        std::lock_guard lock(mutex);
        if (idle.size() < idle_channels_kept)
            idle.push_back(channel);
        else
            close_channel(channel);
    }
};

ChannelPool& channel_pool() {
    static auto* pool = new ChannelPool;
    return *pool;
}

// ---- one transfer -------------------------------------------------------------------

std::int64_t header_number(const Text& value) {
    if (value.empty() || value.find_first_not_of("0123456789") != Text::npos || value.size() > 18)
        return -1;
    return std::stoll(value);
}

struct Transfer {
    const BodyHandlers* body = nullptr;
    AnswerHeaders headers;
    bool body_begun = false;
    bool stopped = false;
    Clock::time_point last_data = Clock::now();

    void header_line(std::string_view line) {
        last_data = Clock::now();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.substr(0, 5) == "HTTP/") { // a new answer: an interim one or after a redirect
            headers = AnswerHeaders{};
            const auto space = line.find(' ');
            if (space != std::string_view::npos)
                headers.status = std::atol(Text(line.substr(space + 1, 3)).c_str());
            return;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        const Text name = lower_ascii(line.substr(0, colon));
        const Text value = trim_spaces(line.substr(colon + 1));
        if (name == "content-type")
            headers.content_type = lower_ascii(trim_spaces(value.substr(0, value.find(';'))));
        else if (name == "content-length")
            headers.content_length = header_number(value);
        else if (name == "content-range")
            headers.content_range = value;
        else if (name == "etag")
            headers.etag = value;
        else if (name == "last-modified")
            headers.last_modified = value;
        else if (name == "retry-after")
            headers.retry_after = long(header_number(value));
    }

    bool body_piece(const char* data, std::size_t size) {
        last_data = Clock::now();
        if (headers.status < 200 || headers.status >= 300)
            return true; // an error page: dropped
        if (!body_begun) {
            body_begun = true;
            if (body->begin && !body->begin(headers))
                return false;
        }
        return !body->piece || body->piece(data, size);
    }
};

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<Transfer*>(user)->header_line(std::string_view(data, size * count));
    return size * count;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->body_piece(data, size * count))
        return size * count;
    transfer->stopped = true;
    return 0;
}

void set_options(CURL* c, const TransferRequest& request, Transfer& transfer,
                 const std::string& range) {
    curl_easy_setopt(c, CURLOPT_SHARE, download_share());
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, redirect_limit);
    curl_easy_setopt(c, CURLOPT_PROXY, ""); // a direct connection
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms.load());
    // A cancel during a slow name lookup leaves the lookup's thread to end by
    // itself instead of waiting for it.
    curl_easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, receive_buffer_size);
    const bool agent = request.user_agent && !request.user_agent->empty();
    curl_easy_setopt(c, CURLOPT_USERAGENT, agent ? request.user_agent->c_str() : nullptr);
    if (request.head)
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    if (!range.empty())
        curl_easy_setopt(c, CURLOPT_RANGE, range.c_str());
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
}

TransferError error_kind(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return TransferError::none;
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_SSL_CONNECT_ERROR:
        return TransferError::connect;
    case CURLE_OPERATION_TIMEDOUT:
        return TransferError::timeout;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return TransferError::broken;
    default:
        return TransferError::other;
    }
}

// Drives the transfer until it ends, is cancelled or stalls.
TransferOutcome drive(CURLM* multi, CURL* easy, Transfer& transfer, DownloadCancel& cancel) {
    TransferOutcome outcome;
    const auto stall_limit = std::chrono::seconds(stall_timeout_s.load());
    cancel.attach(multi);
    int running = 1;
    while (true) {
        if (cancel.cancelled()) {
            outcome.end = TransferEnd::cancelled;
            break;
        }
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            outcome.end = TransferEnd::failed;
            outcome.error = TransferError::other;
            break;
        }
        if (running == 0) {
            int left = 0;
            CURLcode code = CURLE_GOT_NOTHING;
            while (CURLMsg* message = curl_multi_info_read(multi, &left))
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                    code = message->data.result;
            outcome.error = error_kind(code);
            outcome.end = code == CURLE_OK   ? TransferEnd::completed
                          : transfer.stopped ? TransferEnd::sink_stopped
                                             : TransferEnd::failed;
            break;
        }
        if (Clock::now() - transfer.last_data > stall_limit) {
            outcome.end = TransferEnd::stalled;
            outcome.error = TransferError::timeout;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, poll_interval_ms, nullptr);
    }
    cancel.attach(nullptr);
    outcome.headers = transfer.headers;
    return outcome;
}

} // namespace

TransferOutcome run_transfer(const TransferRequest& request, const BodyHandlers& body,
                             DownloadCancel& cancel) {
    Channel channel = channel_pool().take();
    if (!channel.easy)
        return {};
    Transfer transfer;
    transfer.body = &body;
    const std::string range =
        request.range_from > 0 ? std::to_string(request.range_from) + "-" : std::string();
    curl_easy_reset(channel.easy);
    set_options(channel.easy, request, transfer, range);
    curl_multi_add_handle(channel.multi, channel.easy);
    TransferOutcome outcome = drive(channel.multi, channel.easy, transfer, cancel);
    // A transfer cut short closes its connection here; a whole one stays open
    // in the channel for the next.
    curl_multi_remove_handle(channel.multi, channel.easy);
    channel_pool().give_back(channel);
    return outcome;
}

void set_http_download_timeouts(std::chrono::milliseconds connect, std::chrono::seconds stall) {
    connect_timeout_ms = long(connect.count());
    stall_timeout_s = long(stall.count() < 1 ? 1 : stall.count());
}
