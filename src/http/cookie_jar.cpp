#include "http/cookie_jar.hpp"

#include <curl/curl.h>
#include <libpsl.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace {

struct Cookie {
    Text name;
    Text value;
    Text domain; // lower-case, no leading dot
    bool host_only = true;
    Text path;
    bool secure = false;
    std::optional<std::time_t> expires; // none: kept for the life of the process
    std::uint64_t created = 0;          // the order cookies of one path length are sent in
    std::uint64_t stamp = 0;            // when last set: the one set longest ago goes first
    Text site;                          // what the per-site bound counts under
};

// An attribute value longer than this is ignored, as browsers do.
constexpr std::size_t attribute_limit = 1024;

// A stored cookie is found by its domain, path and name; each is also listed by
// when it was last set, in the whole store and under its site, so that the one
// set longest ago is found at once.
using CookieKey = std::tuple<Text, Text, Text>;
using Cookies = std::map<CookieKey, Cookie>;
using ByAge = std::map<std::uint64_t, Cookies::iterator>;

class Store {
  public:
    Cookies cookies;

    void erase(Cookies::iterator entry) {
        unlist(entry);
        cookies.erase(entry);
    }

    // A cookie set again keeps its creation (its place among the cookies sent)
    // and counts as the newest.
    void replace(Cookies::iterator entry, Cookie cookie) {
        unlist(entry);
        cookie.created = entry->second.created;
        entry->second = std::move(cookie);
        list(entry);
    }

    void add(Cookie cookie) {
        cookie.created = ++counter_;
        CookieKey key{cookie.domain, cookie.path, cookie.name};
        auto entry = cookies.emplace(std::move(key), std::move(cookie)).first;
        list(entry);
        const ByAge& site = by_site_[entry->second.site];
        if (site.size() > cookies_per_site_limit)
            erase(site.begin()->second);
        if (cookies.size() > cookies_in_all_limit)
            erase(by_age_.begin()->second);
    }

    void clear() {
        by_site_.clear();
        by_age_.clear();
        cookies.clear();
    }

  private:
    void list(Cookies::iterator entry) {
        Cookie& c = entry->second;
        c.stamp = ++counter_;
        by_age_.emplace(c.stamp, entry);
        by_site_[c.site].emplace(c.stamp, entry);
    }
    void unlist(Cookies::iterator entry) {
        const Cookie& c = entry->second;
        by_age_.erase(c.stamp);
        auto site = by_site_.find(c.site);
        site->second.erase(c.stamp);
        if (site->second.empty())
            by_site_.erase(site);
    }

    ByAge by_age_;
    std::map<Text, ByAge> by_site_;
    std::uint64_t counter_ = 0;
};

std::mutex store_mutex;
Store store;

bool is_ip_address(const Text& host) {
    return host.find(':') != Text::npos || std::all_of(host.begin(), host.end(), [](char c) {
               return c == '.' || (c >= '0' && c <= '9');
           });
}

