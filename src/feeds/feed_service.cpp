#include "feeds/feed_service.hpp"

#include "feeds/byte_ranges.hpp"
#include "feeds/feed_xml.hpp"
#include "feeds/request_target.hpp"
#include "session/library.hpp"
#include "text/gbk.hpp"
#include "files/files.hpp"

#include <QNetworkInterface>

#include <microhttpd.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace fs = std::filesystem;

struct FeedService::Shared {
    mutable std::mutex mutex;
    FeedPlaces places;
    std::string token;
    std::function<void(const std::string&)> log;
    FileLengths lengths;

    std::pair<FeedPlaces, std::string> now() const {
        const std::lock_guard lock(mutex);
        return {places, token};
    }
    void say(const std::string& line) const {
        std::function<void(const std::string&)> to;
        std::string token_now;
        {
            const std::lock_guard lock(mutex);
            to = log;
            token_now = token;
        }
        if (!to)
            return;
        std::string clean = line;
        for (std::size_t at; !token_now.empty() && (at = clean.find(token_now)) != std::string::npos;)
            clean.replace(at, token_now.size(), "…");
        to(clean);
    }
};

// What one listening socket's answers need: the service's state, and the
// address to name when a request carries no Host.
struct FeedService::Listener {
    std::shared_ptr<FeedService::Shared> shared;
    std::string host;
};

namespace {

using Listener = FeedService::Listener;

const char not_found_body[] = "Not Found\n";

// A Host header fit to build addresses from: a name or address with an
// optional port, nothing else.
bool plain_host(std::string_view host) {
    if (host.empty() || host.size() > 255)
        return false;
    for (const char c : host) {
        const bool fits = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':' ||
                          c == '[' || c == ']';
        if (!fits)
            return false;
    }
    return true;
}

std::string header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? value : "";
}

MHD_Result queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result answer_text(MHD_Connection* connection, unsigned status, const std::string& body,
                       const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    return queue(connection, status, response);
}

MHD_Result not_found(MHD_Connection* connection) {
    return answer_text(connection, MHD_HTTP_NOT_FOUND, not_found_body, "text/plain; charset=utf-8");
}

const char* picture_type(int fd) {
    unsigned char head[4] = {};
    if (pread(fd, head, sizeof head, 0) < 4)
        return "application/octet-stream";
    if (head[0] == 0xFF && head[1] == 0xD8)
        return "image/jpeg";
    if (head[0] == 0x89 && head[1] == 'P')
        return "image/png";
    if (head[0] == 'G' && head[1] == 'I' && head[2] == 'F')
        return "image/gif";
    return "application/octet-stream";
}

// A file's answer: the whole file, the one range asked for, 304 when the
// client's copy is current, 416 for a range past the end.
MHD_Result answer_file(MHD_Connection* connection, const fs::path& path, bool audio,
                       unsigned& status) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            close(fd);
        status = MHD_HTTP_NOT_FOUND;
        return not_found(connection);
    }
    const std::int64_t size = info.st_size;
    char etag[64];
    std::snprintf(etag, sizeof etag, "\"%llx-%llx\"", static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
                      static_cast<unsigned long long>(info.st_mtim.tv_nsec));
    const std::string modified = http_date(info.st_mtim.tv_sec);
    const char* type = audio ? "audio/mpeg" : picture_type(fd);

    const std::string if_none_match = header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH);
    const std::string if_modified = header(connection, MHD_HTTP_HEADER_IF_MODIFIED_SINCE);
    const bool current = if_none_match.empty()
                             ? !if_modified.empty() && if_modified == modified
                             : if_none_match == etag || if_none_match == "*";
    MHD_Response* response = nullptr;
    ByteRange range;
    RangeAnswer asked = RangeAnswer::whole;
    const std::string if_range = header(connection, MHD_HTTP_HEADER_IF_RANGE);
    if (!current && (if_range.empty() || if_range == etag || if_range == modified))
        asked = byte_range(header(connection, MHD_HTTP_HEADER_RANGE), size, range);
    if (current) {
        close(fd);
        response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        status = MHD_HTTP_NOT_MODIFIED;
    } else if (asked == RangeAnswer::unsatisfiable) {
        close(fd);
        response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        status = MHD_HTTP_RANGE_NOT_SATISFIABLE;
        const std::string content_range = "bytes */" + std::to_string(size);
        if (response)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE, content_range.c_str());
    } else if (asked == RangeAnswer::part) {
        response = MHD_create_response_from_fd_at_offset64(
            std::uint64_t(range.last - range.first + 1), fd, std::uint64_t(range.first));
        status = MHD_HTTP_PARTIAL_CONTENT;
        const std::string content_range = "bytes " + std::to_string(range.first) + "-" +
                                          std::to_string(range.last) + "/" + std::to_string(size);
        if (response)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE, content_range.c_str());
    } else {
        response = MHD_create_response_from_fd64(std::uint64_t(size), fd);
        status = MHD_HTTP_OK;
    }
    if (!response) {
        close(fd);
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
    MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, etag);
    MHD_add_response_header(response, MHD_HTTP_HEADER_LAST_MODIFIED, modified.c_str());
    if (status != MHD_HTTP_NOT_MODIFIED && status != MHD_HTTP_RANGE_NOT_SATISFIABLE)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return queue(connection, status, response);
}

