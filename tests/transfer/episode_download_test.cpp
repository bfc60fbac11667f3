// The episode download against the sample site: retries of transient failures,
// resume from the kept bytes, no second fetch of a complete file, audio only,
// a prompt cancel, and one connection and one user agent for all episodes.
#include "download_fixture.hpp"

#include "support/small_disk.hpp"
#include "text/gbk.hpp"
#include "transfer/partial_file.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A port on 127.0.0.1 whose queue of connections waiting to be accepted is full,
// so that a new connection stays in its handshake.
class CloggedPort {
  public:
    CloggedPort() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers_.push_back(filler);
        }
    }
    ~CloggedPort() {
        for (int fd : fillers_)
            ::close(fd);
        ::close(listener_);
    }
    CloggedPort(const CloggedPort&) = delete;
    CloggedPort& operator=(const CloggedPort&) = delete;
    int port() const { return port_; }

  private:
    int listener_ = -1, port_ = 0;
    std::vector<int> fillers_;
};

class EpisodeDownload : public DownloadFixture {
  protected:
    struct Run {
        EpisodeResult result;
        std::vector<std::pair<int, int>> retries; // retry_waiting calls
        std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    };
    static Run run(const EpisodeRequest& r) {
        Run out;
        EpisodeEvents events;
        events.progress = [&](std::int64_t received, std::int64_t total) {
            out.progress.emplace_back(received, total);
        };
        events.retry_waiting = [&](int retry, int of) { out.retries.emplace_back(retry, of); };
        DownloadCancel cancel;
        out.result = download_episode(r, events, cancel);
        return out;
    }
    std::vector<std::string> only(int episode) const {
        return {target(episode).filename().string()};
    }
};

TEST_F(EpisodeDownload, TransientFailuresAreTriedAgainUntilTheEpisodeArrives) {
    struct Case {
        const char* name;
        std::function<void(SampleSite&)> fault;
        int range_requests; // the second try continues the bytes of the first
    };
    const std::vector<Case> cases = {
        {"HTTP 408", [](SampleSite& s) { s.set_media_status(408); }, 0},
        {"HTTP 429", [](SampleSite& s) { s.set_media_status(429); }, 0},
        {"HTTP 500", [](SampleSite& s) { s.set_media_status(500); }, 0},
        {"HTTP 502", [](SampleSite& s) { s.set_media_status(502); }, 0},
        {"HTTP 503", [](SampleSite& s) { s.set_media_status(503); }, 0},
        {"HTTP 504", [](SampleSite& s) { s.set_media_status(504); }, 0},
        {"body cut short", [](SampleSite& s) { s.set_media_reset_midway(true); }, 1},
        {"stall time-out", [](SampleSite& s) { s.set_media_stall(true); }, 0},
    };
    int episode = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        site.set_media_fault_limit(1);
        c.fault(site);
        const int ranges = site.media_range_requests();
        const Run r = run(request(episode));
        site.set_media_stall(false);
        EXPECT_EQ(r.result.status, EpisodeStatus::downloaded);
        EXPECT_EQ(r.result.tries, 2);
        EXPECT_EQ(r.result.reason, "");
        EXPECT_EQ(r.retries, (std::vector<std::pair<int, int>>{{1, 3}}));
        EXPECT_EQ(site.media_range_requests() - ranges, c.range_requests);
        EXPECT_EQ(read_all(target(episode)), expected(episode));
        EXPECT_EQ(names(), only(episode));
        fs::remove(target(episode++));
    }
}

