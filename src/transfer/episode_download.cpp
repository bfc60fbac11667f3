#include "transfer/episode_download.hpp"

#include "files/files.hpp"
#include "transfer/media_transfer.hpp"
#include "transfer/partial_file.hpp"
#include "text/gbk.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

// ---- cancel -------------------------------------------------------------------------

void DownloadCancel::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (multi_)
            curl_multi_wakeup(static_cast<CURLM*>(multi_));
    }
    woken_.notify_all();
}

bool DownloadCancel::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void DownloadCancel::attach(void* multi) {
    std::lock_guard lock(mutex_);
    multi_ = multi;
}

bool DownloadCancel::wait_cancelled(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    return woken_.wait_for(lock, delay, [this] { return cancelled_; });
}

// ---- the download -------------------------------------------------------------------

namespace {

constexpr long longest_retry_after_s = 30;

bool is_success(long status) {
    return status >= 200 && status < 300;
}

bool is_transient_status(long status) {
    switch (status) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
        return true;
    default:
        return false;
    }
}

Text status_reason(long status) {
    Text what;
    switch (status) {
    case 401:
        what = gbk("需要登录");
        break;
    case 403:
        what = gbk("拒绝访问");
        break;
    case 404:
        what = gbk("找不到文件");
        break;
    case 408:
        what = gbk("请求超时");
        break;
    case 410:
        what = gbk("文件已删除");
        break;
    case 429:
        what = gbk("请求过多");
        break;
    case 500:
        what = gbk("服务器出错");
        break;
    case 502:
        what = gbk("网关出错");
        break;
    case 503:
        what = gbk("服务暂不可用");
        break;
    case 504:
        what = gbk("网关超时");
        break;
    default:
        break;
    }
    const Text code = "HTTP " + std::to_string(status);
    return what.empty() ? code : code + gbk("：") + what;
}

Text error_reason(TransferError error) {
    switch (error) {
    case TransferError::connect:
        return gbk("无法连接");
    case TransferError::timeout:
        return gbk("超时");
    case TransferError::broken:
        return gbk("连接中断");
    default:
        return gbk("下载失败");
    }
}

// "bytes <first>-<last>/<length>": true when it starts at `from` and names `length`.
bool range_fits(const Text& content_range, std::int64_t from, std::int64_t length) {
    long long first = -1, last = -1, whole = -1;
    if (std::sscanf(content_range.c_str(), "bytes %lld-%lld/%lld", &first, &last, &whole) != 3)
        return false;
    return first == from && whole == length && last == length - 1;
}

std::int64_t range_length(const Text& content_range) {
    long long first = -1, last = -1, whole = -1;
    if (std::sscanf(content_range.c_str(), "bytes %lld-%lld/%lld", &first, &last, &whole) != 3)
        return -1;
    return whole;
}

// How one try ended, for the loop of tries.
enum class TryEnd { done, cancelled, transient, final, start_over, no_space, cannot_write };

struct TryResult {
    TryEnd end = TryEnd::final;
    long http_status = 0;
    long retry_after = -1;
    Text reason;
};

class EpisodeDownload {
  public:
    EpisodeDownload(const EpisodeRequest& request, const EpisodeEvents& events,
                    DownloadCancel& cancel)
        : request_(request), events_(events), cancel_(cancel),
          url_(percent_encode_unsafe(request.address)), partial_(request.target, request.file_observer) {}

    EpisodeResult run();

  private:
    bool already_complete(EpisodeResult& result);
    void give_up(EpisodeResult& result, const TryResult& tried, int retries_used);
    std::chrono::milliseconds wait_before(int retry, const TryResult& tried) const;
    TryResult one_try();
    bool begin_body(const AnswerHeaders& headers, std::int64_t from);
    bool take_piece(const char* data, std::size_t size);
    TryResult after_transfer(const TransferOutcome& outcome, std::int64_t from);
    TryResult write_failed(TryResult tried) const;
    void stop_for_disk(EpisodeResult& result, const TryResult& tried);

    const EpisodeRequest& request_;
    const EpisodeEvents& events_;
    DownloadCancel& cancel_;
    const std::string url_;
    PartialFile partial_;
    // The try under way.
    std::int64_t total_ = -1;
    bool began_ = false, not_audio_ = false, mismatch_ = false, unwritable_ = false;
};