bool ends_with(const Text& text, const Text& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool domain_matches(const Text& host, const Text& domain) {
    return host == domain || (ends_with(host, "." + domain) && !is_ip_address(host));
}

// The public suffix list (the newest of the system's copy and the library's own),
// loaded once; null when neither is available.
const psl_ctx_t* public_suffixes() {
    static const psl_ctx_t* list = psl_latest(nullptr);
    return list;
}

bool is_public_suffix(const Text& domain) {
    const psl_ctx_t* list = public_suffixes();
    return list ? psl_is_public_suffix2(list, domain.c_str(), PSL_TYPE_ANY) != 0
                : domain.find('.') == Text::npos;
}

// A Domain attribute must name the host itself or a registrable domain above it,
// never a public suffix such as "com" or "co.uk".
bool acceptable_domain(const Text& host, const Text& domain) {
    if (!domain_matches(host, domain))
        return false;
    if (domain == host)
        return true;
    const psl_ctx_t* list = public_suffixes();
    return list ? psl_is_cookie_domain_acceptable(list, host.c_str(), domain.c_str()) != 0
                : domain.find('.') != Text::npos;
}

// The site a cookie counts under: the registrable domain of its domain (so
// that sub-domains share one allowance), or the domain itself when it has none
// (an address, a public suffix).
Text site_of(const Text& domain) {
    const psl_ctx_t* list = public_suffixes();
    if (!list || is_ip_address(domain))
        return domain;
    const char* registrable = psl_registrable_domain(list, domain.c_str());
    return registrable ? Text(registrable) : domain;
}

bool holds_line_break(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool path_matches(const Text& request_path, const Text& cookie_path) {
    if (request_path == cookie_path)
        return true;
    return request_path.compare(0, cookie_path.size(), cookie_path) == 0 &&
           (cookie_path.back() == '/' || request_path[cookie_path.size()] == '/');
}

// The folder of the request path: up to, not including, its last "/".
Text default_path(const Text& request_path) {
    if (request_path.empty() || request_path[0] != '/')
        return "/";
    std::size_t last = request_path.rfind('/');
    return last == 0 ? Text("/") : request_path.substr(0, last);
}

std::optional<Cookie> parse_set_cookie(const CookieSite& site, const Text& host, const Text& line,
                                       std::time_t now) {
    std::vector<Text> parts = split_text(line, ";");
    if (parts.empty() || holds_line_break(line))
        return std::nullopt;
    std::size_t equals = parts[0].find('=');
    if (equals == Text::npos)
        return std::nullopt;
    Cookie cookie;
    cookie.name = trim_blanks(std::string_view(parts[0]).substr(0, equals));
    cookie.value = trim_blanks(std::string_view(parts[0]).substr(equals + 1));
    if (cookie.name.empty() || cookie.name.size() + cookie.value.size() > cookie_size_limit)
        return std::nullopt;
    cookie.domain = host;
    cookie.path = default_path(site.path);

    std::optional<std::time_t> max_age_expiry;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::size_t eq = parts[i].find('=');
        Text key = lower_ascii(trim_blanks(std::string_view(parts[i]).substr(0, eq)));
        Text value =
            eq == Text::npos ? Text() : trim_blanks(std::string_view(parts[i]).substr(eq + 1));
        if (value.size() > attribute_limit)
            continue;
        if (key == "expires") {
            std::time_t when = curl_getdate(value.c_str(), nullptr);
            if (when != -1)
                cookie.expires = when;
        } else if (key == "max-age") {
            const bool negative = !value.empty() && value[0] == '-';
            const std::string_view digits = std::string_view(value).substr(negative ? 1 : 0);
            if (digits.empty() || !std::all_of(digits.begin(), digits.end(),
                                               [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            long long seconds = digits.size() > 12 ? 999999999999LL : std::stoll(Text(digits));
            max_age_expiry = negative || seconds == 0 ? now - 1 : now + std::time_t(seconds);
        } else if (key == "domain" && !value.empty()) {
            Text domain = lower_ascii(value[0] == '.' ? value.substr(1) : value);
            // A domain cookie must belong to the host that sets it, and must not
            // cover a public suffix; a host that is one keeps its cookie to itself.
            if (domain.empty() || !acceptable_domain(host, domain))
                return std::nullopt;
            cookie.domain = domain;
            cookie.host_only = domain == host && (is_ip_address(host) || is_public_suffix(host));
        } else if (key == "path" && !value.empty() && value[0] == '/') {
            cookie.path = value;
        } else if (key == "secure") {
            cookie.secure = true;
        }
    }
    // A cookie meant for https only is never taken from an http answer.
    if (cookie.secure && !site.https)
        return std::nullopt;
    if (max_age_expiry)
        cookie.expires = max_age_expiry;
    cookie.site = site_of(cookie.domain);
    return cookie;
}

} // namespace

void store_cookies(const CookieSite& site, const std::vector<Text>& set_cookie_values) {
    const Text host = lower_ascii(site.host);
    const std::time_t now = std::time(nullptr);
    std::lock_guard lock(store_mutex);
    for (const Text& line : set_cookie_values) {
        std::optional<Cookie> cookie = parse_set_cookie(site, host, line, now);
        if (!cookie)
            continue;
        auto same = store.cookies.find({cookie->domain, cookie->path, cookie->name});
        const bool expired = cookie->expires && *cookie->expires <= now;
        if (same != store.cookies.end()) {
            if (expired) {
                store.erase(same);
            } else {
                store.replace(same, std::move(*cookie));
            }
        } else if (!expired) {
            store.add(std::move(*cookie));
        }
    }
}

Text cookies_for(const CookieSite& site, std::size_t room) {
    const Text host = lower_ascii(site.host);
    const Text path = site.path.empty() ? Text("/") : site.path;
    const std::time_t now = std::time(nullptr);
    std::lock_guard lock(store_mutex);

    std::vector<const Cookie*> chosen;
    for (auto entry = store.cookies.begin(); entry != store.cookies.end();) {
        const Cookie& c = entry->second;
        if (c.expires && *c.expires <= now) {
            store.erase(entry++);
            continue;
        }
        ++entry;
        const bool host_ok = c.host_only ? host == c.domain : domain_matches(host, c.domain);
        if (host_ok && path_matches(path, c.path) && (site.https || !c.secure))
            chosen.push_back(&c);
    }
    std::sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
        if (a->path.size() != b->path.size())
            return a->path.size() > b->path.size();
        return a->created < b->created;
    });

    Text line;
    for (const Cookie* c : chosen) {
        const std::size_t adds = (line.empty() ? 0 : 2) + c->name.size() + 1 + c->value.size();
        if (line.size() + adds <= room)
            line += (line.empty() ? "" : "; ") + c->name + "=" + c->value;
    }
    return line;
}

std::size_t stored_cookie_count() {
    std::lock_guard lock(store_mutex);
    return store.cookies.size();
}

void clear_cookie_store() {
    std::lock_guard lock(store_mutex);
    store.clear();
}
