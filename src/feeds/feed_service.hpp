#pragma once
// The podcast feeds on the home network: an HTTP server (libmicrohttpd, its
// own threads) that answers the addresses of request_target.hpp from the disk
// at each request. GET and HEAD only; files with Range, ETag and Last-Modified.
// Its limits keep it up for everyone: a bounded request line and headers, a
// bounded number of connections in all and from one address, and idle
// connections closed, so that no slow or greedy client holds it.
#include "feeds/feed_books.hpp"

#include <QHostAddress>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct MHD_Daemon;

struct FeedLimits {
    unsigned connections = 64;       // in all
    unsigned per_address = 24;       // from one client address
    unsigned idle_seconds = 15;      // a connection silent this long is closed
    std::size_t request_bytes = 16384; // request line and headers, per connection
    unsigned threads = 2;
};

class FeedService {
  public:
    FeedService(FeedPlaces places, std::string token, FeedLimits limits = {});
    ~FeedService();
    FeedService(const FeedService&) = delete;
    FeedService& operator=(const FeedService&) = delete;

    // Listens on `port` (0: one the system picks) of each address; true when
    // it listens on at least one. A running service is stopped first.
    bool start(std::uint16_t port, const std::vector<QHostAddress>& addresses);
    void stop();
    bool running() const { return !daemons_.empty(); }
    // The port listened on, 0 when stopped.
    std::uint16_t port() const { return port_; }
    // The addresses listened on, as "host:port" ("[::1]:port" for IPv6).
    std::vector<std::string> listening() const;

    // A new token: the old one's addresses answer 404 from now on.
    void set_token(const std::string& token);
    void set_places(const FeedPlaces& places);
    // One line per request ("GET /…/book/feed.xml 200") and per server
    // trouble; the token never appears in it. Called on the server's threads.
    void set_log(std::function<void(const std::string&)> log);

    // The machine's loopback addresses and those of its home network (private
    // IPv4 ranges, IPv6 unique local and link-local addresses) of the
    // interfaces that are up: where the feeds are offered.
    static std::vector<QHostAddress> home_addresses();
    // The address a phone on the home network reaches, as "host:port": the
    // first private IPv4 address, else the loopback address.
    static std::string home_host(std::uint16_t port);

    struct Shared;
    struct Listener;

  private:
    std::shared_ptr<Shared> shared_;
    FeedLimits limits_;
    std::vector<MHD_Daemon*> daemons_;
    std::vector<std::unique_ptr<Listener>> listeners_; // one per daemon, as long as it runs
    std::vector<std::string> listening_;
    std::uint16_t port_ = 0;
};
