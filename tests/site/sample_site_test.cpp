#include "site/sample_site.hpp"

#include "text/gbk.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

namespace {

class SampleSiteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const SampleBook& book : sample_books())
            site.add_book(book);
        ASSERT_TRUE(site.start());
    }

    httplib::Result catalogue_get(const std::string& path, const std::string& cookie = {}) {
        httplib::SSLClient client("127.0.0.1", site.catalogue_port());
        client.enable_server_certificate_verification(false);
        httplib::Headers headers;
        if (!cookie.empty())
            headers.emplace("Cookie", cookie);
        return client.Get(path, headers);
    }

    httplib::Result media_get(const std::string& path) {
        httplib::Client client("127.0.0.1", site.media_port());
        return client.Get(path);
    }

    // "name=value" of the session cookie handed out with a play page.
    std::string session_from_page() {
        auto page = catalogue_get("/yousheng/28946/play_28946_31.htm");
        EXPECT_TRUE(page);
        if (!page)
            return {};
        const std::string set_cookie = page->get_header_value("Set-Cookie");
        return set_cookie.substr(0, set_cookie.find(';'));
    }

    static std::string script_path(const std::string& id, const std::string& n) {
        return "/play/yousheng/flash.asp?id=" + id + "&filename=" + n + ".mp3&nexturl=play_" + id +
               ".htm";
    }

    static Text key_in(const std::string& answer) {
        const auto at = answer.find("mp3?key=");
        if (at == std::string::npos)
            return {};
        const auto from = at + 8;
        return answer.substr(from, answer.find("\";", from) - from);
    }

    SampleSite site;
};

TEST_F(SampleSiteTest, PlayPageIsGbkWithTheMarkersAndASessionCookie) {
    auto page = catalogue_get("/yousheng/28946/play_28946_31.htm");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::string& body = page->body;
    EXPECT_NE(body.find(gbk("》 第31集/共120集　<<a")), std::string::npos);
    EXPECT_NE(body.find("&flei=kehuan&bookname=" + gbk("星海远航") + "&filename="),
              std::string::npos);
    const SampleBook book = sample_books()[0];
    EXPECT_NE(body.find(gbk("播音：") + book.narrator_field + gbk("作者：") + book.author_field +
                        gbk("状态：") + book.status_field + gbk("更新：")),
              std::string::npos);
    EXPECT_EQ(body.find(gbk("作者：")),
              body.find(gbk("播音：")) + gbk("播音：").size() + book.narrator_field.size());
    const std::string cookie = page->get_header_value("Set-Cookie");
    EXPECT_EQ(cookie.rfind(site.session_cookie_name() + "=", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("; path=/"), std::string::npos);

    auto capitals = catalogue_get("/yousheng/10086/play_10086_5.htm");
    ASSERT_TRUE(capitals);
    EXPECT_NE(capitals->body.find("&FLEI=wenxue&BOOKNAME=" + gbk("山河故人") + "&FILENAME="),
              std::string::npos);
    EXPECT_NE(capitals->body.find(gbk("》 第5集/共36集　<<a")), std::string::npos);
    EXPECT_EQ(site.page_requests(), 2);

    auto missing = catalogue_get("/yousheng/99999/play_99999_1.htm");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(missing->body.find("&bookname="), std::string::npos);
}

TEST_F(SampleSiteTest, CoverIsAGifFoundByItsEncodedTitle) {
    // The client percent-encodes the GBK bytes of the path.
    auto cover = catalogue_get("/cover/yousheng/" + gbk("古城疑云") + ".gif");
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->status, 200);
    EXPECT_EQ(cover->get_header_value("Content-Type"), "image/gif");
    const Bytes expected = sample_cover_gif(gbk("古城疑云"));
    EXPECT_EQ(cover->body, std::string(expected.begin(), expected.end()));
    EXPECT_EQ(cover->body.substr(0, 6), "GIF89a");
    EXPECT_EQ(cover->body.back(), ';');
    auto other = catalogue_get("/cover/yousheng/" + gbk("无此书") + ".gif");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->status, 404);
    EXPECT_EQ(site.cover_requests(), 2);
}

