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

// Requests made on the calling thread give up at once, as failures, when `flag`
// becomes true; null (the default) lets them run their course. For workers that
// the window stops when the user moves on or closes it.
void set_request_cancel_flag(const std::atomic<bool>* flag);