MHD_Result answer_request(const Listener& listener, MHD_Connection* connection, const char* url,
                          const char* method, unsigned& status) {
    const std::string_view verb = method;
    if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD) {
        status = MHD_HTTP_METHOD_NOT_ALLOWED;
        MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        return queue(connection, status, response);
    }
    const auto [places, token] = listener.shared->now();
    const std::optional<FeedRequest> request = parse_request_target(url, token);
    status = MHD_HTTP_NOT_FOUND;
    if (!request)
        return not_found(connection);
    std::string host = header(connection, MHD_HTTP_HEADER_HOST);
    if (!plain_host(host))
        host = listener.host;
    const std::string base = "http://" + host + "/" + token;
    switch (request->kind) {
    case FeedResource::opml:
        status = MHD_HTTP_OK;
        return answer_text(connection, status, opml_list(feed_shelf(places), base),
                           "text/x-opml; charset=utf-8");
    case FeedResource::feed: {
        const std::optional<FeedBook> book =
            read_feed_book(places, request->book, &listener.shared->lengths);
        if (!book)
            return not_found(connection);
        status = MHD_HTTP_OK;
        return answer_text(connection, status, rss_feed(*book, base),
                           "application/rss+xml; charset=utf-8");
    }
    case FeedResource::cover: {
        const Library library(places.library_folder);
        const fs::path kept = library.cover_file(text_path(fs::path(request->book)));
        const std::optional<fs::path> cover = cover_file_of(places.save_folder, request->book, kept);
        if (!cover)
            return not_found(connection);
        return answer_file(connection, *cover, false, status);
    }
    case FeedResource::episode: {
        const std::optional<fs::path> file = episode_file(places.save_folder, *request);
        if (!file)
            return not_found(connection);
        return answer_file(connection, *file, true, status);
    }
    }
    return not_found(connection);
}

MHD_Result on_request(void* cls, MHD_Connection* connection, const char* url, const char* method,
                      const char* /*version*/, const char* /*upload_data*/,
                      std::size_t* upload_data_size, void** request_state) {
    const auto& listener = *static_cast<const Listener*>(cls);
    const std::string_view verb = method;
    const bool readable = verb == MHD_HTTP_METHOD_GET || verb == MHD_HTTP_METHOD_HEAD;
    // GET and HEAD are answered once the whole request is in, so that the
    // connection stays open for the next; anything else at once, and closed.
    static int seen = 0;
    if (readable && *request_state == nullptr) {
        *request_state = &seen;
        return MHD_YES;
    }
    if (readable && *upload_data_size != 0) {
        *upload_data_size = 0; // a body is never read
        return MHD_YES;
    }
    *upload_data_size = 0;
    unsigned status = 0;
    const MHD_Result result = answer_request(listener, connection, url, method, status);
    listener.shared->say(std::string(method) + " " + redacted_target(url) + " " +
                         std::to_string(status));
    return result;
}

// The target as it came: "%2e%2e" and "%00" reach the mapping undecoded.
std::size_t keep_escapes(void*, MHD_Connection*, char* text) {
    return std::strlen(text);
}

void on_trouble(void* cls, const char* format, va_list arguments) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::string text = line;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    static_cast<const FeedService::Shared*>(cls)->say(text);
}

bool home_network(const QHostAddress& address) {
    if (address.isLoopback())
        return true;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 ip = address.toIPv4Address();
        return (ip >> 24) == 10 || (ip >> 20) == (172u << 4 | 1u) || (ip >> 16) == (192u << 8 | 168u) ||
               (ip >> 16) == (169u << 8 | 254u);
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR ip = address.toIPv6Address();
        return (ip[0] & 0xFE) == 0xFC || address.isLinkLocal();
    }
    return false;
}

} // namespace

