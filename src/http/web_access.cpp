#include "http/web_access.hpp"

#include "http/cookie_jar.hpp"
#include "http/cookie_merging.hpp"
#include "http/request_headers.hpp"
#include "http/url_splitting.hpp"
#include "curl/curl_cancel.hpp"
#include "curl/curl_stall.hpp"

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

// The body comes from the transport in pieces of at most this many bytes, each
// appended in order.
constexpr long read_chunk_size = 1024;
// A longer body is no page of ours: the request gives up, as on any failure.
constexpr std::size_t default_body_limit = 64 * 1024 * 1024;

enum Verb { verb_get = 0, verb_post = 1, verb_head = 2, verb_put = 3 };
constexpr std::array<const char*, 8> verbs = {"GET",     "POST",   "HEAD",  "PUT",
                                              "OPTIONS", "DELETE", "TRACE", "CONNECT"};

const Text default_user_agent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

std::atomic<long> connect_timeout_ms{30000};
std::atomic<long> stall_timeout_s{60};
std::atomic<long> slow_bytes{1024};
std::atomic<long> slow_time_s{60};
std::atomic<long> total_ms{120000};
std::atomic<int> redirect_limit{10};
thread_local const std::atomic<bool>* cancel_flag = nullptr;

// Name lookups, TLS sessions and open connections shared by the requests of one
// thread, so that a run of requests to one host reuses its connection. Each
// thread has a share of its own: libcurl cannot share connections between
// threads whose requests run at the same time (the query's workers do).
class ThreadShare {
  public:
    ThreadShare() {
        static std::once_flag curl_ready;
        std::call_once(curl_ready, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        share_ = curl_share_init();
        if (share_) {
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
            curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        }
    }
    ~ThreadShare() {
        if (share_)
            curl_share_cleanup(share_);
    }
    ThreadShare(const ThreadShare&) = delete;
    ThreadShare& operator=(const ThreadShare&) = delete;
    CURLSH* get() const { return share_; }

  private:
    CURLSH* share_ = nullptr;
};

CURLSH* thread_share() {
    thread_local ThreadShare share;
    return share.get();
}

struct EasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Easy = std::unique_ptr<CURL, EasyCleanup>;
using HeaderList = std::unique_ptr<curl_slist, ListCleanup>;

bool usable_host(const Text& host) {
    if (host.empty())
        return false;
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

// The name of a header line (before its ":"), trimmed; empty without a colon.
Text line_name(std::string_view line) {
    std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? Text() : trim_spaces(line.substr(0, colon));
}

bool holds_line_break(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The items of a cookie text that hold no CR, LF or NUL: a cookie can never add
// a line of its own to the request.
Text cookies_on_one_line(const Text& cookies) {
    if (!holds_line_break(cookies))
        return cookies;
    Text kept;
    for (const Text& item : split_text(cookies, "; "))
        if (!holds_line_break(item))
            kept += (kept.empty() ? "" : "; ") + item;
    return kept;
}

bool has_line_named(const std::vector<Text>& lines, std::string_view name) {
    for (const Text& line : lines)
        if (equals_ignore_case(line_name(line), name))
            return true;
    return false;
}

// Adds cookies to the Cookie line of a CRLF header text when it has one, else as
// a Cookie line of their own at the end.
void add_cookies(Text& headers, const Text& cookies) {
    std::size_t from = 0;
    while (from <= headers.size()) {
        std::size_t end = headers.find("\r\n", from);
        if (end == Text::npos)
            end = headers.size();
        std::string_view line = std::string_view(headers).substr(from, end - from);
        if (equals_ignore_case(line_name(line), "Cookie")) {
            std::size_t colon = line.find(':');
            Text value = trim_spaces(line.substr(colon + 1));
            if (!value.empty())
                value += value.back() == ';' ? " " : "; ";
            headers.replace(from, end - from, Text(line.substr(0, colon)) + ": " + value + cookies);
            return;
        }
        from = end + 2;
    }
    headers += "\r\nCookie: " + cookies;
}

// What the Cookie line leaves for stored cookies within the header limit, after
// the caller's own cookies on it.
std::size_t stored_cookie_room(const Text& headers) {
    std::size_t used = sizeof("Cookie: ") - 1;
    for (const Text& line : split_text(headers, "\r\n")) {
        if (!equals_ignore_case(line_name(line), "Cookie"))
            continue;
        const std::size_t own =
            trim_spaces(std::string_view(line).substr(line.find(':') + 1)).size();
        used += own == 0 ? 0 : own + 2;
        break;
    }
    return used >= cookie_header_limit ? 0 : cookie_header_limit - used;
}

Text choose_agent(const Text& headers) {
    if (!contains_text(headers, "User-Agent:", true))
        return default_user_agent;
    Text agent = trim_spaces(text_between(headers + "\r\n", "User-Agent:", "\r\n"));
    if (agent.empty())
        agent = text_after_colon(headers);
    // The agent is one header value: it never runs on into another line.
    std::size_t line_end = agent.find_first_of("\r\n");
    if (line_end != Text::npos)
        agent = trim_spaces(std::string_view(agent).substr(0, line_end));
    return agent;
}

void complete_header_text(Text& headers, const Text& address, int verb) {
    if (headers.empty())
        headers = "Accept: */*";
    if (!contains_text(headers, "Accept:", true))
        headers += "\r\nAccept: */*";
    if (!contains_text(headers, "Referer:", true))
        headers += "\r\nReferer: " + address;
    if (!contains_text(headers, "Accept-Language:", true))
        headers += "\r\nAccept-Language: zh-cn";
    if (verb == verb_post && !contains_text(headers, "Content-Type:", true))
        headers += "\r\nContent-Type: application/x-www-form-urlencoded";
}

// The header lines of a raw response block, bare LF line ends tolerated.
std::vector<Text> block_lines(const Text& block) {
    std::vector<Text> lines = split_text(block, "\n");
    for (Text& line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return lines;
}

std::vector<Text> set_cookie_values(const Text& block) {
    std::vector<Text> values;
    for (const Text& line : block_lines(block))
        if (equals_ignore_case(line_name(line), "Set-Cookie"))
            values.push_back(trim_spaces(std::string_view(line).substr(line.find(':') + 1)));
    return values;
}

// The name=value part of each Set-Cookie line, joined by "; ".
Text received_cookie_text(const Text& block) {
    Text result;
    for (const Text& line : split_text(block, "\r\n")) {
        if (text_before(line, ": ") != "Set-Cookie")
            continue;
        Text value = contains_text(line, ";") ? text_between(line, "Set-Cookie:", ";")
                                              : replace_all(line, "Set-Cookie:", "");
        if (holds_line_break(value)) // a bare CR inside the line
            continue;
        result += trim_spaces(value) + "; ";
    }
    if (!result.empty())
        result.resize(result.size() - 2);
    return result;
}

struct Response {
    Bytes body;
    Text headers; // raw block of the latest response, status line first, CRLF line ends
    CurlStall* stall = nullptr;
    std::size_t limit = default_body_limit;
    bool failed = false;   // the body went over the limit, or memory ran out
    bool too_long = false; // the body went over the limit
    AccessReport report;
};

AccessFailure failure_of(CURLcode result, bool deadline_passed) {
    switch (result) {
    case CURLE_OK:
        return AccessFailure::none;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return AccessFailure::bad_address;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
        return AccessFailure::cannot_connect;
    case CURLE_OPERATION_TIMEDOUT:
        return deadline_passed ? AccessFailure::timed_out : AccessFailure::too_slow;
    case CURLE_ABORTED_BY_CALLBACK: // the stall watch, or the cancel flag
        return cancel_flag && *cancel_flag ? AccessFailure::cancelled : AccessFailure::timed_out;
    case CURLE_FILESIZE_EXCEEDED:
        return AccessFailure::too_large;
    default:
        return AccessFailure::broken;
    }
}

// The transfer's callbacks hand libcurl a short count instead of letting an
// exception run through its frames; the transfer then ends with an error.
std::size_t take_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* response = static_cast<Response*>(user);
    response->stall->saw_data();
    const std::size_t n = size * count;
    try {
        if (response->body.size() + n > response->limit) {
            response->too_long = true;
            throw std::length_error("body too long");
        }
        response->body.insert(response->body.end(), data, data + n);
    } catch (const std::exception&) {
        response->failed = true;
        return n == 0 ? 1 : 0;
    }
    return n;
}

std::size_t take_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* response = static_cast<Response*>(user);
    response->stall->saw_data();
    const std::size_t n = size * count;
    std::string_view line(data, n);
    try {
        if (line.starts_with("HTTP/")) // a new response (after an interim 1xx one)
            response->headers.clear();
        // A line that ends in a bare LF is kept with CRLF, as every line of the block.
        if (line.ends_with('\n') && !line.ends_with("\r\n"))
            response->headers.append(line.substr(0, line.size() - 1)).append("\r\n");
        else
            response->headers.append(line);
    } catch (const std::exception&) {
        response->failed = true;
        return n == 0 ? 1 : 0;
    }
    return n;
}

struct Place {
    Text scheme;
    Text host;
    Text port;
    Text path;

    bool same_origin(const Place& other) const {
        return scheme == other.scheme && host == other.host && port == other.port;
    }
    bool web() const { return scheme == "http" || scheme == "https"; }
};

bool locate(const Text& url, Place& place) {
    std::unique_ptr<CURLU, UrlCleanup> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    auto part = [&](CURLUPart which, Text& out, unsigned int flags = 0) {
        char* value = nullptr;
        if (curl_url_get(parsed.get(), which, &value, flags) != CURLUE_OK)
            return false;
        out = value;
        curl_free(value);
        return true;
    };
    if (!part(CURLUPART_SCHEME, place.scheme) || !part(CURLUPART_HOST, place.host) ||
        !part(CURLUPART_PORT, place.port, CURLU_DEFAULT_PORT) ||
        !part(CURLUPART_PATH, place.path))
        return false;
    place.scheme = lower_ascii(place.scheme);
    place.host = lower_ascii(place.host);
    return true;
}

struct Plan {
    Text url;
    int verb = verb_get;
    const Bytes* body = nullptr;
    Text headers; // the final header text
    Text http_proxy;
    Text https_proxy;
    std::size_t body_limit = default_body_limit;
    bool use_cookie_store = false;
    bool follow_redirects = true;
};

bool sends_body(int verb, const Bytes& body) {
    return verb != verb_get && verb != verb_head &&
           (!body.empty() || verb == verb_post || verb == verb_put);
}

// The lines handed to the transport: the header text's own lines in order (the
// agent goes out on its own line right after Host), then the stored cookies, and
// empty entries that keep the transport from adding headers of its own.
HeaderList wire_headers(const Plan& plan, int verb, bool other_origin,
                        const Text& stored_cookies, bool through_proxy) {
    Text text;
    for (const Text& line : split_text(plan.headers, "\r\n")) {
        const Text name = line_name(line);
        // A line holding a bare CR or LF would go out as more than one line.
        if (name.empty() || equals_ignore_case(name, "User-Agent") || holds_line_break(line))
            continue;
        // The caller's credentials stay with the scheme, host and port they were
        // written for: never sent in the clear after a redirect from https.
        if (other_origin &&
            (equals_ignore_case(name, "Cookie") || equals_ignore_case(name, "Authorization")))
            continue;
        text += (text.empty() ? "" : "\r\n") + line;
    }
    if (!stored_cookies.empty())
        add_cookies(text, stored_cookies);

    std::vector<Text> lines;
    for (const Text& line : split_text(text, "\r\n")) {
        if (line_name(line).empty())
            continue;
        const std::size_t colon = line.find(':');
        if (trim_spaces(std::string_view(line).substr(colon + 1)).empty())
            lines.push_back(line.substr(0, colon) + ";"); // goes out as "Name:"
        else
            lines.push_back(line);
    }

    std::vector<Text> suppressed;
    if (!has_line_named(lines, "Accept"))
        suppressed.push_back("Accept:");
    if (!has_line_named(lines, "Expect"))
        suppressed.push_back("Expect:");
    if (sends_body(verb, *plan.body) && !has_line_named(lines, "Content-Type"))
        suppressed.push_back("Content-Type:");
    if (through_proxy && !has_line_named(lines, "Proxy-Connection"))
        suppressed.push_back("Proxy-Connection:");

    curl_slist* list = nullptr;
    for (const auto* group : {&lines, &suppressed}) {
        for (const Text& line : *group) {
            curl_slist* longer = curl_slist_append(list, line.c_str());
            if (!longer) {
                curl_slist_free_all(list);
                return nullptr;
            }
            list = longer;
        }
    }
    return HeaderList(list);
}

void set_verb(CURL* curl, int verb, const Bytes& body, std::size_t body_limit) {
    static const char no_bytes[] = "";
    // A declared length over the limit ends the transfer before the body comes;
    // a HEAD answer names a length but brings no body.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     curl_off_t(verb == verb_head ? 0 : body_limit));
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, static_cast<char*>(nullptr));
    if (verb == verb_head) {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (sends_body(verb, body)) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS,
                         body.empty() ? no_bytes : reinterpret_cast<const char*>(body.data()));
        if (verb != verb_post)
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, verbs[std::size_t(verb)]);
    } else if (verb != verb_get) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, verbs[std::size_t(verb)]);
    }
}