TEST_F(EpisodeDownload, FinalAnswersAreNotRetriedAndKeepAnOlderFile) {
    struct Case {
        const char* name;
        std::function<void(SampleSite&)> fault;
        std::function<Text(const Text&)> address;
        long status;
        const char* reason; // UTF-8
    };
    const auto same = [](const Text& a) { return a; };
    const std::vector<Case> cases = {
        {"forced 403", [](SampleSite& s) { s.set_media_status(403); }, same, 403,
         "HTTP 403：拒绝访问"},
        {"wrong key", [](SampleSite&) {}, [](const Text& a) { return a + "0"; }, 403,
         "HTTP 403：拒绝访问"},
        {"no such file", [](SampleSite&) {},
         [](const Text& a) { return replace_all(a, "/yousheng/", "/yousheng/none/"); }, 404,
         "HTTP 404：找不到文件"},
        {"login page", [](SampleSite& s) { s.set_media_login_page(true); }, same, 200,
         "不是音频文件"},
        {"empty body", [](SampleSite& s) { s.set_media_empty_body(true); }, same, 200, "文件为空"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.fault(site);
        for (const bool older_file : {false, true}) {
            if (older_file)
                write_all(target(5), "older file");
            EpisodeRequest r = request(5);
            r.address = c.address(r.address);
            const int gets = site.media_full_requests();
            const Run out = run(r);
            EXPECT_EQ(out.result.status, EpisodeStatus::failed);
            EXPECT_EQ(out.result.tries, 1);
            EXPECT_EQ(site.media_full_requests() - gets, 1);
            EXPECT_TRUE(out.retries.empty());
            EXPECT_EQ(out.result.http_status, c.status);
            EXPECT_EQ(out.result.reason, gbk(c.reason));
            if (older_file) {
                EXPECT_EQ(read_all(target(5)), "older file");
                EXPECT_EQ(names(), only(5));
            } else {
                EXPECT_TRUE(names().empty());
            }
        }
        fs::remove(target(5));
        site.set_media_status(0);
        site.set_media_login_page(false);
        site.set_media_empty_body(false);
    }
}

TEST_F(EpisodeDownload, RefusedConnectionsAreTriedAgainThenReported) {
    int closed_port;
    {
        SampleSite gone;
        ASSERT_TRUE(gone.start());
        closed_port = gone.media_port();
    }
    EpisodeRequest r = request(7);
    r.address =
        replace_all(r.address, site.media_host(), "127.0.0.1:" + std::to_string(closed_port));
    r.retries = 2;
    const Run out = run(r);
    EXPECT_EQ(out.result.status, EpisodeStatus::failed);
    EXPECT_EQ(out.result.tries, 3);
    EXPECT_EQ(out.result.http_status, 0);
    EXPECT_EQ(out.result.reason, gbk("无法连接，已重试 2 次"));
    EXPECT_EQ(out.retries, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_TRUE(names().empty());
}

TEST_F(EpisodeDownload, RetryAfterIsHonouredUpToHalfAMinute) {
    site.set_media_status(503);
    site.set_media_retry_after(1);
    site.set_media_fault_limit(1);
    const auto start = Clock::now();
    const Run waited = run(request(8));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(950));
    EXPECT_EQ(waited.result.status, EpisodeStatus::downloaded);
    EXPECT_EQ(waited.result.tries, 2);

    // A server that asks for more than half a minute is not waited for.
    site.set_media_status(503);
    site.set_media_retry_after(60);
    const Run refused = run(request(9));
    EXPECT_EQ(refused.result.status, EpisodeStatus::failed);
    EXPECT_EQ(refused.result.tries, 1);
    EXPECT_EQ(refused.result.reason, gbk("HTTP 503：服务暂不可用"));
}

TEST_F(EpisodeDownload, BodyCutShortIsResumedWithOneRangeRequest) {
    site.set_media_reset_once(true);
    const Run out = run(request(11));
    EXPECT_EQ(out.result.status, EpisodeStatus::downloaded);
    EXPECT_EQ(out.result.http_status, 206);
    EXPECT_EQ(site.media_full_requests(), 1);
    EXPECT_EQ(site.media_range_requests(), 1);
    EXPECT_EQ(read_all(target(11)), expected(11));
    EXPECT_EQ(names(), only(11));
    const std::int64_t size = std::int64_t(expected(11).size());
    ASSERT_FALSE(out.progress.empty());
    EXPECT_EQ(out.progress.back(), std::make_pair(size, size));
    for (std::size_t i = 1; i < out.progress.size(); ++i)
        EXPECT_GE(out.progress[i].first, out.progress[i - 1].first);
}

TEST_F(EpisodeDownload, KeptBytesOfAFailedRunAreResumedByTheNextWhenStillTheSameFile) {
    struct Case {
        const char* name;
        std::function<void(SampleSite&, const fs::path& target)> between;
        int range_requests, full_requests;
    };
    const std::vector<Case> cases = {
        {"same file", [](SampleSite&, const fs::path&) {}, 1, 0},
        {"new version on the server",
         [](SampleSite& s, const fs::path&) { s.set_media_version(1); }, 1, 1},
        {"what the resume needs is lost",
         [](SampleSite&, const fs::path& t) { fs::remove(partial_info_path(t)); }, 0, 1},
        // The note is written without a flush: after a power cut it may be
        // cut short, or belong to an earlier start than the bytes beside it.
        {"the note cut short",
         [](SampleSite&, const fs::path& t) {
             write_all(partial_info_path(t), read_all(partial_info_path(t)).substr(0, 12));
         },
         0, 1},
        {"the note names another partial file",
         [](SampleSite&, const fs::path& t) {
             PartialInfo note = read_partial_note(read_all(partial_info_path(t)));
             ++note.file;
             write_all(partial_info_path(t), partial_note(note));
         },
         0, 1},
        {"bytes lost at the end of the partial file",
         [](SampleSite&, const fs::path& t) { fs::resize_file(partial_file_path(t), 1000); }, 1,
         0},
    };
    int episode = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        site.set_media_version(0);
        site.set_media_reset_midway(true);
        EpisodeRequest r = request(episode);
        r.retries = 0;
        const Run failed = run(r);
        EXPECT_EQ(failed.result.status, EpisodeStatus::failed);
        EXPECT_EQ(failed.result.reason, gbk("连接中断"));
        // Hidden, and not listed as an episode.
        EXPECT_EQ(names(), (std::vector<std::string>{partial_file_path(r.target).filename(),
                                                     partial_info_path(r.target).filename()}));
        EXPECT_TRUE(list_files_in(folder, ".mp3").empty());
        EXPECT_EQ(fs::file_size(partial_file_path(r.target)), expected(episode).size() / 2);

        site.set_media_reset_midway(false);
        c.between(site, r.target);
        const int ranges = site.media_range_requests(), gets = site.media_full_requests();
        const Run resumed = run(r); // a later run of the program
        EXPECT_EQ(resumed.result.status, EpisodeStatus::downloaded);
        EXPECT_EQ(site.media_range_requests() - ranges, c.range_requests);
        EXPECT_EQ(site.media_full_requests() - gets, c.full_requests);
        EXPECT_EQ(read_all(r.target), expected(episode));
        EXPECT_EQ(names(), only(episode));
        fs::remove(target(episode++));
    }
}

