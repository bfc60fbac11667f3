#pragma once
// The feeds without a window: `serve` runs the service until SIGINT or
// SIGTERM, `feeds` prints every feed's address, the OPML's first.
#include "feeds/feed_books.hpp"

#include <QHostAddress>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Where the configured books are: the save folder of the settings (or the
// default one) and the library beside the configuration file.
FeedPlaces configured_feed_places();

// The OPML's address, then each book's feed address, under
// "http://" + host + "/" + token.
std::vector<std::string> feed_addresses(const FeedPlaces& places, const std::string& token,
                                        const std::string& host);

struct FeedsOptions {
    std::optional<std::string> host; // "host:port"; default: the home network's, the set port
};
// Prints the addresses one per line; 0, or 1 when the token cannot be kept.
int feeds_command(std::ostream& out, std::ostream& errors, const FeedsOptions& options);

struct ServeOptions {
    std::optional<int> port;             // default: "收听端口"
    std::vector<QHostAddress> addresses; // default: the home network's and loopback
    bool verbose = false;                // one line per request on stderr
};
// Serves until SIGINT or SIGTERM (needs a QCoreApplication): 0 then, 1 when
// it could listen nowhere, 2 for a bad port. The token and the save folder
// are read again every few seconds, so that a new token made in the window
// takes effect here too.
int serve_command(const ServeOptions& options);

// `audiobook-client serve [--port N] [--listen ADDRESS]... [--verbose]` and
// `audiobook-client feeds [--host HOST:PORT]`, with a parser of their own.
int feeds_main(int argc, char** argv);