TEST_F(SampleSiteTest, PlayerScriptGivesAKeyPerEpisodeOnlyWithTheSessionCookie) {
    auto bare = catalogue_get(script_path("28946", "36"));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->body.find("mp3?key="), std::string::npos);
    EXPECT_EQ(site.script_requests_without_cookie(), 1);

    auto forged = catalogue_get(script_path("28946", "36"), site.session_cookie_name() + "=XYZ");
    ASSERT_TRUE(forged);
    EXPECT_EQ(forged->body.find("mp3?key="), std::string::npos);
    EXPECT_EQ(site.script_requests_without_cookie(), 2);

    const std::string session = session_from_page();
    ASSERT_FALSE(session.empty());
    auto with = catalogue_get(script_path("28946", "36"), "other=1; " + session);
    ASSERT_TRUE(with);
    const Text key36 = key_in(with->body);
    EXPECT_EQ(key36, site.episode_key("28946", "36"));
    EXPECT_FALSE(key36.empty());
    EXPECT_NE(with->body.find("http://" + site.media_host() + "/yousheng/kehuan/" +
                              gbk("星海远航") + "/036.mp3?key=" + key36 + "\";"),
              std::string::npos);
    auto next = catalogue_get(script_path("28946", "37"), session);
    ASSERT_TRUE(next);
    EXPECT_NE(key_in(next->body), key36);
    EXPECT_EQ(key_in(next->body), site.episode_key("28946", "037"));
    EXPECT_EQ(site.script_requests_with_cookie(), 2);

    // A request that already carries the session gets no new cookie.
    auto again = catalogue_get("/yousheng/28946/play_28946_32.htm", session);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->has_header("Set-Cookie"));
}

TEST_F(SampleSiteTest, MediaNeedsTheEpisodesKey) {
    const std::string base = "/yousheng/kehuan/" + gbk("星海远航") + "/";
    auto good = media_get(base + "036.mp3?key=" + site.episode_key("28946", "36"));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->status, 200);
    const Bytes expected = site.episode_bytes("28946", "36");
    EXPECT_EQ(good->body, std::string(expected.begin(), expected.end()));
    EXPECT_EQ(good->get_header_value("Content-Length"), std::to_string(expected.size()));
    EXPECT_NE(site.episode_bytes("28946", "36"), site.episode_bytes("28946", "37"));

    auto fraction = media_get(base + "002.5.mp3?key=" + site.episode_key("28946", "2.5"));
    ASSERT_TRUE(fraction);
    EXPECT_EQ(fraction->status, 200);
    auto negative = media_get(base + "00-4.mp3?key=" + site.episode_key("28946", "-4"));
    ASSERT_TRUE(negative);
    EXPECT_EQ(negative->status, 200);

    auto wrong = media_get(base + "037.mp3?key=" + site.episode_key("28946", "36"));
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 403);
    auto none = media_get(base + "036.mp3?key=");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->status, 403);
    EXPECT_EQ(site.media_requests_served(), 3);
    EXPECT_EQ(site.media_requests_refused(), 2);
}

TEST_F(SampleSiteTest, TitleWithSlashAndDotsIsMatchedByItsBytes) {
    SampleBook book = sample_books()[0];
    book.book_id = "500";
    book.title = gbk("上/../下");
    site.add_book(book);
    const Text encoded = gbk("上") + "%2F%2E%2E%2F" + gbk("下");
    auto media =
        media_get("/yousheng/kehuan/" + encoded + "/001.mp3?key=" + site.episode_key("500", "1"));
    ASSERT_TRUE(media);
    EXPECT_EQ(media->status, 200);
    auto cover = catalogue_get("/cover/yousheng/" + encoded + ".gif");
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->status, 200);
}

TEST_F(SampleSiteTest, MediaFaultsAndPacing) {
    const std::string path =
        "/yousheng/kehuan/" + gbk("星海远航") + "/005.mp3?key=" + site.episode_key("28946", "5");
    const std::string other =
        "/yousheng/kehuan/" + gbk("星海远航") + "/006.mp3?key=" + site.episode_key("28946", "6");
    site.set_media_status(500);
    site.set_media_fault_episode("5");
    EXPECT_EQ(media_get(path)->status, 500);
    EXPECT_EQ(media_get(other)->status, 200);
    site.set_media_status(0);

    site.set_media_empty_body(true);
    auto empty = media_get(path);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_TRUE(empty->body.empty());
    site.set_media_empty_body(false);

    site.set_media_reset_midway(true);
    auto cut = media_get(path);
    EXPECT_FALSE(cut && cut->body.size() == site.episode_bytes("28946", "5").size());
    site.set_media_reset_midway(false);

    site.set_media_pacing(0, 4096, 1);
    auto slow = media_get(path);
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->body.size(), site.episode_bytes("28946", "5").size());
}

