// The request routine against real servers on 127.0.0.1: the exact request
// bytes on the wire, cookies, redirects, proxies, bodies and failures.
#include "http/cookie_jar.hpp"
#include "http/web_access.hpp"
#include "loopback_server.hpp"
#include "text/gbk.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const Text agent_line = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

ServerReply ok(const std::string& body = "ok") {
    return http_reply("200 OK", {}, body);
}

Text text_of(const Bytes& bytes) {
    return Text(bytes.begin(), bytes.end());
}

class WebAccess : public ::testing::Test {
  protected:
    void SetUp() override { clear_cookie_store(); }
    void TearDown() override {
        set_web_access_timeouts(std::chrono::seconds(30), std::chrono::seconds(60));
        set_web_access_limits({});
    }

    // A server whose every answer comes from `reply`.
    std::unique_ptr<LoopbackServer> serve(LoopbackServer::Handler reply, bool tls = false) {
        return std::make_unique<LoopbackServer>(std::move(reply), tls);
    }
    static Text host_line(const LoopbackServer& s) {
        return "Host: 127.0.0.1:" + std::to_string(s.port());
    }
};

TEST_F(WebAccess, DefaultGetSendsExactlyTheDefaultHeaderText) {
    auto server = serve([](const ServerRequest&) { return ok("page"); });
    const Text address = server->base() + "/Book/A.asp?id=3";
    Text headers;
    EXPECT_EQ(text_of(web_access(address, std::nullopt, std::nullopt, nullptr, nullptr, &headers)),
              "page");
    EXPECT_EQ(headers, "Accept: */*\r\nReferer: " + address + "\r\nAccept-Language: zh-cn");
    EXPECT_EQ(web_access_text(address), "page");
    web_access(address, -1);
    web_access(address, 8);

    const std::string expected = "GET /Book/A.asp?id=3 HTTP/1.1\r\n" + host_line(*server) + "\r\n" +
                                 agent_line + "\r\nAccept: */*\r\nReferer: " + address +
                                 "\r\nAccept-Language: zh-cn\r\n\r\n";
    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 4u);
    for (const ServerRequest& r : requests)
        EXPECT_EQ(r.raw, expected);
    // One connection carried all four requests.
    EXPECT_EQ(server->connections(), 1);
}

TEST_F(WebAccess, VerbsAndRequestBodies) {
    auto server = serve([](const ServerRequest&) { return ok(); });
    const Text address = server->base() + "/form";

    Bytes sent;
    web_access(address, 1, Text("a=1&b=2"), nullptr, nullptr, nullptr, nullptr, std::nullopt,
               &sent);
    EXPECT_EQ(text_of(sent), "a=1&b=2"); // the caller's variable holds the body sent
    Text typed = "content-type: text/plain";
    web_access(address, 1, Text("x"), nullptr, nullptr, &typed);
    Bytes own = text_to_bytes("raw bytes");
    web_access(address, 3, Text("ignored"), nullptr, nullptr, nullptr, nullptr, std::nullopt, &own);
    web_access(address, 1);
    web_access(address, 2);
    Bytes big(2 * 1024 * 1024, 'z');
    web_access(address, 1, std::nullopt, nullptr, nullptr, nullptr, nullptr, std::nullopt, &big);

    auto r = server->requests();
    ASSERT_EQ(r.size(), 6u);
    const Text common = host_line(*server) + "\r\n" + agent_line +
                        "\r\nAccept: */*\r\nReferer: " + address + "\r\nAccept-Language: zh-cn\r\n";
    EXPECT_EQ(r[0].raw, "POST /form HTTP/1.1\r\n" + common +
                            "Content-Type: application/x-www-form-urlencoded\r\n"
                            "Content-Length: 7\r\n\r\na=1&b=2");
    EXPECT_THAT(r[1].header_lines(),
                ElementsAre(host_line(*server), agent_line, "Content-Type: text/plain",
                            "Accept: */*", "Referer: " + address, "Accept-Language: zh-cn",
                            "Content-Length: 1"));
    EXPECT_EQ(r[2].raw, "PUT /form HTTP/1.1\r\n" + common + "Content-Length: 9\r\n\r\nraw bytes");
    EXPECT_EQ(r[3].raw, "POST /form HTTP/1.1\r\n" + common +
                            "Content-Type: application/x-www-form-urlencoded\r\n"
                            "Content-Length: 0\r\n\r\n");
    EXPECT_EQ(r[4].raw, "HEAD /form HTTP/1.1\r\n" + common + "\r\n");
    EXPECT_THAT(r[5].head, Not(HasSubstr("Expect")));
    EXPECT_EQ(r[5].body.size(), big.size());
}