TEST_F(EpisodeDownload, CompleteFileOnDiskIsNotFetchedAgain) {
    ASSERT_EQ(run(request(30)).result.status, EpisodeStatus::downloaded);
    const auto written = fs::last_write_time(target(30));
    const int gets = site.media_full_requests();

    const Run again = run(request(30));
    EXPECT_EQ(again.result.status, EpisodeStatus::already_complete);
    EXPECT_EQ(again.result.tries, 0);
    EXPECT_EQ(site.media_full_requests(), gets);
    EXPECT_EQ(site.media_head_requests(), 1);
    EXPECT_EQ(fs::last_write_time(target(30)), written);

    // A file of another length is downloaded again and replaced.
    write_all(target(30), expected(30).substr(0, 1000));
    const Run replaced = run(request(30));
    EXPECT_EQ(replaced.result.status, EpisodeStatus::downloaded);
    EXPECT_EQ(site.media_full_requests(), gets + 1);
    EXPECT_EQ(read_all(target(30)), expected(30));
    EXPECT_EQ(names(), only(30));
}

// Only bytes of the body that arrived stay behind, hidden, for a later run.
TEST_F(EpisodeDownload, CancelEndsTheDownloadAtOnceAndKeepsOnlyWhatArrived) {
    struct Case {
        const char* name;
        std::function<void(SampleSite&)> fault;
        std::chrono::milliseconds retry_delay;
        bool connecting = false;
    };
    const CloggedPort clogged;
    const std::vector<Case> cases = {
        {"connecting", [](SampleSite&) {}, std::chrono::milliseconds(10), true},
        {"stalled", [](SampleSite& s) { s.set_media_stall(true); }, std::chrono::milliseconds(10)},
        {"waiting to retry", [](SampleSite& s) { s.set_media_status(503); },
         std::chrono::seconds(10)},
        {"mid-body", [](SampleSite& s) { s.set_media_pacing(0, 512, 20); },
         std::chrono::milliseconds(10)},
    };
    set_http_download_timeouts(std::chrono::seconds(20), std::chrono::seconds(30));
    std::error_code ec;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.fault(site);
        write_all(target(40), "older file");
        EpisodeRequest r = request(40);
        r.retry_delay = c.retry_delay;
        if (c.connecting)
            r.address = replace_all(r.address, site.media_host(),
                                    "127.0.0.1:" + std::to_string(clogged.port()));
        std::atomic<bool> under_way{false};
        EpisodeEvents events;
        events.progress = [&](std::int64_t, std::int64_t) { under_way = true; };
        events.retry_waiting = [&](int, int) { under_way = true; };
        DownloadCancel cancel;
        EpisodeResult result;
        const int gets = site.media_full_requests();
        std::thread worker([&] { result = download_episode(r, events, cancel); });
        for (int i = 0;
             i < 500 && !under_way && !c.connecting && site.media_full_requests() == gets; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // well into that state
        const auto start = Clock::now();
        cancel.cancel();
        worker.join();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
        EXPECT_EQ(result.status, EpisodeStatus::cancelled);
        if (c.connecting) {
            EXPECT_EQ(result.tries, 0); // still connecting to ask for the length
        }
        EXPECT_EQ(read_all(target(40)), "older file");
        const bool body_began = std::string(c.name) == "mid-body";
        const fs::path kept = partial_file_path(target(40));
        EXPECT_EQ(fs::exists(kept) && fs::file_size(kept) > 0, body_began);
        fs::remove(partial_file_path(target(40)), ec);
        fs::remove(partial_info_path(target(40)), ec);
        EXPECT_EQ(names(), only(40));
        site.set_media_stall(false);
        site.set_media_status(0);
        site.set_media_pacing(0, 0, 0);
    }
}

