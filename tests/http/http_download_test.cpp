// The episode download against a real server: the target is replaced only by a
// complete, successful body, and nothing is left behind otherwise.
#include "loopback_server.hpp"
#include "transfer/http_download.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_all(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class HttpDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/http_download_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        target = folder / "episode_1.mp3";
    }
    void TearDown() override { fs::remove_all(folder); }

    // The names in the folder besides the target.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path() != target)
                names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path folder;
    fs::path target;
};

std::string episode_bytes(std::size_t size) {
    std::string bytes(size, 0);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = filler_byte(i);
    return bytes;
}

TEST_F(HttpDownload, CompleteBodyReplacesTheOlderFile) {
    const std::string episode = episode_bytes(300000);
    LoopbackServer server([&](const ServerRequest& r) {
        if (r.request_line().starts_with("GET /old"))
            return http_reply("302 Found", {"Location: /new.mp3?key=1"}, "");
        return http_reply("200 OK", {"Content-Type: audio/mpeg"}, episode);
    });
    write_all(target, "older file");
    std::int64_t last_received = 0, last_total = 0;
    int calls = 0;
    EXPECT_TRUE(http_download(server.base() + "/old.mp3", target,
                              [&](std::int64_t received, std::int64_t total) {
                                  EXPECT_GE(received, last_received);
                                  last_received = received;
                                  last_total = total;
                                  ++calls;
                              }));
    EXPECT_EQ(read_all(target), episode);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(last_received, std::int64_t(episode.size()));
    EXPECT_EQ(last_total, std::int64_t(episode.size()));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(HttpDownload, UnannouncedLengthReportsMinusOne) {
    LoopbackServer server([](const ServerRequest&) {
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nwhole body";
        reply.close = true;
        return reply;
    });
    std::int64_t total = 0;
    EXPECT_TRUE(http_download(server.base() + "/e.mp3", target,
                              [&](std::int64_t, std::int64_t t) { total = t; }));
    EXPECT_EQ(read_all(target), "whole body");
    EXPECT_EQ(total, -1);
}

TEST_F(HttpDownload, FailuresKeepTheTargetAndLeaveNothingBehind) {
    LoopbackServer server([](const ServerRequest& r) {
        const std::string line = r.request_line();
        if (line.starts_with("GET /missing"))
            return http_reply("404 Not Found", {}, "<html>no such episode</html>");
        if (line.starts_with("GET /empty"))
            return http_reply("200 OK", {}, "");
        ServerReply cut = http_reply("200 OK", {}, "");
        cut.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n";
        cut.filler = 80000;
        cut.reset = true;
        return cut;
    });
    int closed_port;
    {
        LoopbackServer gone([](const ServerRequest&) { return http_reply("200 OK", {}, "x"); });
        closed_port = gone.port();
    }

    for (const std::string& address :
         {server.base() + "/missing.mp3", server.base() + "/empty.mp3", server.base() + "/cut.mp3",
          "http://127.0.0.1:" + std::to_string(closed_port) + "/e.mp3"}) {
        SCOPED_TRACE(address);
        fs::remove(target);
        EXPECT_FALSE(http_download(address, target));
        EXPECT_FALSE(fs::exists(target));
        write_all(target, "older file");
        EXPECT_FALSE(http_download(address, target));
        EXPECT_EQ(read_all(target), "older file");
        EXPECT_TRUE(leftovers().empty());
    }
    // A server that sends half the episode and then nothing.
    set_http_download_timeouts(std::chrono::seconds(2), std::chrono::seconds(1));
    LoopbackServer stalled([](const ServerRequest&) {
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n";
        reply.filler = 100000;
        reply.hold = true;
        return reply;
    });
    write_all(target, "older file");
    EXPECT_FALSE(http_download(stalled.base() + "/e.mp3", target));
    EXPECT_EQ(read_all(target), "older file");
    EXPECT_TRUE(leftovers().empty());
    stalled.stop();
    set_http_download_timeouts(std::chrono::seconds(30), std::chrono::seconds(60));

    // A folder that does not exist.
    EXPECT_FALSE(http_download(server.base() + "/e.mp3", folder / "missing" / "e.mp3"));
}

} // namespace