bool is_redirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Runs the request and, unless told not to, the redirects it leads to; the
// result is the last response.
Response perform(CURL* curl, const Plan& plan) {
    Response response;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, take_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response);
    CurlStall stall{std::chrono::seconds(stall_timeout_s.load())};
    CurlStall::watch(curl, &stall);

    Text url = plan.url;
    int verb = plan.verb;
    Place first;
    Place place;
    if (!locate(url, place)) {
        response.report.failure = AccessFailure::bad_address;
        return response;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(total_ms.load());
    for (int hop = 0;; ++hop) {
        response = Response();
        response.stall = &stall;
        response.limit = plan.body_limit;
        stall.saw_data(); // each hop has the whole stall time, but not the whole total
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            response.report.failure = AccessFailure::timed_out;
            break;
        }
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(left.count()));
        if (hop == 0)
            first = place;
        const bool https = place.scheme == "https";
        const CookieSite site{place.host, place.path, https};
        const Text& proxy = https ? plan.https_proxy : plan.http_proxy;

        HeaderList headers = wire_headers(
            plan, verb, !place.same_origin(first),
            plan.use_cookie_store ? cookies_for(site, stored_cookie_room(plan.headers)) : Text(),
            !proxy.empty() && !https);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
        set_verb(curl, verb, *plan.body, plan.body_limit);

        CURLcode result =
            cancel_flag ? perform_cancellable(curl, *cancel_flag) : curl_easy_perform(curl);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        response.report.status = status;
        // libcurl's own clock may end the request a little before ours says so.
        const bool deadline_passed = Clock::now() + std::chrono::milliseconds(100) >= deadline;
        response.report.failure = failure_of(result, deadline_passed);
        if (result == CURLE_FILESIZE_EXCEEDED || (response.failed && result == CURLE_WRITE_ERROR))
            response.report.failure = AccessFailure::too_large;
        if (result == CURLE_FILESIZE_EXCEEDED)
            response.failed = response.too_long = true;
        if (response.failed)
            break;
        if (plan.use_cookie_store)
            store_cookies(site, set_cookie_values(response.headers));
        if (result != CURLE_OK || !plan.follow_redirects)
            break;

        char* next = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &next);
        if (!is_redirect(status) || !next)
            break;
        // A Location that is no http or https address: the redirect answer itself
        // is the result.
        Text next_url = percent_encode_unsafe(next);
        Place next_place;
        if (!locate(next_url, next_place) || !next_place.web())
            break;
        if (hop >= redirect_limit.load()) {
            response.failed = true;
            response.report.failure = AccessFailure::too_many_redirects;
            break;
        }
        if ((status == 303 && verb != verb_head) ||
            ((status == 301 || status == 302) && verb == verb_post))
            verb = verb_get;
        url = std::move(next_url);
        place = std::move(next_place);
    }
    if (response.failed) {
        const AccessReport report = response.report;
        const bool too_long = response.too_long;
        response = Response();
        response.report = report;
        response.too_long = too_long;
    }
    response.stall = nullptr;
    return response;
}