TEST_F(EpisodeDownload, EpisodesShareOneConnectionAndCarryTheUserAgent) {
    for (int episode = 50; episode < 54; ++episode)
        ASSERT_EQ(run(request(episode)).result.status, EpisodeStatus::downloaded);
    ASSERT_EQ(run(request(50)).result.status, EpisodeStatus::already_complete);
    EXPECT_EQ(site.media_connections_accepted(), 1);
    EXPECT_EQ(site.media_user_agents(), std::vector<Text>(5, "Test agent/1.0"));
}

TEST_F(EpisodeDownload, PlainDownloadLeavesNothingBehindOnFailure) {
    site.set_media_reset_midway(true);
    EXPECT_FALSE(http_download(media_address(60), target(60)));
    EXPECT_TRUE(names().empty());
    site.set_media_reset_midway(false);
    EXPECT_TRUE(http_download(media_address(60), target(60)));
    EXPECT_EQ(read_all(target(60)), expected(60));
    EXPECT_EQ(site.media_user_agents(), std::vector<Text>(2, ""));
}

// The bytes of an episode reach the disk in large writes, their writeback
// starts while they arrive, and the file is flushed before it takes its name.
TEST(EpisodeWrites, AnEpisodeGoesOutInLargeWritesAndIsFlushedBeforeItTakesItsName) {
    SampleSiteOptions options;
    options.episode_size = 9 * 1024 * 1024;
    SampleSite site(options);
    const SampleBook book = sample_books().front();
    site.add_book(book);
    ASSERT_TRUE(site.start());
    char pattern[] = "/tmp/episode-writes-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path folder = pattern;
    EpisodeRequest r;
    r.address = DownloadFixture::media_address_of(site, book, 1);
    r.target = folder / "episode_1.mp3";
    std::vector<FileEvent> events;
    std::vector<bool> target_there; // at each event
    r.file_observer = [&](const FileEvent& e) {
        events.push_back(e);
        target_there.push_back(fs::exists(r.target));
    };
    DownloadCancel cancel;
    ASSERT_EQ(download_episode(r, {}, cancel).status, EpisodeStatus::downloaded);
    const Bytes expected = site.episode_bytes(book.book_id, "1");
    EXPECT_EQ(DownloadFixture::read_all(r.target), std::string(expected.begin(), expected.end()));

    std::vector<std::int64_t> writes;
    for (const FileEvent& e : events)
        if (e.kind == FileEvent::wrote)
            writes.push_back(e.size);
    ASSERT_GE(writes.size(), 2u);
    writes.pop_back(); // the last may be small
    EXPECT_GE(*std::min_element(writes.begin(), writes.end()), 64 * 1024);
    EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                            [](const FileEvent& e) { return e.kind == FileEvent::writeback_started; }));
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2].kind, FileEvent::flushed);
    EXPECT_EQ(events.back().kind, FileEvent::renamed);
    EXPECT_FALSE(target_there[events.size() - 2]) << "the target appeared before the flush";
    std::error_code ec;
    fs::remove_all(folder, ec);
}

} // namespace

// On a real full disk the download ends at once with a status of its own, and
// what had arrived goes; a folder that cannot be written is said as such.
TEST_F(EpisodeDownload, AFullDiskOrAFolderThatCannotBeWrittenEndsTheDownloadSayingSo) {
    SmallDisk full(8); // two pages: room for the partial-file note, not the episode
    SmallDisk read_only(64, true);
    if (!full.mounted() || !read_only.mounted())
        GTEST_SKIP() << "mounting a small disk needs the superuser";
    ASSERT_GT(expected(1).size(), 8u * 1024);
    const struct {
        const char* name;
        std::filesystem::path target;
        EpisodeStatus status;
        const char* reason;
    } table[] = {
        {"full", full.path / "episode_1.mp3", EpisodeStatus::no_space, "磁盘空间不足"},
        {"read-only", read_only.path / "episode_1.mp3", EpisodeStatus::cannot_write,
         "无法写入保存文件夹"},
        {"missing folder", full.path / "gone" / "episode_1.mp3", EpisodeStatus::cannot_write,
         "无法写入保存文件夹"},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.name);
        EpisodeRequest r = request(1);
        r.target = c.target;
        const Run out = run(r);
        EXPECT_EQ(out.result.status, c.status);
        EXPECT_EQ(out.result.reason, gbk(c.reason));
        EXPECT_EQ(out.result.tries, 1); // never tried again
        EXPECT_TRUE(out.retries.empty());
    }
    EXPECT_TRUE(std::filesystem::is_empty(full.path)); // the partial file and its note are gone
}
