#include "site/book_page.hpp"
#include "pattern/page_text.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

namespace {

const Text address = "https://Books.Test:8443/yousheng/28946/play_28946_31.htm";

// A play page the way the site writes one: the fields sit in ordinary markup.
Text play_page(const Text& parameters = "&flei=kehuan&bookname=" + gbk("星海远航") +
                                        "&filename=031.mp3") {
    return gbk("<html><head><title>星海远航</title></head><body>\r\n"
               "<div class=\"nav\"><a href=\"/\">首页</a> 》 第31集/共120集　<<a "
               "href=\"play_28946_30.htm\">上一集</a></div>\r\n"
               "<script>var player=\"/play/yousheng/flash.asp?id=28946") +
           parameters +
           gbk("\";</script>\r\n"
               "<li>播音：<a href=\"/bo/7\">陈默</a> (2019)</li>"
               "<li>作者：<a title=\"林远舟\" href=\"/zz/3\">林远舟</a></li>"
               "<li>状态：<font color=red>连载中…</font></li><li>更新：2024-05-01</li>\r\n"
               "</body></html>");
}

} // namespace

TEST(BookInfo, FieldsAreCutFromTheAddressAndThePage) {
    BookInfo book = cut_book_info(address, play_page());
    EXPECT_EQ(book.page_text, play_page());
    EXPECT_EQ(book.book_id, "28946");
    EXPECT_EQ(book.current_episode, "31");
    EXPECT_EQ(book.episode_total, "120");
    EXPECT_EQ(book.category, "kehuan");
    EXPECT_EQ(book.title, gbk("星海远航"));
    // Markup, ASCII, digits and full-width punctuation are dropped.
    EXPECT_EQ(book.narrator, gbk("陈默"));
    EXPECT_EQ(book.author, gbk("林远舟")); // written twice in the span, shown once
    EXPECT_EQ(book.status, gbk("连载中"));
    // The cover lies on the page's own host, with its port; the title goes in as cut.
    EXPECT_EQ(book.cover_address,
              "https://books.test:8443/cover/yousheng/" + gbk("星海远航") + ".gif");
}

TEST(BookInfo, ParameterNamesMatchInAnyLetterCase) {
    BookInfo book = cut_book_info(
        address, play_page("&FLEI=wenxue&BookName=" + gbk("山河") + "&FILENAME=001.mp3"));
    EXPECT_EQ(book.category, "wenxue");
    EXPECT_EQ(book.title, gbk("山河"));
}

TEST(BookInfo, MissingMarkersGiveEmptyFields) {
    BookInfo book = cut_book_info("https://books.test/yousheng/28946/play.htm", "<html></html>");
    EXPECT_EQ(book.book_id, ""); // fewer than two "_"
    EXPECT_EQ(book.title, "");
    EXPECT_EQ(book.author, "");
    EXPECT_EQ(book.episode_total, "");
    EXPECT_EQ(book.cover_address, "https://books.test/cover/yousheng/.gif");
}

TEST(AuthorHalving, TakesTheRightHalfInWholeCharacters) {
    EXPECT_EQ(right_half_characters(gbk("林远林远")), gbk("林远"));
    EXPECT_EQ(right_half_characters(gbk("林远")), gbk("远"));
    // An odd count: the cut falls between characters, never inside one.
    EXPECT_EQ(right_half_characters(gbk("林远舟")), gbk("舟"));
    EXPECT_EQ(right_half_characters(gbk("甲乙丙丁戊")), gbk("丁戊"));
    EXPECT_EQ(right_half_characters(gbk("林")), "");
    EXPECT_EQ(right_half_characters(""), "");
}

TEST(AuthorHalving, UnassignedPairsCountAsOneCharacter) {
    // D7FA-D7FE lie in the range of Chinese characters but have none assigned;
    // chinese_only keeps them, so they are halved as whole characters too.
    const Text a = gbk("啊");
    const Text odd = "\xD7\xFA";
    EXPECT_EQ(right_half_characters(a + odd), odd);
    EXPECT_EQ(right_half_characters(a + odd + a + odd), a + odd);
    EXPECT_EQ(right_half_characters(odd + a + "\xD7\xFE"), "\xD7\xFE");
    EXPECT_EQ(right_half_characters(chinese_only(a + "\xD7\xFB")), "\xD7\xFB");
}

TEST(Captions, InformationTextAndStartCaptionAreExact) {
    BookInfo book = cut_book_info(address, play_page());
    EXPECT_EQ(information_text(book),
              gbk("分类 ：kehuan\r\n\r\n书名 ：星海远航\r\n\r\n作者 ：林远舟\r\n\r\n"
                  "播音 ：陈默\r\n\r\n状态：连载中\r\n\r\n当前第 31 集 共 120 集"));
    EXPECT_EQ(information_text(BookInfo{}),
              gbk("分类 ：\r\n\r\n书名 ：\r\n\r\n作者 ：\r\n\r\n播音 ：\r\n\r\n状态：\r\n\r\n"
                  "当前第  集 共  集"));
    EXPECT_EQ(start_caption("120"), gbk("开始：？/共120集"));
    EXPECT_EQ(span_caption(), gbk("跨度"));
}

TEST(Hosts, CatalogueHostKeepsThePortAndTheHomePageIsBuiltOnIt) {
    EXPECT_EQ(catalogue_host(address), "books.test:8443");
    EXPECT_EQ(catalogue_host("https://books.test/a_1_2.htm"), "books.test");
    EXPECT_EQ(site_home_page("127.0.0.1:4443"), "https://127.0.0.1:4443/");
    EXPECT_EQ(cover_address("h", gbk("书")), "https://h/cover/yousheng/" + gbk("书") + ".gif");
}
