#pragma once
// A libcurl transfer that another thread can stop at once: curl_easy_perform
// only asks its progress callback about once a second while nothing arrives,
// so the transfer runs in a multi handle that looks at the flag every few
// milliseconds instead.
#include <curl/curl.h>

#include <atomic>

// Like curl_easy_perform; CURLE_ABORTED_BY_CALLBACK as soon as `cancel` is set.
inline CURLcode perform_cancellable(CURL* easy, const std::atomic<bool>& cancel) {
    if (cancel)
        return CURLE_ABORTED_BY_CALLBACK;
    CURLM* multi = curl_multi_init();
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return CURLE_FAILED_INIT;
    }
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            result = CURLE_FAILED_INIT;
            while (CURLMsg* message = curl_multi_info_read(multi, &left))
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                    result = message->data.result;
            break;
        }
        if (cancel)
            break;
        curl_multi_poll(multi, nullptr, 0, 20, nullptr);
        if (cancel)
            break;
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    return result;
}
