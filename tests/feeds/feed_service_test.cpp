// The feeds' service over loopback, through raw sockets so that every byte of
// a request is ours: what it answers, what it refuses, and that it stays up.
#include "feeds/byte_ranges.hpp"
#include "feeds/feed_service.hpp"
#include "session/library.hpp"
#include "support/silent_mp3.hpp"
#include "text/gbk.hpp"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string token = "0123456789abcdef0123456789abcdef";
const std::string book = "测试书名";

struct Answer {
    int status = 0;
    std::map<std::string, std::string> headers; // names lower-cased
    std::string body;
};

int connect_to(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string read_all(int fd) {
    std::string data;
    char chunk[65536];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        data.append(chunk, std::size_t(got));
    return data;
}

Answer parse_answer(const std::string& raw) {
    Answer answer;
    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.size() < 12 || end == std::string::npos)
        return answer;
    answer.status = std::stoi(raw.substr(9, 3));
    std::size_t line = raw.find("\r\n") + 2;
    while (line < end) {
        const std::size_t next = raw.find("\r\n", line);
        const std::string text = raw.substr(line, next - line);
        const std::size_t colon = text.find(':');
        std::string name = text.substr(0, colon);
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        answer.headers[name] = text.substr(text.find_first_not_of(' ', colon + 1));
        line = next + 2;
    }
    answer.body = raw.substr(end + 4);
    return answer;
}

// One request as written, the connection closed after it.
Answer send_request(std::uint16_t port, const std::string& request) {
    const int fd = connect_to(port);
    if (fd < 0)
        return {};
    [[maybe_unused]] const auto sent = write(fd, request.data(), request.size());
    Answer answer = parse_answer(read_all(fd));
    close(fd);
    return answer;
}

Answer get(std::uint16_t port, const std::string& target, const std::string& more = {},
           const std::string& method = "GET") {
    return send_request(port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                              std::to_string(port) + "\r\nConnection: close\r\n" + more + "\r\n");
}

std::string percent(const std::string& name) {
    std::string out;
    char hex[4];
    for (unsigned char c : name) {
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        out += std::isalnum(c) || c == '.' || c == '_' ? std::string(1, char(c)) : hex;
    }
    return out;
}

void write_file(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class FeedServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/feed-test-XXXXXX";
        root_ = mkdtemp(pattern);
        save_ = root_ / "books";
        folder_ = save_ / fs::path(book);
        fs::create_directories(folder_);
        fs::create_directories(root_ / "library");
        for (int n = 1; n <= 3; ++n)
            write_file(episode(n), silent_mp3(1.0 + n));
        write_file(folder_ / "cover.jpg", "\xFF\xD8\xFF\xE0 a cover");
        write_file(root_ / "outside.mp3", "not a book's file");
        BookInfo info;
        info.title = gbk(book);
        info.author = gbk("某作者");
        info.narrator = gbk("某演播");
        Library(root_ / "library").keep_details("http://127.0.0.1/play/1.html", info);
        service_ = std::make_unique<FeedService>(FeedPlaces{save_, root_ / "library"}, token,
                                                 limits());
        service_->set_log([this](const std::string& line) {
            const std::lock_guard lock(log_mutex_);
            log_ += line + "\n";
        });
        ASSERT_TRUE(service_->start(0, {QHostAddress(QHostAddress::LocalHost)}));
        port_ = service_->port();
    }
    void TearDown() override {
        service_.reset();
        {
            const std::lock_guard lock(log_mutex_);
            EXPECT_EQ(log_.find(token), std::string::npos) << "the log names the token";
        }
        fs::remove_all(root_);
    }
    virtual FeedLimits limits() const { return {}; }

    fs::path episode(int n) const { return folder_ / fs::path(book + "_第" + std::to_string(n) + "集.mp3"); }
    std::string episode_target(int n) const {
        return "/" + token + "/" + percent(book) + "/" + percent(episode(n).filename().string());
    }
    std::string feed_target() const { return "/" + token + "/" + percent(book) + "/feed.xml"; }

    fs::path root_, save_, folder_;
    std::unique_ptr<FeedService> service_;
    std::uint16_t port_ = 0;
    std::mutex log_mutex_;
    std::string log_;
};

struct Enclosure {
    std::string url, length, type;
};

std::vector<Enclosure> enclosures(const std::string& feed) {
    std::vector<Enclosure> found;
    QXmlStreamReader xml(QByteArray::fromStdString(feed));
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("enclosure")) {
            const auto a = xml.attributes();
            found.push_back({a.value("url").toString().toStdString(),
                             a.value("length").toString().toStdString(),
                             a.value("type").toString().toStdString()});
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return found;
}