TEST_F(WebAccess, HeaderTextOptions) {
    auto server = serve([](const ServerRequest&) { return ok(); });
    const Text address = server->base() + "/h";

    Text none;
    web_access(address, 0, std::nullopt, nullptr, nullptr, &none, nullptr, std::nullopt, nullptr,
               std::nullopt, std::nullopt, false);
    Text agent = "user-agent: Foo/1.0";
    web_access(address, 0, std::nullopt, nullptr, nullptr, &agent);
    Text accept = "ACCEPT: text/html\r\nx-lower: 1";
    web_access(address, 0, std::nullopt, nullptr, nullptr, &accept, nullptr, std::nullopt, nullptr,
               std::nullopt, std::nullopt, false, false);

    auto r = server->requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].raw,
              "GET /h HTTP/1.1\r\n" + host_line(*server) + "\r\n" + agent_line + "\r\n\r\n");
    EXPECT_EQ(none, "");
    // The agent comes from the header text, and goes out once, after Host.
    EXPECT_THAT(r[1].header_lines(),
                ElementsAre(host_line(*server), "User-Agent: Foo/1.0", "Accept: */*",
                            "Referer: " + address, "Accept-Language: zh-cn"));
    EXPECT_EQ(agent, "User-Agent: Foo/1.0\r\nAccept: */*\r\nReferer: " + address +
                         "\r\nAccept-Language: zh-cn");
    EXPECT_THAT(r[2].header_lines(),
                ElementsAre(host_line(*server), agent_line, "ACCEPT: text/html", "x-lower: 1"));
}

TEST_F(WebAccess, ProxyCarriesHttpRequestsAndTunnelsHttps) {
    auto secure = serve([](const ServerRequest&) { return ok("secret"); }, true);
    auto origin_port = std::to_string(secure->port());
    auto proxy = serve([&](const ServerRequest& r) {
        if (r.request_line().starts_with("CONNECT")) {
            ServerReply tunnel;
            tunnel.bytes = "HTTP/1.1 200 Connection established\r\n\r\n";
            tunnel.tunnel_port = secure->port();
            return tunnel;
        }
        return ok("via proxy");
    });
    const Text proxy_text = "127.0.0.1:" + std::to_string(proxy->port());

    EXPECT_EQ(text_of(web_access("http://books.test/a?b=1", 0, std::nullopt, nullptr, nullptr,
                                 nullptr, nullptr, std::nullopt, nullptr, proxy_text)),
              "via proxy");
    EXPECT_EQ(text_of(web_access(secure->base() + "/s", 0, std::nullopt, nullptr, nullptr, nullptr,
                                 nullptr, std::nullopt, nullptr, proxy_text)),
              "secret");

    auto seen = proxy->requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].request_line(), "GET http://books.test/a?b=1 HTTP/1.1");
    EXPECT_THAT(seen[0].header_lines(),
                ElementsAre("Host: books.test", agent_line, "Accept: */*",
                            "Referer: http://books.test/a?b=1", "Accept-Language: zh-cn"));
    EXPECT_EQ(seen[1].request_line(), "CONNECT 127.0.0.1:" + origin_port + " HTTP/1.1");
    ASSERT_EQ(secure->requests().size(), 1u);
    EXPECT_EQ(secure->requests()[0].request_line(), "GET /s HTTP/1.1");
}

