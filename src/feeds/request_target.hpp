#pragma once
// What a listener's podcast app may ask for, and where on disk it lies. Every
// address starts with the token:
//
//     /<token>/books.opml             every book, as an OPML list of feeds
//     /<token>/<book>/feed.xml        the book's podcast feed
//     /<token>/<book>/cover           the book's cover picture
//     /<token>/<book>/<episode>.mp3   one episode's file
//
// <book> and <episode> are the folder's and the file's names on disk (UTF-8),
// percent-encoded. Anything else is not found, and so is a wrong token: the
// answer never tells whether a book exists.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

enum class FeedResource { opml, feed, cover, episode };

struct FeedRequest {
    FeedResource kind = FeedResource::opml;
    std::string book; // the book folder's name on disk; empty for the OPML
    std::string file; // the episode file's name on disk; empty otherwise
};

// The request a target (the path and query of an HTTP request line) names
// under `token`, or nothing. Refused: a target that is not a plain absolute
// path, a wrong or missing token (compared in constant time), an empty segment,
// "." or ".." (written plainly or percent-encoded), a name starting with "."
// (hidden), a bad or overlong escape, a decoded NUL, "/", "\" or control byte,
// and a name that is not valid UTF-8 (so no overlong form of "." or "/"). The
// query, if any, is ignored.
std::optional<FeedRequest> parse_request_target(std::string_view target, std::string_view token);

// The file of a book's folder under `save_folder` that `request` names, when
// it is a regular file there and its canonical path (links followed) still lies
// under the save folder's; nothing otherwise. A cover is looked for as
// cover.jpg, cover.png or cover.gif in the book's folder; `kept_cover` (the
// library's copy, may be empty) is the fallback.
std::optional<std::filesystem::path> episode_file(const std::filesystem::path& save_folder,
                                                  const FeedRequest& request);
std::optional<std::filesystem::path> book_folder_of(const std::filesystem::path& save_folder,
                                                    std::string_view book);
std::optional<std::filesystem::path> cover_file_of(const std::filesystem::path& save_folder,
                                                   std::string_view book,
                                                   const std::filesystem::path& kept_cover);

// True when `file` (after following links) lies under `folder` (the same).
bool lies_under(const std::filesystem::path& file, const std::filesystem::path& folder);

// A name on disk as one path segment of an address: every byte outside the
// unreserved set (letters, digits, "-", ".", "_", "~") as %XX.
std::string encode_segment(std::string_view name);

// The target with its first segment (the token) replaced by "…", for logs.
std::string redacted_target(std::string_view target);
