#pragma once
// The request routine: one complete HTTP or HTTPS request, synchronous.
//
// Optional parameters: a std::optional left empty, or a null pointer, means "not
// supplied". In/out and output parameters point at the caller's variables.
#include "text/text.hpp"

#include <atomic>
#include <chrono>
#include <optional>

Bytes web_access(const Text& address,                                   // 1
                 std::optional<int> method = std::nullopt,              // 2: verb table index
                 std::optional<Text> body_text = std::nullopt,          // 3
                 Text* send_cookies = nullptr,                          // 4: in/out
                 Text* received_cookies = nullptr,                      // 5: out
                 Text* request_headers = nullptr,                       // 6: in/out
                 Text* response_headers = nullptr,                      // 7: out
                 std::optional<bool> no_redirect = std::nullopt,        // 8
                 Bytes* body_bytes = nullptr,                           // 9: in/out
                 std::optional<Text> proxy = std::nullopt,              // 10
                 std::optional<bool> auto_merge_cookies = std::nullopt, // 11
                 std::optional<bool> complete_headers = std::nullopt,   // 12
                 std::optional<bool> normalise_headers = std::nullopt); // 13

// A GET of the address as web_access(address, 0) makes it, that takes a body of
// at most `limit` bytes: a longer one is cut off as it arrives (or refused at
// once when its announced length is longer), never read whole, and gives the
// empty result with `too_long` set.
Bytes web_access_capped(const Text& address, std::size_t limit, bool& too_long);

// The user agent sent when the caller names none; the episode downloads send it too.
const Text& program_user_agent();

// GET of the address with every option at its default; the body as text.
Text web_access_text(const Text& address);

// Every request gives up when connecting takes longer than `connect`, or when
// nothing arrives for `stall` once connected. 30 s and 60 s unless changed here
// (the tests shorten them).
void set_web_access_timeouts(std::chrono::milliseconds connect, std::chrono::seconds stall);

// A request that trickles also gives up: when fewer than `slow_bytes` bytes a
// second arrive for `slow_time`, or when the whole request, its redirects
// included, takes longer than `total`. At most `redirects` redirects are
// followed; one more is a failure. 1024 bytes/s for 60 s, 120 s, 10 unless
// changed here.
struct WebAccessLimits {
    long slow_bytes = 1024;
    std::chrono::seconds slow_time{60};
    std::chrono::milliseconds total{120000};
    int redirects = 10;
};
void set_web_access_limits(const WebAccessLimits& limits);

// Why a request gave no body, for telling the user.
enum class AccessFailure {
    none,           // an answer came (it may still have an empty body)
    bad_address,    // no request could be made of the address
    cannot_connect, // no connection to the server (name, refusal, TLS)
    timed_out,      // no answer in time, or it stopped arriving
    too_slow,       // it arrived too slowly
    too_large,      // the body went over the size limit
    too_many_redirects,
    cancelled, // the cancel flag of the thread was set
    broken,    // the connection broke off before anything usable came
};
struct AccessReport {
    AccessFailure failure = AccessFailure::none;
    long status = 0; // HTTP status of the last answer, 0 when none came
};

// GET of the address with every option at its default, as web_access(address),
// saying why it failed or what the server answered.
Bytes web_access_reported(const Text& address, AccessReport& report);

// Requests made on the calling thread give up at once, as failures, when `flag`
// becomes true; null (the default) lets them run their course. For workers that
// the window stops when the user moves on or closes it.
void set_request_cancel_flag(const std::atomic<bool>* flag);