TEST_F(WebAccess, CookieStoreOnlyWhenNoCookieTextIsSupplied) {
    auto server = serve([](const ServerRequest& r) {
        if (r.request_line().starts_with("GET /login"))
            return http_reply("200 OK", {"Set-Cookie: sid=abc; path=/", "Set-Cookie: theme=dark"},
                              "in");
        if (r.request_line().starts_with("GET /own"))
            return http_reply("200 OK", {"Set-Cookie: own=1"}, "own");
        return ok();
    });
    const Text base = server->base();
    web_access(base + "/login");
    web_access(base + "/page"); // store used
    Text empty;
    Text received;
    web_access(base + "/own", 0, std::nullopt, &empty, &received); // store neither read nor written
    web_access(base + "/page");

    auto r = server->requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_THAT(r[0].head, Not(HasSubstr("Cookie")));
    EXPECT_EQ(r[1].header_lines().back(), "Cookie: sid=abc; theme=dark");
    EXPECT_THAT(r[2].head, Not(HasSubstr("Cookie")));
    EXPECT_EQ(r[3].header_lines().back(), "Cookie: sid=abc; theme=dark");
    // The merge still runs for the supplied (empty) cookie text.
    EXPECT_EQ(received, "own=1");
    EXPECT_EQ(empty, "own=1");
}

TEST_F(WebAccess, ReceivedCookiesAreCollectedAndMerged) {
    auto server = serve([](const ServerRequest&) {
        return http_reply("200 OK",
                          {"Set-Cookie: a=1; path=/; HttpOnly", "set-cookie: c=3",
                           "Set-Cookie: b=2",
                           "Set-Cookie: z=deleted; expires=Thu, 01 Jan 1970 00:00:00 GMT"},
                          "");
    });
    const Text address = server->base() + "/";
    Text received = "stale";
    Text headers_back;
    web_access(address, 0, std::nullopt, nullptr, &received, nullptr, &headers_back);
    EXPECT_EQ(received, "a=1; b=2; z=deleted");
    EXPECT_TRUE(headers_back.starts_with("HTTP/1.1 200 OK\r\n"));

    Text cookies = "a=0; y=9; z=1";
    web_access(address, 0, std::nullopt, &cookies, &received);
    EXPECT_EQ(received, "a=1; b=2; y=9");
    EXPECT_EQ(cookies, "a=1; b=2; y=9");
    Text unmerged = "y=9";
    web_access(address, 0, std::nullopt, &unmerged, &received, nullptr, nullptr, std::nullopt,
               nullptr, std::nullopt, false);
    EXPECT_EQ(received, "a=1; b=2; z=deleted");
    EXPECT_EQ(unmerged, "y=9");

    // Cookies supplied with a header text that has a Cookie line join that line.
    Text joined_cookies = "k=2";
    Text headers = "cookie: h=1";
    web_access(address, 0, std::nullopt, &joined_cookies, nullptr, &headers);
    EXPECT_EQ(headers, "Cookie: h=1; k=2\r\nAccept: */*\r\nReferer: " + address +
                           "\r\nAccept-Language: zh-cn");

    auto r = server->requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_THAT(r[0].head, Not(HasSubstr("Cookie:")));
    EXPECT_EQ(r[1].header_lines().back(), "Cookie: a=0; y=9; z=1");
    EXPECT_EQ(r[3].header_lines()[2], "Cookie: h=1; k=2");
    EXPECT_EQ(r[3].head.find("Cookie:"), r[3].head.rfind("Cookie:"));
}