TEST_F(FeedServiceTest, EveryEnclosureOfTheFeedComesBackByteForByte) {
    Answer feed = get(port_, feed_target());
    ASSERT_EQ(feed.status, 200);
    EXPECT_EQ(feed.headers["content-type"], "application/rss+xml; charset=utf-8");
    const std::vector<Enclosure> items = enclosures(feed.body);
    ASSERT_EQ(items.size(), 3u);
    const std::string prefix = "http://127.0.0.1:" + std::to_string(port_);
    for (int n = 1; n <= 3; ++n) {
        const Enclosure& item = items[std::size_t(n - 1)];
        EXPECT_EQ(item.url, prefix + episode_target(n)) << "in episode order, on the Host asked";
        EXPECT_EQ(item.length, std::to_string(fs::file_size(episode(n))));
        EXPECT_EQ(item.type, "audio/mpeg");
        Answer file = get(port_, item.url.substr(prefix.size()));
        EXPECT_EQ(file.status, 200);
        EXPECT_TRUE(file.body == read_file(episode(n))) << "episode " << n << " is not byte-exact";
    }
    EXPECT_NE(feed.body.find("<itunes:author>某作者</itunes:author>"), std::string::npos);
    EXPECT_NE(feed.body.find("<itunes:type>serial</itunes:type>"), std::string::npos);
    // Lengths a build had no time for are read meanwhile, for the next one.
    std::string later = feed.body;
    for (int i = 0; i < 40 && later.find("<itunes:duration>0:00:04</itunes:duration>") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        later = get(port_, feed_target()).body;
    }
    for (const char* length : {"0:00:02", "0:00:03", "0:00:04"})
        EXPECT_NE(later.find(std::string("<itunes:duration>") + length + "</itunes:duration>"),
                  std::string::npos) << length;
    EXPECT_NE(feed.body.find(prefix + "/" + token + "/" + percent(book) + "/cover"), std::string::npos);

    Answer opml = get(port_, "/" + token + "/books.opml");
    EXPECT_EQ(opml.status, 200);
    EXPECT_NE(opml.body.find("xmlUrl=\"" + prefix + feed_target() + "\""), std::string::npos);
}

TEST_F(FeedServiceTest, AnEpisodeThatLandsIsInTheFeedAtOnce) {
    ASSERT_EQ(enclosures(get(port_, feed_target()).body).size(), 3u);
    write_file(episode(10), silent_mp3(0.5));
    const std::vector<Enclosure> items = enclosures(get(port_, feed_target()).body);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items.back().url.ends_with(percent(episode(10).filename().string())))
        << "第10集 comes after 第3集";
}

