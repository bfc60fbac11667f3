#pragma once
// What the library keeps of each book beside its folder: the cover shown when
// the book was open, and when the book was last listened to. Books are known by
// their folder's name (see book_name), so a title and the folder it names find
// the same entry.
//
//     <folder>/封面/<book name>          the cover's bytes, as the site sent them
//     <folder>/书库.ini   [最近收听]  1=1733780400|书名   (seconds, most recent first)
//     <folder>/书目/<book name>.ini  [书目]  the book's details from its page
#include "site/book_info.hpp"
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

class Library {
  public:
    static constexpr std::size_t capacity = 1000;

    explicit Library(std::filesystem::path folder);

    // Keeps the book's cover on disk; an empty picture keeps what was kept.
    void keep_cover(const Text& book, const Bytes& picture);
    // The kept cover's file, or an empty path.
    std::filesystem::path cover_file(const Text& book) const;

    // The book was listened to at `seconds` (since the epoch); written at once.
    void listened(const Text& book, std::int64_t seconds);
    // When the book was last listened to, or 0.
    std::int64_t last_listened(const Text& book) const;

    // Keeps the details of the book's page (title, author, narrator, status,
    // total, category, its address); a book without a title keeps nothing.
    void keep_details(const Text& address, const BookInfo& book);
    // The kept details (page_text and cover_address empty), with the page's
    // address in `address` when asked for; nothing when none were kept.
    std::optional<BookInfo> details(const Text& book, Text* address = nullptr) const;

    // Forgets the book's cover, details and listening time.
    void forget(const Text& book);

  private:
    std::filesystem::path cover_path(const Text& book) const;
    std::filesystem::path details_path(const Text& book) const;
    void save() const;

    std::filesystem::path folder_;
    std::vector<std::pair<Text, std::int64_t>> listened_; // most recent first
};