EpisodeResult EpisodeDownload::run() {
    EpisodeResult result;
    if (request_.check_existing && already_complete(result))
        return result;
    int retries_used = 0;
    bool started_over = false;
    while (!cancel_.cancelled()) {
        const TryResult tried = one_try();
        ++result.tries;
        result.http_status = tried.http_status;
        if (tried.end == TryEnd::done) {
            result.status = EpisodeStatus::downloaded;
            return result;
        }
        if (tried.end == TryEnd::cancelled)
            break;
        if (tried.end == TryEnd::no_space || tried.end == TryEnd::cannot_write) {
            stop_for_disk(result, tried);
            return result;
        }
        if (tried.end == TryEnd::start_over && !started_over) {
            started_over = true; // what was kept belongs to another file: once more from 0
            partial_.discard();
            continue;
        }
        const bool retry_allowed = tried.end == TryEnd::transient &&
                                   retries_used < request_.retries &&
                                   tried.retry_after <= longest_retry_after_s;
        if (!retry_allowed) {
            give_up(result, tried, retries_used); // the kept bytes stay for a later run
            return result;
        }
        ++retries_used;
        if (events_.retry_waiting)
            events_.retry_waiting(retries_used, request_.retries);
        if (cancel_.wait_cancelled(wait_before(retries_used, tried)))
            break;
    }
    // The window is closing: bytes that a later run can resume stay hidden,
    // anything else goes.
    if (partial_.size() > 0 && partial_.info().length > 0)
        partial_.close();
    else
        partial_.discard();
    result.status = EpisodeStatus::cancelled;
    result.reason = gbk("已取消");
    return result;
}

void EpisodeDownload::give_up(EpisodeResult& result, const TryResult& tried, int retries_used) {
    partial_.close();
    result.status = EpisodeStatus::failed;
    result.reason = tried.reason;
    if (tried.end == TryEnd::transient && retries_used > 0)
        result.reason += gbk("，已重试 ") + std::to_string(retries_used) + gbk(" 次");
}

// What had arrived is removed when the disk is full: kept, it would hold the
// space the user needs. A folder that cannot be written holds nothing of ours.
void EpisodeDownload::stop_for_disk(EpisodeResult& result, const TryResult& tried) {
    const bool full = tried.end == TryEnd::no_space;
    if (full)
        partial_.discard();
    else
        partial_.close();
    result.status = full ? EpisodeStatus::no_space : EpisodeStatus::cannot_write;
    result.reason = tried.reason;
}

// A write that failed: a full disk and a folder that cannot be written end the
// download with a status of their own, any other failure as a final one.
TryResult EpisodeDownload::write_failed(TryResult tried) const {
    switch (write_failure_of(partial_.last_error())) {
    case WriteFailure::no_space:
        tried.end = TryEnd::no_space;
        tried.reason = gbk("磁盘空间不足");
        break;
    case WriteFailure::cannot_write:
        tried.end = TryEnd::cannot_write;
        tried.reason = gbk("无法写入保存文件夹");
        break;
    case WriteFailure::other:
        tried.end = TryEnd::final;
        tried.reason = gbk("无法写入文件");
        break;
    }
    return tried;
}

// The server's Retry-After when it gave one; else the first delay, doubled for
// each retry after the first.
std::chrono::milliseconds EpisodeDownload::wait_before(int retry, const TryResult& tried) const {
    if (tried.retry_after >= 0)
        return std::chrono::seconds(tried.retry_after);
    return request_.retry_delay * (1 << std::min(retry - 1, 20));
}

// A file already at the target is complete when the server names the same length.
bool EpisodeDownload::already_complete(EpisodeResult& result) {
    std::error_code ec;
    auto size = std::int64_t(fs::file_size(request_.target, ec));
    if (ec || !fs::is_regular_file(request_.target, ec))
        return false;
    if (const std::int64_t kept = request_.host_length ? request_.host_length(request_.target) : -1;
        kept >= 0)
        size = kept;
    TransferRequest head{url_, &request_.user_agent, -1, true};
    const TransferOutcome outcome = run_transfer(head, {}, cancel_);
    if (outcome.end == TransferEnd::cancelled)
        return false; // the loop of tries reports it
    const AnswerHeaders& h = outcome.headers;
    if (outcome.end != TransferEnd::completed || !is_success(h.status) ||
        h.content_type == "text/html" || h.content_length != size)
        return false;
    partial_.discard(); // whatever an earlier run left of it is of no use now
    result.status = EpisodeStatus::already_complete;
    result.http_status = h.status;
    return true;
}

