#pragma once
// The process-wide cookie store of the request routine: used by the requests
// whose caller hands in no cookie text of its own. Cookies set by responses are
// kept for the life of the process and sent back to the sites they belong to.
#include "text/text.hpp"

#include <vector>

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
// longer paths first, or empty. Secure cookies go over https only.
Text cookies_for(const CookieSite& site);

// Forgets every stored cookie.
void clear_cookie_store();