void set_common_options(CURL* curl, const Text& agent) {
    curl_easy_setopt(curl, CURLOPT_SHARE, thread_share());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.empty() ? nullptr : agent.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // Certificate problems (authority, name, dates) never stop a request.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_PROXY_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_PROXY_SSL_VERIFYHOST, 0L);
    // The body as the server sent it.
    curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, read_chunk_size);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms.load());
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, slow_bytes.load());
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, slow_time_s.load());
}

// web_access with the longest body it accepts; `too_long` (when given) tells
// whether the body went over it, `report` (when given) why the request failed.
Bytes run_request(const Text& address, std::optional<int> method, std::optional<Text> body_text,
                  Text* send_cookies, Text* received_cookies, Text* request_headers,
                  Text* response_headers, std::optional<bool> no_redirect, Bytes* body_bytes,
                  std::optional<Text> proxy, std::optional<bool> auto_merge_cookies,
                  std::optional<bool> complete_headers, std::optional<bool> normalise_headers,
                  std::size_t body_limit, bool* too_long, AccessReport* report) {
    Text own_headers;
    Bytes own_body;
    Text& headers = request_headers ? *request_headers : own_headers;
    Bytes& body = body_bytes ? *body_bytes : own_body;
    const bool merge = auto_merge_cookies.value_or(true);
    const Text proxy_text = proxy.value_or(Text());

    if (normalise_headers.value_or(true))
        headers = normalise_header_names(headers);
    int verb = method.value_or(verb_get);
    if (verb < 0 || verb > 7)
        verb = verb_get;
    const bool is_https = lower_ascii(left_bytes(address, 8)) == "https://";
    const Text agent = choose_agent(headers);

    Easy curl(thread_share() ? curl_easy_init() : nullptr);
    if (!curl) {
        if (report)
            report->failure = AccessFailure::broken;
        return {};
    }
    const Text host = url_host(address);
    const int port = url_port(address);
    const Text path = url_path(address);

    if (complete_headers.value_or(true))
        complete_header_text(headers, address, verb);
    if (const Text cookies = send_cookies ? cookies_on_one_line(*send_cookies) : Text();
        !cookies.empty())
        add_cookies(headers, cookies);
    if (verb != verb_get && body.empty())
        body = text_to_bytes(body_text.value_or(Text()));

    Response response;
    response.report.failure = AccessFailure::bad_address;
    // A host or port that no server can have fails like an unreachable one, and
    // so does an address holding CR, LF or NUL (it would end the Referer line).
    if (!holds_line_break(address) && usable_host(host) && port >= 0 && port <= 65535) {
        Plan plan;
        plan.url = Text(is_https ? "https://" : "http://") + host +
                   (port == 0 ? Text() : ":" + std::to_string(port)) + percent_encode_unsafe(path);
        plan.verb = verb;
        plan.body = &body;
        plan.headers = headers;
        // An https address goes through the proxy whatever it redirects to; an
        // http address uses it for http only.
        plan.http_proxy = proxy_text;
        plan.https_proxy = is_https ? proxy_text : Text();
        plan.body_limit = body_limit;
        plan.use_cookie_store = send_cookies == nullptr;
        plan.follow_redirects = !no_redirect.value_or(false);
        set_common_options(curl.get(), agent);
        response = perform(curl.get(), plan);
    }

    if (report)
        *report = response.report;
    if (response_headers)
        *response_headers = response.headers;
    Text received = received_cookie_text(response.headers);
    if (merge && send_cookies)
        received = merge_cookies(*send_cookies, received);
    if (received_cookies)
        *received_cookies = received;
    if (too_long)
        *too_long = response.too_long;
    return std::move(response.body);
}

} // namespace