TEST_F(SampleSiteTest, TransferHoldingSwitches) {
    const std::string path =
        "/yousheng/kehuan/" + gbk("星海远航") + "/007.mp3?key=" + site.episode_key("28946", "7");
    const Bytes whole = site.episode_bytes("28946", "7");

    // A player-script answer waits for its delay.
    const std::string cookie = session_from_page();
    site.set_script_delay(300);
    const auto asked = std::chrono::steady_clock::now();
    auto script = catalogue_get(script_path("28946", "7"), cookie);
    ASSERT_TRUE(script);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(290));
    EXPECT_EQ(key_in(script->body), site.episode_key("28946", "7"));
    site.set_script_delay(0);

    // A trickle switched off midway speeds up the answer under way: at 256 bytes
    // every 50 ms the episode would take three seconds.
    site.set_media_pacing(0, 256, 50);
    std::thread faster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        site.set_media_pacing(0, 0, 0);
    });
    const auto started = std::chrono::steady_clock::now();
    auto slow = media_get(path);
    faster.join();
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->body.size(), whole.size());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

    // A login page in place of the episode; HEAD and Range answers with validators.
    site.set_media_login_page(true);
    auto login = media_get(path);
    ASSERT_TRUE(login);
    EXPECT_EQ(login->get_header_value("Content-Type"), "text/html; charset=gbk");
    EXPECT_NE(login->body.find(gbk("请先登录")), std::string::npos);
    site.set_media_login_page(false);
    httplib::Client client("127.0.0.1", site.media_port());
    auto head = client.Head(path);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(whole.size()));
    EXPECT_EQ(head->get_header_value("Content-Type"), "audio/mpeg");
    EXPECT_FALSE(head->get_header_value("ETag").empty());
    EXPECT_FALSE(head->get_header_value("Last-Modified").empty());
    auto part = client.Get(path, {{"Range", "bytes=100-"}});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->get_header_value("Content-Range"),
              "bytes 100-" + std::to_string(whole.size() - 1) + "/" + std::to_string(whole.size()));
    EXPECT_EQ(part->body, std::string(whole.begin() + 100, whole.end()));
    EXPECT_EQ(part->get_header_value("ETag"), head->get_header_value("ETag"));
    site.set_media_version(2);
    EXPECT_NE(client.Head(path)->get_header_value("ETag"), head->get_header_value("ETag"));
    EXPECT_EQ(site.media_head_requests(), 2);
    EXPECT_EQ(site.media_range_requests(), 1);

    // A forced status with Retry-After, for a limited number of answers.
    site.set_media_status(503);
    site.set_media_retry_after(7);
    site.set_media_fault_limit(1);
    auto busy = media_get(path);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->status, 503);
    EXPECT_EQ(busy->get_header_value("Retry-After"), "7");
    EXPECT_EQ(media_get(path)->status, 200);

    // One reset per episode: the first answer is cut, the next ones are whole.
    site.set_media_reset_once(true);
    auto first = media_get(path);
    EXPECT_FALSE(first && first->body.size() == whole.size());
    auto second = media_get(path);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->body.size(), whole.size());
}

TEST_F(SampleSiteTest, ConnectionsAreCounted) {
    const int before = site.connections_accepted();
    catalogue_get("/");
    catalogue_get("/");
    EXPECT_EQ(site.connections_accepted(), before + 2);
    httplib::SSLClient kept("127.0.0.1", site.catalogue_port());
    kept.enable_server_certificate_verification(false);
    kept.set_keep_alive(true);
    ASSERT_TRUE(kept.Get("/"));
    ASSERT_TRUE(kept.Get("/"));
    EXPECT_EQ(site.connections_accepted(), before + 3);
    // stop() must not wait for the idle kept-alive connection.
    site.stop();
    EXPECT_FALSE(kept.Get("/"));
}

TEST_F(SampleSiteTest, StopEndsStalledAndSlowAnswers) {
    site.set_media_stall(true);
    const std::string path =
        "/yousheng/xuanyi/" + gbk("古城疑云") + "/001.mp3?key=" + site.episode_key("31337", "1");
    std::thread stalled([&] { media_get(path); });
    while (site.media_connections_accepted() == 0)
        std::this_thread::yield();
    site.stop();
    stalled.join();
    EXPECT_TRUE(site.start());
    site.set_media_stall(false);
    EXPECT_EQ(media_get(path)->status, 200);
}

TEST_F(SampleSiteTest, BusyPortsFailCleanly) {
    SampleSite second;
    EXPECT_FALSE(second.start(site.catalogue_port(), 0));
    EXPECT_FALSE(second.start(0, site.media_port()));
    EXPECT_TRUE(second.start());
    EXPECT_FALSE(second.start()); // already running
    EXPECT_NE(second.catalogue_port(), site.catalogue_port());
}

TEST(SilentMp3, FramesOfOneSecondAndPadding) {
    const Bytes one = silent_mp3();
    ASSERT_EQ(one.size(), 39u * 417u);
    for (std::size_t at = 0; at < one.size(); at += 417) {
        ASSERT_EQ(one[at], 0xFF);
        ASSERT_EQ(one[at + 1], 0xFB);
        ASSERT_EQ(one[at + 2], 0x90);
        ASSERT_EQ(one[at + 3], 0x64);
    }
    const Bytes big = silent_mp3(100000);
    EXPECT_GE(big.size(), 100000u);
    EXPECT_LT(big.size(), 100000u + 417u);
    EXPECT_EQ(big.size() % 417, 0u);
}

} // namespace
