#pragma once
// The books the user follows: for each, the address of one of its play pages,
// the episode total seen last and how the last check went. Kept in a GBK INI
// file beside the listening files, one section per book, written atomically.
#include "text/text.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

struct FollowedBook {
    Text title;
    Text address;     // a play page of the book
    Text save_folder; // where its episodes go
    int total_seen = 0;
    Text trouble; // why the last check failed; empty when it did not
};

class FollowedBooks {
  public:
    // Reads the file; a missing one follows nothing.
    explicit FollowedBooks(std::filesystem::path file);

    const std::vector<FollowedBook>& books() const { return books_; }
    const FollowedBook* find(const Text& title) const;
    // The book whose folder has this name (see book_name), or null.
    const FollowedBook* in_folder(const Text& folder_name) const;
    // Follows a book, or updates the one with its title.
    void follow(const FollowedBook& book);
    void unfollow(const Text& title);
    void set_total_seen(const Text& title, int total);
    void set_trouble(const Text& title, const Text& trouble);
    // When the book was last checked, in seconds since the epoch; 0: never.
    std::int64_t last_checked(const Text& title) const;
    void set_last_checked(const Text& title, std::int64_t seconds);
    bool save() const;

  private:
    FollowedBook* entry(const Text& title);

    std::filesystem::path file_;
    std::vector<FollowedBook> books_;
    std::map<Text, std::int64_t> checked_; // by title
};
