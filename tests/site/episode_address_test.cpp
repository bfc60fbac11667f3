#include "site/episode_address.hpp"
#include "http/web_access.hpp"
#include "loopback_server.hpp"
#include "support/site_fixture.hpp"
#include "transfer/http_download.hpp"

#include <gtest/gtest.h>

#include <iterator>

TEST(PaddedNumber, ZerosUpToThreeDigitsByValue) {
    EXPECT_EQ(padded_number("5"), "005");
    EXPECT_EQ(padded_number("36"), "036");
    EXPECT_EQ(padded_number("99"), "099");
    EXPECT_EQ(padded_number("10"), "010");
    EXPECT_EQ(padded_number("100"), "100");
    EXPECT_EQ(padded_number("1234"), "1234");
    EXPECT_EQ(padded_number("0"), "000");
    EXPECT_EQ(padded_number("-4"), "00-4");
    EXPECT_EQ(padded_number("2.5"), "002.5");
}

TEST(EpisodeAddresses, AreBuiltByteForByte) {
    EXPECT_EQ(play_page_address("books.test", "28946", "36"),
              "https://books.test/play/yousheng/flash.asp?id=28946&filename=36.mp3"
              "&nexturl=play_28946.htm");
    EXPECT_EQ(play_page_address("h:1", "7", "3.5"),
              "https://h:1/play/yousheng/flash.asp?id=7&filename=3.5.mp3&nexturl=play_7.htm");
    EXPECT_EQ(audio_address("m:8080", "kehuan", gbk("星海 远航"), "036", "k=1"),
              "http://m:8080/yousheng/kehuan/" + gbk("星海 远航") + "/036.mp3?key=k=1");
    EXPECT_EQ(audio_address("m", "", "", "005", ""), "http://m/yousheng///005.mp3?key=");
}

TEST(AudioKey, IsCutBetweenTheMarkerAndQuoteSemicolon) {
    EXPECT_EQ(audio_key("var u=\"http://x/a.mp3?key=Ab9-x_Z\";\nplay(u);"), "Ab9-x_Z");
    EXPECT_EQ(audio_key("a.mp3?key=first\"; b.mp3?key=second\";"), "first");
    EXPECT_EQ(audio_key("a.mp3?key=k\" ;"), "");    // no quote-semicolon pair
    EXPECT_EQ(audio_key("a.MP3?KEY=upper\";"), ""); // letter case counts
    EXPECT_EQ(audio_key(""), "");
}

class Resolution : public SiteFixture {
  protected:
    Text expected(const Text& number, const Text& padded) const {
        return "http://" + site->media_host() + "/yousheng/" + book.category + "/" + book.title +
               "/" + padded + ".mp3?key=" + site->episode_key(book.book_id, number);
    }
    Text resolve(const Text& number) const {
        return resolve_episode_address(site->catalogue_host(), book.book_id, book.category,
                                       book.title, number);
    }
};

TEST_F(Resolution, MediaHostComesFromTheConfigurationOrFallsBackToTheCatalogueHost) {
    EXPECT_EQ(media_host("books.test:8443"), "books.test:8443");
    ASSERT_TRUE(write_setting(gbk("媒体主机"), ""));
    EXPECT_EQ(media_host("books.test"), "books.test");
    ASSERT_TRUE(write_setting(gbk("媒体主机"), "media.test:81"));
    EXPECT_EQ(media_host("books.test"), "media.test:81");
}

TEST_F(Resolution, SessionFromTheBookPageOpensThePlayerScriptAndTheFile) {
    configure();
    ASSERT_FALSE(web_access_text(address()).empty()); // the visit hands out the session
    Text a36 = resolve("36");
    Text a100 = resolve("100");
    EXPECT_EQ(a36, expected("36", "036"));
    EXPECT_EQ(a100, expected("100", "100"));
    EXPECT_NE(site->episode_key(book.book_id, "36"), site->episode_key(book.book_id, "100"));
    EXPECT_EQ(site->script_requests_with_cookie(), 2);
    EXPECT_EQ(site->script_requests_without_cookie(), 0);
    // The address really opens the episode on the Media host.
    auto file = save.path / "036.mp3";
    ASSERT_TRUE(http_download(a36, file));
    std::ifstream in(file, std::ios::binary);
    Bytes got{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(got, site->episode_bytes(book.book_id, "36"));
}

TEST_F(Resolution, WithoutKeyTheAddressStillComesBackEndingInAnEmptyKey) {
    configure();
    // No visit of a book page yet: the player script gives no key.
    EXPECT_EQ(resolve("5"), "http://" + site->media_host() + "/yousheng/" + book.category + "/" +
                                book.title + "/005.mp3?key=");
    EXPECT_EQ(site->script_requests_without_cookie(), 1);
    // A site that cannot be reached.
    site->stop();
    EXPECT_EQ(resolve("-4"), "http://" + site->media_host() + "/yousheng/" + book.category + "/" +
                                 book.title + "/00-4.mp3?key=");
}

TEST_F(Resolution, AnswersOverOneMegabyteAndKeysOverOneKilobyteGiveNoKeyAndAReason) {
    const std::string key_of_limit(audio_key_limit, 'k');
    LoopbackServer script(
        [&](const ServerRequest& r) {
            const std::string line = r.request_line();
            auto answer = [](const std::string& key) {
                return "var u=\"http://m/a.mp3?key=" + key + "\";";
            };
            if (line.find("filename=1.mp3") != std::string::npos) // a length announced
                return http_reply("200 OK", {},
                                  std::string(player_answer_limit, ' ') + answer("k"));
            if (line.find("filename=2.mp3") != std::string::npos) { // no length: read till closed
                ServerReply endless;
                endless.bytes = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + answer("k");
                endless.filler = 64 * player_answer_limit;
                endless.close = true;
                return endless;
            }
            if (line.find("filename=3.mp3") != std::string::npos)
                return http_reply("200 OK", {}, answer(key_of_limit + "k"));
            return http_reply("200 OK", {}, answer(key_of_limit));
        },
        true);
    const Text host = "127.0.0.1:" + std::to_string(script.port());
    const struct {
        const char* number;
        const char* padded;
        std::string key;
        const char* reason;
    } table[] = {
        {"1", "001", "", "播放脚本的回答超过 1 MB，未取得音频地址"},
        {"2", "002", "", "播放脚本的回答超过 1 MB，未取得音频地址"},
        {"3", "003", "", "音频密钥超过 1 KB，未取得音频地址"},
        {"4", "004", key_of_limit, ""},
    };
    for (const auto& row : table) {
        Text reason = "stale";
        EXPECT_EQ(resolve_episode_address(host, "7", "c", "t", row.number, &reason),
                  audio_address(host, "c", "t", row.padded, row.key))
            << row.number;
        EXPECT_EQ(reason, gbk(row.reason)) << row.number;
    }
}