TryResult EpisodeDownload::one_try() {
    const std::int64_t from = partial_.resumable();
    total_ = -1;
    began_ = not_audio_ = mismatch_ = unwritable_ = false;
    TransferRequest get{url_, &request_.user_agent, from > 0 ? from : -1, false};
    BodyHandlers body{[&](const AnswerHeaders& h) { return begin_body(h, from); },
                      [&](const char* data, std::size_t size) { return take_piece(data, size); }};
    const TransferOutcome outcome = run_transfer(get, body, cancel_);
    TryResult tried = after_transfer(outcome, from);
    if (!partial_.close() && tried.end == TryEnd::transient)
        tried = write_failed(tried);
    return tried;
}

// Decides where the body goes: after the kept bytes when the answer continues
// exactly them, else into an emptied file.
bool EpisodeDownload::begin_body(const AnswerHeaders& h, std::int64_t from) {
    if (h.content_type == "text/html") {
        not_audio_ = true; // a login or error page in place of the episode
        return false;
    }
    if (h.status == 206) {
        const PartialInfo& kept = partial_.info();
        const std::int64_t expected_from = from > 0 ? from : 0;
        const std::int64_t whole = from > 0 ? kept.length : range_length(h.content_range);
        const bool same_file =
            from <= 0 || ((kept.etag.empty() || kept.etag == h.etag) &&
                          (kept.last_modified.empty() || kept.last_modified == h.last_modified));
        if (!same_file || !range_fits(h.content_range, expected_from, whole)) {
            mismatch_ = true;
            return false;
        }
        total_ = whole;
        if (from > 0) {
            unwritable_ = !partial_.resume();
            began_ = !unwritable_;
            return began_;
        }
    } else {
        total_ = h.content_length;
    }
    unwritable_ = !partial_.start_over(PartialInfo{total_, h.etag, h.last_modified});
    began_ = !unwritable_;
    return began_;
}

bool EpisodeDownload::take_piece(const char* data, std::size_t size) {
    if (!partial_.append(data, size)) {
        unwritable_ = true;
        return false;
    }
    if (events_.progress)
        events_.progress(partial_.size(), total_);
    return true;
}

TryResult EpisodeDownload::after_transfer(const TransferOutcome& outcome, std::int64_t from) {
    TryResult tried;
    const AnswerHeaders& h = outcome.headers;
    tried.http_status = h.status;
    tried.retry_after = h.retry_after;
    switch (outcome.end) {
    case TransferEnd::cancelled:
        tried.end = TryEnd::cancelled;
        return tried;
    case TransferEnd::sink_stopped:
        if (unwritable_)
            return write_failed(tried);
        tried.end = mismatch_ ? TryEnd::start_over : TryEnd::final;
        tried.reason = not_audio_ ? gbk("不是音频文件") : gbk("下载失败");
        return tried;
    case TransferEnd::stalled:
    case TransferEnd::failed:
        tried.end = outcome.error == TransferError::other ? TryEnd::final : TryEnd::transient;
        tried.reason = error_reason(outcome.error);
        return tried;
    case TransferEnd::completed:
        break;
    }
    if (h.status == 416 && from > 0) {
        tried.end = TryEnd::start_over; // the kept bytes are not part of the file any more
        tried.reason = status_reason(h.status);
        return tried;
    }
    if (!is_success(h.status)) {
        tried.end = is_transient_status(h.status) ? TryEnd::transient : TryEnd::final;
        tried.reason = status_reason(h.status);
        return tried;
    }
    if (!began_ || partial_.size() == 0) {
        tried.end = TryEnd::final;
        tried.reason = gbk("文件为空");
        return tried;
    }
    if (total_ >= 0 && partial_.size() != total_) {
        tried.end = TryEnd::transient;
        tried.reason = error_reason(TransferError::broken);
        return tried;
    }
    if (!partial_.finish(request_.prepare_file))
        return write_failed(tried);
    if (request_.landed)
        request_.landed(request_.target);
    tried.end = TryEnd::done;
    return tried;
}

} // namespace

EpisodeResult download_episode(const EpisodeRequest& request, const EpisodeEvents& events,
                               DownloadCancel& cancel) {
    EpisodeDownload download(request, events, cancel);
    return download.run();
}
