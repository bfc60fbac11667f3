#pragma once
// Gives up a libcurl transfer that has received nothing for a while. libcurl's
// own low-speed limit averages over a window of seconds, so a transfer that
// stalls after a burst of data would only fail seconds after the limit.
#include <curl/curl.h>

#include <chrono>

class CurlStall {
  public:
    explicit CurlStall(std::chrono::seconds limit) : limit_(limit) {}

    // Call whenever bytes (header or body) arrive.
    void saw_data() { last_data_ = std::chrono::steady_clock::now(); }

    // Makes `curl` ask `stall` about once a second; `stall` must outlive the transfer.
    static void watch(CURL* curl, CurlStall* stall) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, check);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, stall);
    }

  private:
    static int check(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        const auto* stall = static_cast<const CurlStall*>(user);
        return std::chrono::steady_clock::now() - stall->last_data_ > stall->limit_ ? 1 : 0;
    }

    std::chrono::seconds limit_;
    std::chrono::steady_clock::time_point last_data_ = std::chrono::steady_clock::now();
};
