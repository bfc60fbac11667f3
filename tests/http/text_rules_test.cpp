// Header texts, address splitting and cookie merging.
#include "http/cookie_merging.hpp"
#include "http/request_headers.hpp"
#include "http/url_splitting.hpp"
#include "text/gbk.hpp"

#include <gtest/gtest.h>

TEST(RequestHeaders, NormaliseCapitalisesNamesAndDropsNonHeaderLines) {
    EXPECT_EQ(normalise_header_names("user-agent: x\r\naccept-language: zh-cn"),
              "User-Agent: x\r\nAccept-Language: zh-cn");
    EXPECT_EQ(normalise_header_names("garbage\r\n\r\ncookie: a=1\r\n"), "Cookie: a=1");
    EXPECT_EQ(normalise_header_names("garbage\r\n\r\n"), "");
    EXPECT_EQ(normalise_header_names(": x"), ": x");
    EXPECT_EQ(normalise_header_names("x-y:a:b"), "X-Y:a:b");
    EXPECT_EQ(normalise_header_names("content-TYPE:  Text/Plain "), "Content-TYPE:  Text/Plain ");
    EXPECT_EQ(normalise_header_names("a--b-: v"), "A--B-: v");
    EXPECT_EQ(capitalise_first(""), "");
    EXPECT_EQ(capitalise_first(gbk("设置")), gbk("设置"));
}

TEST(RequestHeaders, TextBetweenMarkers) {
    EXPECT_EQ(text_between("abc[1]def", "[", "]"), "1");
    EXPECT_EQ(text_between("abc[1]def", "[", "z"), "");
    EXPECT_EQ(text_between("abc[1]def", "q", "]"), "");
    EXPECT_EQ(text_between("[]", "[", "]"), "");
    EXPECT_EQ(text_between("a[1]b[2]", "[", "]", 4), "2");
    EXPECT_EQ(text_between("a[1]", "[", "]", 0), "1");
    EXPECT_EQ(text_between("a[1]", "[", "]", -1), "");
    EXPECT_EQ(text_between("a[1]", "[", "]", 99), "");
    EXPECT_EQ(text_between("a[1]", "", "]"), "");
    EXPECT_EQ(text_between("<a href=\"/x\">", gbk("href=#引号"), gbk("#引号")), "/x");
    EXPECT_EQ(text_between("user-agent: Foo\r\n", "User-Agent:", "\r\n", std::nullopt, true),
              " Foo");
    EXPECT_EQ(text_between("user-agent: Foo\r\n", "User-Agent:", "\r\n"), "");
    EXPECT_EQ(text_after_colon("User-Agent:   Foo  "), "Foo");
    EXPECT_EQ(text_after_colon("no colon"), "");
}

TEST(UrlSplitting, HostPortAndPath) {
    EXPECT_EQ(url_host("HTTPS://BOOKS.TEST/Book/A.html"), "books.test");
    EXPECT_EQ(url_port("HTTPS://BOOKS.TEST/Book/A.html"), 443);
    EXPECT_EQ(url_path("HTTPS://BOOKS.TEST/Book/A.html"), "/Book/A.html");

    EXPECT_EQ(url_host("books.test/a.asp?id=3"), "books.test");
    EXPECT_EQ(url_port("books.test/a.asp?id=3"), 80);
    EXPECT_EQ(url_path("books.test/a.asp?id=3"), "/a.asp?id=3");

    EXPECT_EQ(url_path("http://books.test"), "/");
    EXPECT_EQ(url_host("http://books.test:8080/x"), "books.test");
    EXPECT_EQ(url_host("http://books.test:8080/x", true), "books.test:8080");
    EXPECT_EQ(url_port("http://books.test:8080/x"), 8080);
    EXPECT_EQ(url_path("http://books.test:8080/x"), "/x");
    EXPECT_EQ(url_port("https://books.test:8443"), 8443);
    EXPECT_EQ(url_port("https://books.test"), 443);

    EXPECT_EQ(url_host("http://books.test?id=3"), "books.test?id=3");
    EXPECT_EQ(url_path("http://books.test?id=3"), "/");
    EXPECT_EQ(url_host("go.asp?u=http://inner.test/p"), "inner.test");

    EXPECT_EQ(url_host(""), "");
    EXPECT_EQ(url_port(""), 80);
    EXPECT_EQ(url_path(""), "/");
    EXPECT_EQ(url_host("https://"), "");
    EXPECT_EQ(url_path("https:///x"), "/x");
    EXPECT_EQ(url_port("http://books.test:/x"), 0);
    // Only the host part is lower-cased; a GBK path is carried unchanged.
    EXPECT_EQ(url_path(gbk("http://Books.Test/三体/A")), gbk("/三体/A"));
}

