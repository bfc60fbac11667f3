#include "loopback_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstring>

namespace {

bool starts_with_ignore_case(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

// One key and certificate for every TLS server of the process: self-signed,
// expired yesterday, issued to a name no test connects to.
SSL_CTX* make_tls_context() {
    static std::once_flag made;
    static EVP_PKEY* key = nullptr;
    static X509* cert = nullptr;
    std::call_once(made, [] {
        key = EVP_EC_gen("P-256");
        cert = X509_new();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -2 * 86400);
        X509_gmtime_adj(X509_getm_notAfter(cert), -86400);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("wrong.name.invalid"), -1,
                                   -1, 0);
        X509_set_issuer_name(cert, name);
        X509_set_pubkey(cert, key);
        X509_sign(cert, key, EVP_sha256());
    });
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context, cert);
    SSL_CTX_use_PrivateKey(context, key);
    return context;
}

} // namespace

namespace {

// The filler repeats every filler_period bytes; a block of any offset is a slice
// of this table.
constexpr std::size_t filler_period = 4093;
constexpr std::size_t filler_block = 65536;

const char* filler_table() {
    static const std::string table = [] {
        std::string t(filler_period + filler_block, 0);
        for (std::size_t i = 0; i < t.size(); ++i) {
            std::size_t k = i % filler_period;
            t[i] = char('a' + (k * 7 + k / 13) % 26);
        }
        return t;
    }();
    return table.data();
}

} // namespace

char filler_byte(std::size_t i) {
    return filler_table()[i % filler_period];
}

std::string ServerRequest::request_line() const {
    return head.substr(0, head.find("\r\n"));
}

std::vector<std::string> ServerRequest::header_lines() const {
    std::vector<std::string> lines;
    std::size_t from = head.find("\r\n");
    while (from != std::string::npos) {
        from += 2;
        std::size_t end = head.find("\r\n", from);
        if (end == std::string::npos || end == from)
            break;
        lines.push_back(head.substr(from, end - from));
        from = end;
    }
    return lines;
}

ServerReply http_reply(const std::string& status, const std::vector<std::string>& headers,
                       const std::string& body) {
    ServerReply reply;
    reply.bytes = "HTTP/1.1 " + status + "\r\n";
    for (const std::string& line : headers)
        reply.bytes += line + "\r\n";
    reply.bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    return reply;
}

struct LoopbackServer::Stream {
    int fd = -1;
    SSL* ssl = nullptr;

    long read(char* buffer, std::size_t size) {
        if (ssl) {
            int n = SSL_read(ssl, buffer, int(size));
            return n > 0 ? n : -1;
        }
        return long(::recv(fd, buffer, size, 0));
    }
    bool write(const char* data, std::size_t size) {
        while (size > 0) {
            long n = ssl ? SSL_write(ssl, data, int(std::min<std::size_t>(size, 1 << 20)))
                         : long(::send(fd, data, size, MSG_NOSIGNAL));
            if (n <= 0)
                return false;
            data += n;
            size -= std::size_t(n);
        }
        return true;
    }
};

LoopbackServer::LoopbackServer(Handler handler, bool tls)
    : handler_(std::move(handler)), tls_(tls) {
    std::signal(SIGPIPE, SIG_IGN);
    if (tls_)
        tls_context_ = make_tls_context();
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 64) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept_loop(); });
}

LoopbackServer::~LoopbackServer() {
    stop();
    if (tls_context_)
        SSL_CTX_free(static_cast<SSL_CTX*>(tls_context_));
}

std::string LoopbackServer::base() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<ServerRequest> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int LoopbackServer::connections() const {
    std::lock_guard lock(mutex_);
    return connection_count_;
}

void LoopbackServer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && listen_fd_ == -1)
            return;
        stopping_ = true;
        for (int fd : open_fds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    stopped_.notify_all();
    if (listen_fd_ != -1)
        ::shutdown(listen_fd_, SHUT_RDWR);
    if (acceptor_.joinable())
        acceptor_.join();
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
    if (listen_fd_ != -1)
        ::close(listen_fd_);
    listen_fd_ = -1;
}

void LoopbackServer::accept_loop() {
    while (true) {
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd == -1)
            return;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        open_fds_.push_back(fd);
        int connection = ++connection_count_;
        threads_.emplace_back([this, fd, connection] { serve(fd, connection); });
    }
}

bool LoopbackServer::read_request(Stream& stream, std::string& pending, ServerRequest& request) {
    char buffer[16384];
    std::size_t head_end;
    while ((head_end = pending.find("\r\n\r\n")) == std::string::npos) {
        long n = stream.read(buffer, sizeof buffer);
        if (n <= 0)
            return false;
        pending.append(buffer, std::size_t(n));
    }
    request.head = pending.substr(0, head_end + 4);
    std::size_t body_length = 0;
    for (const std::string& line : request.header_lines())
        if (starts_with_ignore_case(line, "Content-Length:"))
            body_length = std::stoul(line.substr(15));
    while (pending.size() < head_end + 4 + body_length) {
        long n = stream.read(buffer, sizeof buffer);
        if (n <= 0)
            return false;
        pending.append(buffer, std::size_t(n));
    }
    request.body = pending.substr(head_end + 4, body_length);
    request.raw = request.head + request.body;
    pending.erase(0, head_end + 4 + body_length);
    return true;
}

void LoopbackServer::serve(int fd, int connection) {
    Stream stream{fd, nullptr};
    if (tls_) {
        stream.ssl = SSL_new(static_cast<SSL_CTX*>(tls_context_));
        SSL_set_fd(stream.ssl, fd);
        if (SSL_accept(stream.ssl) != 1) {
            SSL_free(stream.ssl);
            stream.ssl = nullptr;
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    std::string pending;
    bool open = !tls_ || stream.ssl;
    while (open) {
        ServerRequest request;
        request.connection = connection;
        if (!read_request(stream, pending, request))
            break;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        ServerReply reply = handler_(request);
        bool written = stream.write(reply.bytes.data(), reply.bytes.size());
        for (std::size_t sent = 0; written && sent < reply.filler;) {
            std::size_t n = std::min(filler_block, reply.filler - sent);
            written = stream.write(filler_table() + sent % filler_period, n);
            sent += n;
        }
        if (!written)
            break;
        if (reply.hold) {
            std::unique_lock lock(mutex_);
            stopped_.wait(lock, [this] { return stopping_; });
            break;
        }
        if (reply.reset) {
            linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            break;
        }
        if (reply.tunnel_port) {
            int target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(std::uint16_t(reply.tunnel_port));
            if (::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                char block[65536];
                pollfd ends[2] = {{fd, POLLIN, 0}, {target, POLLIN, 0}};
                bool relaying = true;
                while (relaying && ::poll(ends, 2, -1) > 0) {
                    for (int i = 0; i < 2 && relaying; ++i) {
                        if (!(ends[i].revents & (POLLIN | POLLHUP | POLLERR)))
                            continue;
                        long n = ::recv(ends[i].fd, block, sizeof block, 0);
                        relaying = n > 0 &&
                                   ::send(ends[1 - i].fd, block, std::size_t(n), MSG_NOSIGNAL) == n;
                    }
                }
            }
            ::close(target);
            break;
        }
        if (reply.close)
            break;
    }
    if (stream.ssl) {
        SSL_shutdown(stream.ssl);
        SSL_free(stream.ssl);
    }
    std::lock_guard lock(mutex_);
    open_fds_.erase(std::find(open_fds_.begin(), open_fds_.end(), fd));
    ::close(fd);
}