TEST_F(WebAccess, RedirectsFollowedOrReturned) {
    auto secure =
        serve([](const ServerRequest& r) { return ok("secure " + r.request_line()); }, true);
    auto server = serve([&](const ServerRequest& r) {
        const std::string line = r.request_line();
        if (line.starts_with("GET /start"))
            return http_reply("302 Found", {"Location: /next", "Set-Cookie: hop=1"}, "moved");
        if (line.starts_with("GET /to-https"))
            return http_reply("301 Moved", {"Location: " + secure->base() + "/landed"}, "");
        if (line.starts_with("POST /submit"))
            return http_reply("303 See Other", {"Location: /done"}, "");
        return ok("final " + line);
    });
    const Text base = server->base();

    Text headers_back;
    EXPECT_EQ(text_of(web_access(base + "/start", 0, std::nullopt, nullptr, nullptr, nullptr,
                                 &headers_back)),
              "final GET /next HTTP/1.1");
    EXPECT_TRUE(headers_back.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(headers_back.ends_with("\r\n\r\n"));
    // The cookie set by the redirect went with the next request.
    EXPECT_EQ(server->requests()[1].header_lines().back(), "Cookie: hop=1");

    EXPECT_EQ(text_of(web_access(base + "/start", 0, std::nullopt, nullptr, nullptr, nullptr,
                                 &headers_back, true)),
              "moved");
    EXPECT_TRUE(headers_back.starts_with("HTTP/1.1 302 Found\r\n"));
    EXPECT_THAT(headers_back, HasSubstr("\r\nLocation: /next\r\n"));

    EXPECT_EQ(web_access_text(base + "/to-https"), "secure GET /landed HTTP/1.1");
    EXPECT_EQ(text_of(web_access(base + "/submit", 1, Text("q=1"))), "final GET /done HTTP/1.1");
}

TEST_F(WebAccess, BodiesAndHeaderBlocksArriveWhole) {
    std::string large(300000, 0);
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = filler_byte(i);
    std::vector<std::string> many_cookies;
    std::string expected_cookies;
    for (int i = 0; i < 40; ++i) {
        std::string value(500, char('a' + i % 26));
        many_cookies.push_back("Set-Cookie: c" + std::to_string(i) + "=" + value + "; path=/");
        expected_cookies += (i ? "; c" : "c") + std::to_string(i) + "=" + value;
    }
    auto server = serve([&](const ServerRequest& r) {
        const std::string line = r.request_line();
        if (line.starts_with("GET /large"))
            return http_reply("200 OK", {}, large);
        if (line.starts_with("GET /chunked")) {
            ServerReply reply;
            reply.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
            for (std::size_t at = 0; at < large.size(); at += 3001) {
                std::string piece = large.substr(at, 3001);
                char size[16];
                std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                reply.bytes += size + piece + "\r\n";
            }
            reply.bytes += "0\r\n\r\n";
            return reply;
        }
        if (line.starts_with("GET /zeros"))
            return http_reply("200 OK", {}, std::string("ab\0cd", 5));
        return http_reply("200 OK", many_cookies, "cookies");
    });
    EXPECT_EQ(text_of(web_access(server->base() + "/large")), large);
    EXPECT_EQ(text_of(web_access(server->base() + "/chunked")), large);
    EXPECT_EQ(web_access(server->base() + "/zeros").size(), 5u);
    EXPECT_EQ(web_access_text(server->base() + "/zeros"), "ab");

    Text block;
    Text received;
    web_access(server->base() + "/cookies", 0, std::nullopt, nullptr, &received, nullptr, &block);
    EXPECT_GT(block.size(), 20000u);
    EXPECT_THAT(block, HasSubstr(many_cookies.back() + "\r\n"));
    EXPECT_EQ(received, expected_cookies);
}

TEST_F(WebAccess, UnsafeAddressBytesArePercentEncodedOnTheWire) {
    auto server = serve([](const ServerRequest&) { return ok(); });
    // 乗 and 亅 end in the bytes of "\\" and "|", which go escaped like any other
    // unsafe byte (the player asks for the same bytes).
    const Text address =
        server->base() + "/yousheng/" + gbk("三体乗亅") + "/a b.mp3?key=1&t=" + gbk("三") + "#top";
    const Text copy = address;
    web_access(address);
    EXPECT_EQ(address, copy);
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].request_line(),
              "GET /yousheng/%C8%FD%CC%E5%81%5C%81%7C/a%20b.mp3?key=1&t=%C8%FD HTTP/1.1");
}