FeedService::FeedService(FeedPlaces places, std::string token, FeedLimits limits)
    : shared_(std::make_shared<Shared>()), limits_(limits) {
    shared_->places = std::move(places);
    shared_->token = std::move(token);
}

FeedService::~FeedService() {
    stop();
}

void FeedService::set_token(const std::string& token) {
    const std::lock_guard lock(shared_->mutex);
    shared_->token = token;
}

void FeedService::set_places(const FeedPlaces& places) {
    const std::lock_guard lock(shared_->mutex);
    shared_->places = places;
}

void FeedService::set_log(std::function<void(const std::string&)> log) {
    const std::lock_guard lock(shared_->mutex);
    shared_->log = std::move(log);
}

std::vector<std::string> FeedService::listening() const {
    return listening_;
}

namespace {

struct Socket {
    sockaddr_storage address{};
    bool ipv6 = false;
    std::string shown; // "host" or "[host]"
};

std::optional<Socket> socket_address(const QHostAddress& host, std::uint16_t port) {
    Socket socket;
    if (host.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&socket.address);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(host.toIPv4Address());
        socket.shown = host.toString().toStdString();
        return socket;
    }
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&socket.address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR ip = host.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &ip, 16);
        if (host.isLinkLocal())
            in6->sin6_scope_id = unsigned(QNetworkInterface::interfaceIndexFromName(host.scopeId()));
        socket.ipv6 = true;
        QHostAddress bare = host;
        bare.setScopeId({});
        socket.shown = QStringLiteral("[%1]").arg(bare.toString()).toStdString();
        return socket;
    }
    return std::nullopt;
}

} // namespace

bool FeedService::start(std::uint16_t port, const std::vector<QHostAddress>& addresses) {
    stop();
    std::uint16_t chosen = port;
    for (const QHostAddress& host : addresses) {
        std::optional<Socket> socket = socket_address(host, chosen);
        if (!socket)
            continue;
        auto listener = std::make_unique<Listener>(Listener{shared_, {}});
        // The logger first, so that no message goes to stderr unredacted.
        MHD_OptionItem options[] = {
            {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&on_trouble), shared_.get()},
            {MHD_OPTION_SOCK_ADDR, 0, &socket->address},
            {MHD_OPTION_CONNECTION_LIMIT, limits_.connections, nullptr},
            {MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits_.per_address, nullptr},
            {MHD_OPTION_CONNECTION_TIMEOUT, limits_.idle_seconds, nullptr},
            {MHD_OPTION_CONNECTION_MEMORY_LIMIT, intptr_t(limits_.request_bytes), nullptr},
            {MHD_OPTION_THREAD_POOL_SIZE, limits_.threads, nullptr},
            {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&keep_escapes), nullptr},
            {MHD_OPTION_END, 0, nullptr},
        };
        const unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG |
                               (socket->ipv6 ? MHD_USE_IPv6 : 0);
        MHD_Daemon* daemon = MHD_start_daemon(flags, chosen, nullptr, nullptr, &on_request,
                                              listener.get(), MHD_OPTION_ARRAY, options,
                                              MHD_OPTION_END);
        if (!daemon) {
            shared_->say("cannot listen on " + socket->shown + ":" + std::to_string(chosen));
            continue;
        }
        if (chosen == 0) {
            const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
            chosen = info ? info->port : 0;
        }
        listener->host = socket->shown + ":" + std::to_string(chosen);
        listening_.push_back(listener->host);
        daemons_.push_back(daemon);
        listeners_.push_back(std::move(listener));
    }
    port_ = daemons_.empty() ? 0 : chosen;
    return !daemons_.empty();
}

void FeedService::stop() {
    for (MHD_Daemon* daemon : daemons_)
        MHD_stop_daemon(daemon);
    daemons_.clear();
    listeners_.clear();
    listening_.clear();
    port_ = 0;
}

std::vector<QHostAddress> FeedService::home_addresses() {
    std::vector<QHostAddress> addresses;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        if (!(interface.flags() & QNetworkInterface::IsUp) ||
            !(interface.flags() & QNetworkInterface::IsRunning))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (home_network(entry.ip()))
                addresses.push_back(entry.ip());
        }
    }
    return addresses;
}

std::string FeedService::home_host(std::uint16_t port) {
    for (const QHostAddress& address : home_addresses()) {
        if (!address.isLoopback() && address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toString().toStdString() + ":" + std::to_string(port);
    }
    return "127.0.0.1:" + std::to_string(port);
}