Bytes web_access(const Text& address, std::optional<int> method, std::optional<Text> body_text,
                 Text* send_cookies, Text* received_cookies, Text* request_headers,
                 Text* response_headers, std::optional<bool> no_redirect, Bytes* body_bytes,
                 std::optional<Text> proxy, std::optional<bool> auto_merge_cookies,
                 std::optional<bool> complete_headers, std::optional<bool> normalise_headers) {
    return run_request(address, method, std::move(body_text), send_cookies, received_cookies,
                       request_headers, response_headers, no_redirect, body_bytes, std::move(proxy),
                       auto_merge_cookies, complete_headers, normalise_headers, default_body_limit,
                       nullptr, nullptr);
}

Bytes web_access_reported(const Text& address, AccessReport& report) {
    report = AccessReport();
    return run_request(address, std::nullopt, std::nullopt, nullptr, nullptr, nullptr, nullptr,
                       std::nullopt, nullptr, std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt, default_body_limit, nullptr, &report);
}

Bytes web_access_capped(const Text& address, std::size_t limit, bool& too_long) {
    return run_request(address, 0, std::nullopt, nullptr, nullptr, nullptr, nullptr, std::nullopt,
                       nullptr, std::nullopt, std::nullopt, std::nullopt, std::nullopt, limit,
                       &too_long, nullptr);
}

const Text& program_user_agent() {
    return default_user_agent;
}

Text web_access_text(const Text& address) {
    return bytes_to_text(web_access(address));
}

void set_web_access_timeouts(std::chrono::milliseconds connect, std::chrono::seconds stall) {
    connect_timeout_ms = long(connect.count());
    stall_timeout_s = long(stall.count() < 1 ? 1 : stall.count());
}

void set_web_access_limits(const WebAccessLimits& limits) {
    slow_bytes = limits.slow_bytes;
    slow_time_s = long(limits.slow_time.count());
    total_ms = long(limits.total.count());
    redirect_limit = limits.redirects;
}

void set_request_cancel_flag(const std::atomic<bool>* flag) {
    cancel_flag = flag;
}