TEST_F(WebAccess, FailuresGiveEmptyResults) {
    // A port nobody listens on.
    int closed_port;
    {
        LoopbackServer gone([](const ServerRequest&) { return ok(); });
        closed_port = gone.port();
    }
    Text block = "old";
    Text received = "old";
    EXPECT_TRUE(web_access("http://127.0.0.1:" + std::to_string(closed_port) + "/", 0, std::nullopt,
                           nullptr, &received, nullptr, &block)
                    .empty());
    EXPECT_EQ(block, "");
    EXPECT_EQ(received, "");
    EXPECT_EQ(web_access_text("http://bad host/"), "");

    // A connection cut mid-body gives the bytes that arrived.
    auto cut = serve([](const ServerRequest&) {
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial";
        reply.reset = true;
        return reply;
    });
    EXPECT_EQ(text_of(web_access(cut->base() + "/")), "partial");

    // A server that takes the request and then says nothing.
    set_web_access_timeouts(std::chrono::seconds(2), std::chrono::seconds(1));
    auto silent = serve([](const ServerRequest&) {
        ServerReply reply;
        reply.hold = true;
        return reply;
    });
    EXPECT_TRUE(web_access(silent->base() + "/", 0, std::nullopt, nullptr, nullptr, nullptr, &block)
                    .empty());
    EXPECT_EQ(block, "");
    silent->stop();

    // One that starts the body and then says nothing: what arrived.
    auto stalled = serve([](const ServerRequest&) {
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial";
        reply.hold = true;
        return reply;
    });
    EXPECT_EQ(text_of(web_access(stalled->base() + "/")), "partial");
    stalled->stop();
}

TEST_F(WebAccess, LineBreaksInAddressesHeaderLinesAndCookiesNeverAddALine) {
    auto server = serve([](const ServerRequest& r) {
        if (r.request_line().starts_with("GET /set"))
            return http_reply("200 OK", {"Set-Cookie: bad=1\rX-Evil: 1", "Set-Cookie: good=1"}, "");
        return ok();
    });
    const Text base = server->base();
    // An address holding CR, LF or NUL fails like an unusable one: nothing is sent.
    for (const Text& tail : {Text("/a\r\nX-Evil: 1"), Text("/a\nX-Evil: 1"), Text("/a\rb"),
                             Text("/a\0b", 4)}) {
        Text block = "old";
        EXPECT_TRUE(web_access(base + tail, 0, std::nullopt, nullptr, nullptr, nullptr, &block)
                        .empty());
        EXPECT_EQ(block, "");
    }
    EXPECT_EQ(server->requests().size(), 0u);

    Text headers = "X-One: 1\nX-Evil: 1\r\nX-Two: 2\rX-Evil: 2\r\nX-Three: 3";
    Text cookies = "a=1\r\nX-Evil: 3; b=2; c=3\nX-Evil: 4";
    web_access(base + "/h", 0, std::nullopt, &cookies, nullptr, &headers);
    Text received;
    web_access(base + "/set", 0, std::nullopt, nullptr, &received);
    web_access(base + "/next");

    auto r = server->requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_THAT(r[0].header_lines(),
                ElementsAre(host_line(*server), agent_line, "X-Three: 3", "Accept: */*",
                            "Referer: " + base + "/h", "Accept-Language: zh-cn", "Cookie: b=2"));
    for (const ServerRequest& request : r)
        EXPECT_THAT(request.raw, Not(HasSubstr("X-Evil")));
    EXPECT_EQ(received, "good=1");
    EXPECT_EQ(r[2].header_lines().back(), "Cookie: good=1");
}

