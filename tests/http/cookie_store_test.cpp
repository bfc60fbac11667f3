// The process-wide cookie store on its own: which cookies it takes and where it
// sends them back.
#include "http/cookie_jar.hpp"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* from; // host that answers
    bool from_https;
    const char* set_cookie;
    const char* to; // host asked next
    bool to_https;
    const char* sent; // Cookie value then sent
};

void expect_case(const Case& c) {
    clear_cookie_store();
    store_cookies({c.from, "/", c.from_https}, {c.set_cookie});
    EXPECT_EQ(cookies_for({c.to, "/", c.to_https}), c.sent)
        << c.set_cookie << " from " << c.from << " to " << c.to;
}

} // namespace

TEST(CookieStore, SecureCookiesComeAndGoOverHttpsOnly) {
    const Case table[] = {
        {"a.test", true, "s=1; Secure", "a.test", true, "s=1"},
        {"a.test", true, "s=1; Secure", "a.test", false, ""},
        {"a.test", false, "s=1; Secure", "a.test", true, ""}, // never taken from http
        {"a.test", false, "s=1; secure; path=/", "a.test", false, ""},
        {"a.test", false, "p=1", "a.test", true, "p=1"},
    };
    for (const Case& c : table)
        expect_case(c);
}

TEST(CookieStore, DomainsThatArePublicSuffixesAreRefused) {
    const Case table[] = {
        {"www.example.co.uk", true, "d=1; Domain=co.uk", "www.example.co.uk", true, ""},
        {"www.example.co.uk", true, "d=1; Domain=.example.co.uk", "shop.example.co.uk", true,
         "d=1"},
        {"www.example.com", true, "d=1; Domain=com", "www.example.com", true, ""},
        {"www.example.com", true, "d=1; Domain=example.com", "example.com", true, "d=1"},
        {"user.github.io", true, "d=1; Domain=github.io", "other.github.io", true, ""},
        {"user.github.io", true, "d=1; Domain=github.io", "user.github.io", true, ""},
        // A host that is a public suffix itself keeps the cookie to itself.
        {"github.io", true, "d=1; Domain=github.io", "github.io", true, "d=1"},
        {"github.io", true, "d=1; Domain=github.io", "user.github.io", true, ""},
        {"books.test", true, "d=1; Domain=books.test", "www.books.test", true, "d=1"},
        {"www.books.test", true, "d=1; Domain=other.test", "other.test", true, ""},
    };
    for (const Case& c : table)
        expect_case(c);
}

TEST(CookieStore, ValuesHoldingLineBreaksAreNotStored) {
    const Case table[] = {
        {"a.test", true, "v=1\r2", "a.test", true, ""},
        {"a.test", true, "v=1\nX: 2", "a.test", true, ""},
        {"a.test", true, "v=1; path=/\r", "a.test", true, ""},
    };
    for (const Case& c : table)
        expect_case(c);
    clear_cookie_store();
    store_cookies({"a.test", "/", true}, {std::string("v=1\0x", 5), "w=2"});
    EXPECT_EQ(cookies_for({"a.test", "/", true}), "w=2");
    clear_cookie_store();
}

namespace {

std::vector<Text> numbered(const char* prefix, int from, int to, std::size_t value_size = 1) {
    std::vector<Text> lines;
    for (int i = from; i < to; ++i)
        lines.push_back(Text(prefix).append(std::to_string(i)).append("=").append(value_size, 'v'));
    return lines;
}

bool sends(const Text& header, const Text& name) {
    return (" " + header + ";").find(" " + name + "=") != Text::npos;
}

} // namespace

TEST(CookieStore, BoundedPerSiteAndInAllTheLeastRecentlySetGoingFirst) {
    clear_cookie_store();
    // 60 from one site: the first 10 go. Sub-domains share their site's allowance.
    store_cookies({"a.example.com", "/", true}, numbered("a", 0, 30));
    store_cookies({"b.example.com", "/", true}, numbered("b", 0, 30));
    EXPECT_EQ(stored_cookie_count(), 50u);
    const Text a = cookies_for({"a.example.com", "/", true});
    EXPECT_FALSE(sends(a, "a9"));
    EXPECT_TRUE(sends(a, "a10"));
    EXPECT_TRUE(sends(cookies_for({"b.example.com", "/", true}), "b29"));

    // A cookie set again counts as new: a10 outlives a11.
    store_cookies({"a.example.com", "/", true}, {"a10=again"});
    store_cookies({"b.example.com", "/", true}, {"b30=1"});
    EXPECT_TRUE(sends(cookies_for({"a.example.com", "/", true}), "a10"));
    EXPECT_FALSE(sends(cookies_for({"a.example.com", "/", true}), "a11"));

    // 25 sites of 50 each: the store keeps 1,000, the earliest sites' gone.
    clear_cookie_store();
    for (int site = 0; site < 25; ++site)
        store_cookies({Text("s").append(std::to_string(site)).append(".test"), "/", true},
                      numbered("c", 0, 60));
    EXPECT_EQ(stored_cookie_count(), 1000u);
    EXPECT_EQ(cookies_for({"s4.test", "/", true}), "");
    EXPECT_TRUE(sends(cookies_for({"s5.test", "/", true}), "c10"));
    EXPECT_TRUE(sends(cookies_for({"s24.test", "/", true}), "c59"));
    clear_cookie_store();
}

TEST(CookieStore, LargeCookiesAreRefusedAndTheHeaderStaysWithinEightKilobytes) {
    clear_cookie_store();
    const CookieSite site{"a.test", "/", true};
    store_cookies(site, {"n=" + Text(cookie_size_limit - 1, 'x')});
    store_cookies(site, {"o=" + Text(cookie_size_limit, 'x')});
    EXPECT_EQ(stored_cookie_count(), 1u);
    // A path attribute past 1 kB is ignored: the cookie takes the default path.
    store_cookies(site, {"p=1; Path=/" + Text(2000, 'p')});
    EXPECT_TRUE(sends(cookies_for(site), "p"));

    clear_cookie_store();
    store_cookies(site, numbered("c", 0, 50, 1000));
    const Text header = cookies_for(site);
    EXPECT_LE(sizeof("Cookie: ") - 1 + header.size(), cookie_header_limit);
    EXPECT_GT(header.size(), 7000u);
    EXPECT_TRUE(sends(header, "c0")); // the earliest set go first
    clear_cookie_store();
}