TEST(UrlSplitting, PathIsLookedForAfterTheSchemeSoHostsInsideItAreNotFoundThere) {
    const struct {
        const char *address, *path;
    } table[] = {
        {"http://t/abc", "/abc"},       {"http://h/a", "/a"},          {"http://p/a?b", "/a?b"},
        {"https://s/x/y", "/x/y"},      {"http://tp:81/x", "/x"},      {"HTTP://TTP/Q", "/Q"},
        {"http://ttp", "/"},            {"https://ps", "/"},           {"t/abc", "/abc"},
        {"x?u=http://t/abc", "/abc"},   {"http://books.test/p", "/p"}, {"ftp://t/x", "//t/x"},
    };
    for (const auto& row : table)
        EXPECT_EQ(url_path(row.address), row.path) << row.address;
}

TEST(UrlSplitting, TextBefore) {
    EXPECT_EQ(text_before("Set-Cookie: a=1", ": "), "Set-Cookie");
    EXPECT_EQ(text_before("Set-Cookie:a=1", ": "), "");
    EXPECT_EQ(text_before(": x", ": "), "");
}

static Text merged(Text request, Text response) {
    Text result = merge_cookies(request, response);
    EXPECT_EQ(result, request);
    return result;
}

TEST(CookieMerging, ResponseWinsAndDeletedItemsGo) {
    EXPECT_EQ(merged("a=1; b=2", "b=3"), "b=3; a=1");
    EXPECT_EQ(merged("a=1; b=2", "b=deleted"), "a=1");
    EXPECT_EQ(merged("a=1", "c=deleted"), "a=1");
    EXPECT_EQ(merged("a=1; b=2; ", ""), "a=1; b=2");
    EXPECT_EQ(merged("a=1;b=2", "a=3"), "a=3");
    EXPECT_EQ(merged("a=1; a=2; d=deleted", ""), "a=1");
    EXPECT_EQ(merged("", "x=1; x=deleted; y=2"), "x=1; y=2");
    EXPECT_EQ(merged("a=1; a=2", "x=1"), "x=1; a=1");
    EXPECT_EQ(merged("", "a=1; a=1"), "a=1");
    EXPECT_EQ(merged("", "a=1; a=2"), "a=1; a=2");
    EXPECT_EQ(merged("SID=1", "sid=2"), "sid=2; SID=1");
    EXPECT_EQ(merged("a =1", "a=2"), "a=2");
    EXPECT_EQ(merged("a=1; b=2", "a=2 ; x"), "a=2 ; x; b=2");
    // An empty item (two separators in a row) is dropped.
    EXPECT_EQ(merged("a=1; ; b=2", "; c=3"), "c=3; a=1; b=2");
    EXPECT_EQ(merged("", ""), "");
}

TEST(CookieMerging, ListOperations) {
    EXPECT_EQ(cookie_name("  a b =1=2"), "a b");
    EXPECT_EQ(cookie_name(" flag "), "flag");
    EXPECT_TRUE(has_cookie_named({"x=1", "a =2"}, "a"));
    EXPECT_FALSE(has_cookie_named({"A=1"}, "a"));
    EXPECT_EQ(remove_duplicate_items("a,b,a,c,b", ","), "a,b,c");
    EXPECT_EQ(remove_duplicate_items("", ", "), "");
    EXPECT_EQ(find_item({"a", "b", "b"}, "b"), 2);
    EXPECT_EQ(find_item({"a"}, "c"), -1);
}