TEST_F(WebAccess, CredentialsAreDroppedWhenARedirectChangesSchemeHostOrPort) {
    auto secure_target = serve([](const ServerRequest&) { return ok("secure"); }, true);
    auto other_port = serve([](const ServerRequest&) { return ok("other"); });
    auto server = serve([&](const ServerRequest& r) {
        const std::string line = r.request_line();
        if (line.starts_with("GET /same"))
            return http_reply("302 Found", {"Location: /landed"}, "");
        if (line.starts_with("GET /port"))
            return http_reply("302 Found", {"Location: " + other_port->base() + "/landed"}, "");
        return ok("landed");
    });
    // https to http on the same host.
    auto secure = serve(
        [&](const ServerRequest&) {
            return http_reply("302 Found", {"Location: " + server->base() + "/landed"}, "");
        },
        true);
    (void)secure_target;

    auto fetch = [](const Text& address) {
        Text cookies = "sid=1";
        Text headers = "Authorization: Basic dTpw";
        return text_of(web_access(address, 0, std::nullopt, &cookies, nullptr, &headers));
    };
    EXPECT_EQ(fetch(server->base() + "/same"), "landed");
    EXPECT_EQ(fetch(server->base() + "/port"), "other");
    EXPECT_EQ(fetch(secure->base() + "/to-http"), "landed");

    auto on_server = server->requests();
    ASSERT_EQ(on_server.size(), 4u);
    for (int i : {0, 1, 2})
        EXPECT_THAT(on_server[std::size_t(i)].head, HasSubstr("\r\nCookie: sid=1\r\n")) << i;
    EXPECT_THAT(on_server[1].head, HasSubstr("\r\nAuthorization: Basic dTpw\r\n"));
    ASSERT_EQ(other_port->requests().size(), 1u);
    EXPECT_THAT(other_port->requests()[0].head, Not(HasSubstr("Cookie")));
    EXPECT_THAT(other_port->requests()[0].head, Not(HasSubstr("Authorization")));
    EXPECT_THAT(on_server[3].head, Not(HasSubstr("Cookie")));
    EXPECT_THAT(on_server[3].head, Not(HasSubstr("Authorization")));
    EXPECT_THAT(secure->requests()[0].head, HasSubstr("\r\nCookie: sid=1\r\n"));
}

TEST_F(WebAccess, SecureCookiesAreNeitherTakenFromNorSentOverHttp) {
    auto plain = serve([](const ServerRequest& r) {
        if (r.request_line().starts_with("GET /set"))
            return http_reply("200 OK", {"Set-Cookie: plain=1; Secure", "Set-Cookie: open=1"}, "");
        return ok();
    });
    auto secure = serve(
        [](const ServerRequest& r) {
            if (r.request_line().starts_with("GET /set"))
                return http_reply("200 OK", {"Set-Cookie: tls=1; Secure; Path=/"}, "");
            return ok();
        },
        true);
    web_access(plain->base() + "/set");
    web_access(secure->base() + "/set");
    web_access(secure->base() + "/again");
    web_access(plain->base() + "/again");
    // Cookies belong to the host, not the port: both servers are 127.0.0.1.
    EXPECT_EQ(secure->requests()[1].header_lines().back(), "Cookie: open=1; tls=1");
    EXPECT_EQ(plain->requests()[1].header_lines().back(), "Cookie: open=1");
}

