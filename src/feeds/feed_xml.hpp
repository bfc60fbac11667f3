#pragma once
// The feeds' documents, UTF-8: one RSS 2.0 podcast feed (with the iTunes
// namespace) per book and an OPML list of them all. `base` is the address every
// link starts with: "http://" + the host the request was made to + "/" + token.
#include "feeds/feed_books.hpp"

#include <string>
#include <vector>

// A serial podcast in zh-cn: one item per episode on disk, in episode order,
// each with its title, a guid that stays when files or tokens change, its
// episode number, a publication date rising with the episode order (the time
// the file landed, moved a second past the one before it where it would not
// rise), its length where known and its file as the enclosure (exact length,
// audio/mpeg).
std::string rss_feed(const FeedBook& book, const std::string& base);

// An OPML 2.0 document with one outline per book, linking its feed.
std::string opml_list(const std::vector<ShelfBook>& books, const std::string& base);

// The addresses of a book's feed and of the OPML list under `base`.
std::string feed_address(const std::string& base, const std::string& folder);
std::string opml_address(const std::string& base);

// An RFC 7231 date ("Tue, 10 Dec 2024 07:27:43 GMT").
std::string http_date(std::int64_t seconds);
