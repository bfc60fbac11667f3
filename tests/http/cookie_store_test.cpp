// The process-wide cookie store on its own: which cookies it takes and where it
// sends them back.
#include "http/cookie_jar.hpp"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* from;  // host that answers
    bool from_https;
    const char* set_cookie;
    const char* to;    // host asked next
    bool to_https;
    const char* sent;  // Cookie value then sent
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