TEST_F(WebAccess, BodiesOverSixtyFourMegabytesGiveNothing) {
    constexpr std::size_t limit = 64 * 1024 * 1024;
    auto server = serve([&](const ServerRequest& r) {
        const std::string line = r.request_line();
        ServerReply reply;
        if (line.starts_with("HEAD /declared-head")) {
            reply.bytes =
                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(limit + 1) + "\r\n\r\n";
        } else if (line.starts_with("GET /declared-at-limit")) {
            reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(limit) + "\r\n\r\n";
            reply.filler = limit;
        } else if (line.starts_with("GET /declared")) {
            reply.bytes =
                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(limit + 1) + "\r\n\r\n";
            reply.filler = limit + 1;
            reply.close = true;
        } else {
            reply.bytes = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"; // ends with the connection
            reply.filler = limit + 1;
            reply.close = true;
        }
        return reply;
    });
    Text block = "old";
    EXPECT_TRUE(web_access(server->base() + "/declared", 0, std::nullopt, nullptr, nullptr,
                           nullptr, &block)
                    .empty());
    EXPECT_EQ(block, "");
    block = "old";
    EXPECT_TRUE(web_access(server->base() + "/undeclared", 0, std::nullopt, nullptr, nullptr,
                           nullptr, &block)
                    .empty());
    EXPECT_EQ(block, "");
    const Bytes whole = web_access(server->base() + "/declared-at-limit");
    ASSERT_EQ(whole.size(), limit);
    EXPECT_EQ(char(whole[limit - 1]), filler_byte(limit - 1));
    // A HEAD request reads no body, whatever length the answer names.
    web_access(server->base() + "/declared-head", 2, std::nullopt, nullptr, nullptr, nullptr,
               &block);
    EXPECT_TRUE(block.starts_with("HTTP/1.1 200 OK\r\n")) << block;
}

TEST_F(WebAccess, HeaderBlocksWithBareLineFeedsComeBackWithCrlf) {
    auto server = serve([](const ServerRequest&) {
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 OK\nSet-Cookie: a=1\nSet-Cookie: b=2; path=/\r\n"
                      "Content-Length: 2\n\nok";
        return reply;
    });
    Text block;
    Text received;
    Text cookies = "a=0; c=3";
    EXPECT_EQ(text_of(web_access(server->base() + "/", 0, std::nullopt, &cookies, &received,
                                 nullptr, &block)),
              "ok");
    EXPECT_EQ(block, "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2; path=/\r\n"
                     "Content-Length: 2\r\n\r\n");
    EXPECT_EQ(received, "a=1; b=2; c=3");
    web_access(server->base() + "/"); // the store sees both lines too
    web_access(server->base() + "/");
    EXPECT_EQ(server->requests()[2].header_lines().back(), "Cookie: a=1; b=2");
}

TEST_F(WebAccess, RedirectsToOtherSchemesGiveTheRedirectAnswer) {
    for (const char* location : {"ftp://127.0.0.1/file", "mailto:someone@books.test",
                                 "javascript:alert(1)", "file:///etc/passwd"}) {
        auto server = serve([&](const ServerRequest&) {
            return http_reply("302 Found", {std::string("Location: ") + location}, "moved");
        });
        Text block;
        EXPECT_EQ(text_of(web_access(server->base() + "/", 0, std::nullopt, nullptr, nullptr,
                                     nullptr, &block)),
                  "moved")
            << location;
        EXPECT_TRUE(block.starts_with("HTTP/1.1 302 Found\r\n")) << location;
        EXPECT_THAT(block, HasSubstr(std::string("\r\nLocation: ") + location + "\r\n"));
        EXPECT_EQ(server->requests().size(), 1u);
    }
}

TEST_F(WebAccess, LonePercentSignsGoOutAsPercent25) {
    auto server = serve([](const ServerRequest&) { return ok(); });
    Text headers;
    const Text address = server->base() + "/100%/a%2/b%41%zz?q=%";
    web_access(address, 0, std::nullopt, nullptr, nullptr, &headers);
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].request_line(), "GET /100%25/a%252/b%41%25zz?q=%25 HTTP/1.1");
    EXPECT_THAT(headers, HasSubstr("Referer: " + address + "\r\n"));
}

} // namespace

