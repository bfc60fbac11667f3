#include "platform/http_download.hpp"

#include "platform/curl_stall.hpp"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <unistd.h>

namespace {

std::atomic<long> connect_timeout_ms{30000};
std::atomic<long> stall_timeout_s{60}; // a transfer that receives nothing this long fails
constexpr long receive_buffer_size = 128 * 1024;
constexpr long redirect_limit = 20;

struct EasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

// A new, empty file with a name of its own in `folder`; -1 when none can be made.
int create_temporary_file(const std::filesystem::path& folder, std::filesystem::path& made) {
    static std::atomic<unsigned> counter{0};
    std::random_device seed;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string name = ".download-" + std::to_string(getpid()) + "-" +
                                 std::to_string(++counter) + "-" +
                                 std::to_string(seed() % 1000000) + ".part";
        made = folder / name;
        int fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd != -1 || errno != EEXIST)
            return fd;
    }
    return -1;
}

struct Sink {
    int fd = -1;
    CURL* curl = nullptr;
    const DownloadProgress* progress = nullptr;
    CurlStall* stall = nullptr;
    std::int64_t received = 0;
};

std::size_t write_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t total = size * count;
    std::size_t done = 0;
    while (done < total) {
        ssize_t n = ::write(sink->fd, data + done, total - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0; // the transfer stops with a write error
        done += std::size_t(n);
    }
    sink->received += std::int64_t(total);
    sink->stall->saw_data();
    if (*sink->progress) {
        curl_off_t length = -1;
        curl_easy_getinfo(sink->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        (*sink->progress)(sink->received, length < 0 ? -1 : std::int64_t(length));
    }
    return total;
}

bool fetch_into(int fd, const Text& address, const DownloadProgress& progress) {
    static std::once_flag curl_ready;
    std::call_once(curl_ready, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURL, EasyCleanup> curl(curl_easy_init());
    if (!curl)
        return false;
    CurlStall stall{std::chrono::seconds(stall_timeout_s.load())};
    Sink sink{fd, curl.get(), &progress, &stall};
    const std::string url = percent_encode_unsafe(address);
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, redirect_limit);
    curl_easy_setopt(c, CURLOPT_PROXY, ""); // a direct connection
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms.load());
    CurlStall::watch(c, &stall);
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, receive_buffer_size);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_body);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);

    if (curl_easy_perform(c) != CURLE_OK)
        return false;
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    // Only a complete, non-empty success answer is an episode.
    return status >= 200 && status < 300 && sink.received > 0;
}

} // namespace

bool http_download(const Text& address, const std::filesystem::path& target,
                   const DownloadProgress& progress) {
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::filesystem::path temporary;
    int fd = create_temporary_file(folder, temporary);
    if (fd == -1)
        return false;

    bool ok = fetch_into(fd, address, progress);
    if (::close(fd) != 0)
        ok = false;
    if (ok && std::rename(temporary.c_str(), target.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

void set_http_download_timeouts(std::chrono::milliseconds connect, std::chrono::seconds stall) {
    connect_timeout_ms = long(connect.count());
    stall_timeout_s = long(stall.count() < 1 ? 1 : stall.count());
}