TEST_F(FeedServiceTest, RangesConditionsAndHeadAnswerAsPodcastAppsNeedThem) {
    const std::string file = read_file(episode(2));
    const auto size = std::to_string(file.size());
    Answer whole = get(port_, episode_target(2));
    const std::string etag = whole.headers["etag"];
    ASSERT_FALSE(etag.empty());
    EXPECT_EQ(whole.headers["accept-ranges"], "bytes");
    EXPECT_FALSE(whole.headers["last-modified"].empty());
    struct Case {
        std::string headers;
        int status;
        std::string body, content_range;
    } cases[] = {
        {"Range: bytes=0-99\r\n", 206, file.substr(0, 100), "bytes 0-99/" + size},
        {"Range: bytes=100-\r\n", 206, file.substr(100), "bytes 100-" + std::to_string(file.size() - 1) + "/" + size},
        {"Range: bytes=-10\r\n", 206, file.substr(file.size() - 10), ""},
        {"Range: bytes=5-999999999\r\n", 206, file.substr(5), ""},
        {"Range: bytes=" + size + "-\r\n", 416, "", "bytes */" + size},
        {"Range: bytes=0-1,5-6\r\n", 200, file, ""},
        {"Range: lines=1-2\r\n", 200, file, ""},
        {"If-None-Match: " + etag + "\r\n", 304, "", ""},
        {"Range: bytes=0-9\r\nIf-Range: \"stale\"\r\n", 200, file, ""},
        {"Range: bytes=0-9\r\nIf-Range: " + etag + "\r\n", 206, file.substr(0, 10), ""},
    };
    for (const Case& c : cases) {
        Answer answer = get(port_, episode_target(2), c.headers);
        EXPECT_EQ(answer.status, c.status) << c.headers;
        EXPECT_TRUE(answer.body == c.body) << c.headers << ": " << answer.body.size() << " bytes";
        if (!c.content_range.empty()) {
            EXPECT_EQ(answer.headers["content-range"], c.content_range) << c.headers;
        }
    }
    Answer head = get(port_, episode_target(2), "", "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.headers["content-length"], size);
    EXPECT_EQ(head.body, "");
    Answer cover = get(port_, "/" + token + "/" + percent(book) + "/cover", "Range: bytes=0-1\r\n");
    EXPECT_EQ(cover.status, 206);
    EXPECT_EQ(cover.body, "\xFF\xD8");
    EXPECT_EQ(cover.headers["content-type"], "image/jpeg");
}

// A podcast app asks for the feed and then the episode over one connection.
TEST_F(FeedServiceTest, OneConnectionCarriesSeveralRequests) {
    const int fd = connect_to(port_);
    ASSERT_GE(fd, 0);
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    const std::string both = "GET " + feed_target() + " HTTP/1.1\r\n" + host + "\r\n" + "GET " +
                             episode_target(1) + " HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n";
    [[maybe_unused]] const auto sent = write(fd, both.data(), both.size());
    const std::string answers = read_all(fd);
    close(fd);
    std::size_t count = 0;
    for (std::size_t at = 0; (at = answers.find("HTTP/1.1 200 OK\r\n", at)) != std::string::npos; ++at)
        ++count;
    EXPECT_EQ(count, 2u);
    EXPECT_TRUE(answers.ends_with(read_file(episode(1))));
}

TEST_F(FeedServiceTest, HostileTargetsAreRefusedAlike) {
    fs::create_symlink(root_ / "outside.mp3", folder_ / "link_第9集.mp3");
    fs::create_directories(root_ / "elsewhere");
    write_file(root_ / "elsewhere" / "x_第1集.mp3", "elsewhere");
    fs::create_symlink(root_ / "elsewhere", save_ / "linked");
    write_file(folder_ / ".hidden.mp3", "hidden");
    const std::string b = percent(book);
    const std::string e = percent(episode(1).filename().string());
    const std::string t = "/" + token;
    const std::string refused[] = {
        "/" + std::string(32, '0') + "/books.opml",      // a wrong token
        "/" + token.substr(0, 31) + "/books.opml",        // one cut short
        "/books.opml",                                    // none
        "/" + b + "/feed.xml",                            // the book without a token
        t + "/" + percent("没有这本书") + "/feed.xml",    // no such book
        t + "/../" + b + "/" + e,
        t + "/" + b + "/../" + b + "/" + e,
        t + "/%2e%2e/etc/passwd",
        t + "/%2E%2e/" + b + "/feed.xml",
        t + "/" + b + "/%2e%2e%2foutside.mp3",
        t + "/%c0%ae%c0%ae/outside.mp3",                  // overlong "."
        t + "/" + b + "%c0%af..%c0%af/" + e,              // overlong "/"
        t + "/" + b + "%2F" + e,
        t + "/" + b + "/" + e + "%00.mp3",
        t + "/" + b + "/%00",
        t + "/" + b + "/" + e.substr(0, e.size() - 2) + "%3",  // a cut escape
        t + "//" + b + "/feed.xml",
        t + "/" + b + "//" + e,
        t + "/" + b + "/link_%E7%AC%AC9%E9%9B%86.mp3",    // a link leading out
        t + "/linked/x_%E7%AC%AC1%E9%9B%86.mp3",          // a book folder leading out
        t + "/linked/feed.xml",
        t + "/" + b + "/.hidden.mp3",
        t + "/" + b + "/cover.jpg",                       // only as …/cover
        t + "/%2Fetc%2Fpasswd/feed.xml",
        t + "/" + b + "/%2Fetc%2Fpasswd.mp3",
        t + "/" + b + "/feed.xml/more",
        "http://127.0.0.1" + t + "/books.opml",           // an absolute address
        "*",
    };
    Answer not_found = get(port_, refused[0]);
    ASSERT_EQ(not_found.status, 404);
    for (const std::string& target : refused) {
        Answer answer = get(port_, target);
        EXPECT_TRUE(answer.status == 404 || answer.status == 400) << target << ": " << answer.status;
        EXPECT_TRUE(answer.status == 400 || answer.body == not_found.body) << target;
    }
    for (const std::string method : {"POST", "PUT", "DELETE", "OPTIONS", "TRACE", "PROPFIND"}) {
        Answer answer = get(port_, t + "/books.opml", "Content-Length: 0\r\n", method);
        EXPECT_EQ(answer.status, 405) << method;
        EXPECT_EQ(answer.headers["allow"], "GET, HEAD") << method;
    }
    EXPECT_EQ(get(port_, t + "/books.opml").status, 200) << "and it still serves";
}

TEST_F(FeedServiceTest, ANewTokenEndsTheOldAddresses) {
    ASSERT_EQ(get(port_, feed_target()).status, 200);
    const std::string fresh(32, 'f');
    service_->set_token(fresh);
    EXPECT_EQ(get(port_, feed_target()).status, 404);
    EXPECT_EQ(get(port_, episode_target(1)).status, 404);
    EXPECT_EQ(get(port_, "/" + fresh + "/books.opml").status, 200);
    service_->set_token(token);
}

TEST_F(FeedServiceTest, OversizedRequestsAreCutAndTheServiceStaysUp) {
    const std::string long_target = "/" + token + "/" + std::string(20000, 'a') + "/feed.xml";
    Answer too_long = get(port_, long_target);
    EXPECT_TRUE(too_long.status == 414 || too_long.status == 431 || too_long.status == 0) << too_long.status;
    std::string headers;
    for (int i = 0; i < 400; ++i)
        headers += "X-Filler-" + std::to_string(i) + ": " + std::string(100, 'x') + "\r\n";
    Answer too_many = get(port_, feed_target(), headers);
    EXPECT_TRUE(too_many.status == 431 || too_many.status == 413 || too_many.status == 0) << too_many.status;
    EXPECT_EQ(get(port_, feed_target()).status, 200);
}

TEST_F(FeedServiceTest, SlowClientsDoNotHoldTheService) {
    std::vector<int> slow;
    for (int i = 0; i < 12; ++i) {
        const int fd = connect_to(port_);
        ASSERT_GE(fd, 0);
        const std::string half = "GET /" + token.substr(0, 10);
        [[maybe_unused]] const auto sent = write(fd, half.data(), half.size());
        slow.push_back(fd);
    }
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(get(port_, feed_target()).status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    for (const int fd : slow)
        close(fd);
}

class FewConnectionsTest : public FeedServiceTest {
  protected:
    FeedLimits limits() const override {
        FeedLimits few;
        few.per_address = 4;
        few.idle_seconds = 2;
        return few;
    }
};

TEST_F(FewConnectionsTest, ConnectionsBeyondTheBoundAreTurnedAwayAndIdleOnesClosed) {
    std::vector<int> held;
    for (int i = 0; i < 4; ++i)
        held.push_back(connect_to(port_));
    EXPECT_EQ(get(port_, feed_target()).status, 0) << "a fifth connection gets nothing";
    // The idle ones are closed after their time, and the service answers again.
    for (const int fd : held) {
        char byte;
        EXPECT_EQ(read(fd, &byte, 1), 0) << "closed by the server";
        close(fd);
    }
    int status = 0;
    for (int i = 0; i < 20 && status != 200; ++i) { // the server frees their room just after
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        status = get(port_, feed_target()).status;
    }
    EXPECT_EQ(status, 200);
}

TEST(ByteRanges, HeadersReadAsTheStandardSays) {
    struct Case {
        const char* header;
        std::int64_t size;
        RangeAnswer answer;
        std::int64_t first, last;
    } cases[] = {
        {"bytes=0-0", 10, RangeAnswer::part, 0, 0},
        {"bytes=9-", 10, RangeAnswer::part, 9, 9},
        {"bytes=10-", 10, RangeAnswer::unsatisfiable, 0, 0},
        {"bytes=-20", 10, RangeAnswer::part, 0, 9},
        {"bytes=-0", 10, RangeAnswer::unsatisfiable, 0, 0},
        {"bytes=0-", 0, RangeAnswer::unsatisfiable, 0, 0},
        {"bytes=5-2", 10, RangeAnswer::whole, 0, 0},
        {"bytes=a-b", 10, RangeAnswer::whole, 0, 0},
        {"bytes=-", 10, RangeAnswer::whole, 0, 0},
        {"bytes=99999999999999999999-", 10, RangeAnswer::whole, 0, 0},
        {"", 10, RangeAnswer::whole, 0, 0},
    };
    for (const Case& c : cases) {
        ByteRange range;
        EXPECT_EQ(byte_range(c.header, c.size, range), c.answer) << c.header;
        if (c.answer == RangeAnswer::part) {
            EXPECT_EQ(range.first, c.first) << c.header;
            EXPECT_EQ(range.last, c.last) << c.header;
        }
    }
}

} // namespace
