#pragma once
// A scripted HTTP server on 127.0.0.1 for the tests and benchmarks of the HTTP
// client. It records every request byte for byte and answers with whatever bytes
// the test scripts, optionally over TLS with a self-signed certificate that is
// expired and names another host.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ServerRequest {
    std::string raw;  // request line, header lines, blank line and body, as received
    std::string head; // up to and including the blank line
    std::string body;
    int connection = 0; // 1 for the first connection accepted, 2 for the next, ...

    std::string request_line() const;
    // The header lines after the request line, in order, without line ends.
    std::vector<std::string> header_lines() const;
};

struct ServerReply {
    std::string bytes;      // written as they are
    std::size_t filler = 0; // then this many more bytes of a repeating pattern
    bool close = false;     // close the connection afterwards
    bool reset = false;     // abort the connection (RST) afterwards
    bool hold = false;      // then keep the connection open, silent, until stop()
    int tunnel_port = 0;    // then relay the connection to 127.0.0.1:tunnel_port
};

// "HTTP/1.1 <status>" + the header lines + Content-Length + the body.
ServerReply http_reply(const std::string& status, const std::vector<std::string>& headers,
                       const std::string& body);

// The byte at position i of the filler pattern.
char filler_byte(std::size_t i);

class LoopbackServer {
  public:
    using Handler = std::function<ServerReply(const ServerRequest&)>;

    explicit LoopbackServer(Handler handler, bool tls = false);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" or "https://127.0.0.1:<port>"
    std::string base() const;
    std::vector<ServerRequest> requests() const;
    int connections() const;
    void stop();

  private:
    struct Stream;
    void accept_loop();
    void serve(int fd, int connection);
    bool read_request(Stream& stream, std::string& pending, ServerRequest& request);

    Handler handler_;
    bool tls_;
    void* tls_context_ = nullptr;
    int listen_fd_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::vector<ServerRequest> requests_;
    std::vector<int> open_fds_;
    std::vector<std::thread> threads_;
    int connection_count_ = 0;
    std::thread acceptor_;
};