// What gives up, and why: every failure names its cause, and an answer its
// status. Redirects stop after the limit; trickling and overlong requests end.
TEST_F(WebAccess, FailuresSayWhyAndLimitsEndTricklesAndRedirectChains) {
    WebAccessLimits limits;
    limits.slow_time = std::chrono::seconds(1);
    limits.total = std::chrono::milliseconds(2500);
    set_web_access_limits(limits);
    auto server = serve([](const ServerRequest& r) {
        const std::string line = r.request_line();
        const std::size_t at = line.find("/hop");
        if (at != std::string::npos) { // /hopN redirects to /hop(N-1), /hop0 answers
            const int n = std::stoi(line.substr(at + 4));
            if (n > 0)
                return http_reply("302 Found", {"Location: /hop" + std::to_string(n - 1)}, "");
            return ok("landed");
        }
        if (line.starts_with("GET /empty"))
            return http_reply("404 Not Found", {}, "");
        // /huge announces more than any page; /trickle: a few bytes, then silence.
        ServerReply reply;
        reply.bytes = line.starts_with("GET /huge")
                          ? "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n"
                          : "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart";
        reply.hold = true;
        return reply;
    });
    int closed_port;
    {
        LoopbackServer gone([](const ServerRequest&) { return ok(); });
        closed_port = gone.port();
    }
    struct Case {
        Text address;
        AccessFailure failure;
        long status;
        const char* body;
    } const cases[] = {
        {server->base() + "/hop10", AccessFailure::none, 200, "landed"},
        {server->base() + "/hop11", AccessFailure::too_many_redirects, 302, ""},
        {server->base() + "/empty", AccessFailure::none, 404, ""},
        {server->base() + "/trickle", AccessFailure::too_slow, 200, "part"},
        {server->base() + "/huge", AccessFailure::too_large, 200, ""},
        {"http://127.0.0.1:" + std::to_string(closed_port) + "/", AccessFailure::cannot_connect, 0,
         ""},
        {"http://bad host/", AccessFailure::bad_address, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        AccessReport report;
        EXPECT_EQ(text_of(web_access_reported(c.address, report)), c.body);
        EXPECT_EQ(report.failure, c.failure);
        EXPECT_EQ(report.status, c.status);
    }

    // A request that keeps its pace but never ends stops at the total limit.
    limits.slow_bytes = 0;
    set_web_access_limits(limits);
    AccessReport report;
    EXPECT_EQ(text_of(web_access_reported(server->base() + "/trickle", report)), "part");
    EXPECT_EQ(report.failure, AccessFailure::timed_out);
    server->stop();
}

// The cookies are short: libcurl itself takes no more than 300 kB of headers.
TEST_F(WebAccess, ACookieFloodLeavesLaterRequestsWorking) {
    auto flood = [](int count, const std::string& prefix) {
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i)
            lines.push_back("Set-Cookie: " + prefix + std::to_string(i) + "=vv");
        return lines;
    };
    auto server = serve(
        [&](const ServerRequest& r) {
            const std::string line = r.request_line();
            if (line.starts_with("GET /flood"))
                return http_reply("200 OK", flood(10000, "f"), "flooded");
            if (line.starts_with("GET /more"))
                return http_reply("200 OK", flood(5000, "m" + std::to_string(r.connection) + "_"),
                                  "more");
            return ok("page");
        },
        true);
    EXPECT_EQ(web_access_text(server->base() + "/flood"), "flooded");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(web_access_text(server->base() + "/more"), "more");
    EXPECT_LE(stored_cookie_count(), cookies_per_site_limit);
    EXPECT_EQ(web_access_text(server->base() + "/page"), "page");

    const ServerRequest last = server->requests().back();
    const std::string cookie_line = last.header_lines().back();
    EXPECT_TRUE(cookie_line.starts_with("Cookie: m"));
    EXPECT_LE(cookie_line.size(), cookie_header_limit);
    EXPECT_GT(cookie_line.size(), 400u);
}
