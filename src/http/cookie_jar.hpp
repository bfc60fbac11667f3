#pragma once
// The process-wide cookie store of the request routine: used by the requests
// whose caller hands in no cookie text of its own. Cookies set by responses are
// kept for the life of the process and sent back to the sites they belong to.
//
// The store is bounded as browsers bound theirs: a cookie whose name and value
// together pass 4096 bytes is refused; a site (its registrable domain, or its
// address) keeps at most 50 cookies and the store 1,000, the one set longest ago
// going first when a new one comes; and the Cookie header sent is never longer
// than 8 kB.
// Storing a cookie costs O(log n).
#include "text/text.hpp"

#include <cstddef>
#include <vector>

constexpr std::size_t cookie_size_limit = 4096; // name and value together
constexpr std::size_t cookies_per_site_limit = 50;
constexpr std::size_t cookies_in_all_limit = 1000;
constexpr std::size_t cookie_header_limit = 8192; // the whole "Cookie: ..." line

// A request as the store sees it: host (any letter case, no port), the path
// without query, and whether the connection is https.
struct CookieSite {
    Text host;
    Text path;
    bool https = false;
};

// Stores the cookies of the values of a response's Set-Cookie lines. Refused: a
// value holding CR, LF or NUL, a Secure cookie from http, and a Domain that is
// not the host or a registrable domain above it (public suffixes are refused).
void store_cookies(const CookieSite& site, const std::vector<Text>& set_cookie_values);

// The Cookie header value for a request to the site: "name=value; name=value",
// longer paths first, or empty. Secure cookies go over https only. A cookie
// that would take the value past `room` bytes is left out (the default keeps
// the header line within cookie_header_limit).
Text cookies_for(const CookieSite& site,
                 std::size_t room = cookie_header_limit - sizeof("Cookie: ") + 1);

// How many cookies the store holds.
std::size_t stored_cookie_count();

// Forgets every stored cookie.
void clear_cookie_store();
