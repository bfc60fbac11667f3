#include "session/followed_books.hpp"

#include "listening/ini_document.hpp"
#include "site/download_paths.hpp"

#include <algorithm>

namespace {

// The section of the list of books, and the one of each book's details.
const Text list_section = "books";

Text book_section(const Text& title) {
    return "book " + title;
}

} // namespace

FollowedBooks::FollowedBooks(std::filesystem::path file) : file_(std::move(file)) {
    const IniDocument document = IniDocument::read(file_);
    for (const auto& [title, address] : document.entries(list_section)) {
        const Text section = book_section(title);
        FollowedBook book{title, address, document.value(section, "save_folder"),
                          int(text_to_number(document.value(section, "total_seen"))),
                          document.value(section, "trouble")};
        if (title.empty() || address.empty())
            continue;
        if (const double seconds = text_to_number(document.value(section, "last_checked")); seconds > 0)
            checked_[title] = std::int64_t(seconds);
        books_.push_back(std::move(book));
    }
}

const FollowedBook* FollowedBooks::find(const Text& title) const {
    const auto at = std::find_if(books_.begin(), books_.end(),
                                 [&title](const FollowedBook& b) { return b.title == title; });
    return at == books_.end() ? nullptr : &*at;
}

const FollowedBook* FollowedBooks::in_folder(const Text& folder_name) const {
    const auto at = std::find_if(books_.begin(), books_.end(), [&](const FollowedBook& b) {
        return book_name(b.title) == folder_name;
    });
    return at == books_.end() ? nullptr : &*at;
}

FollowedBook* FollowedBooks::entry(const Text& title) {
    return const_cast<FollowedBook*>(std::as_const(*this).find(title));
}

void FollowedBooks::follow(const FollowedBook& book) {
    if (book.title.empty() || !IniDocument::storable(book_section(book.title)))
        return;
    if (FollowedBook* known = entry(book.title))
        *known = book;
    else
        books_.push_back(book);
}

void FollowedBooks::unfollow(const Text& title) {
    std::erase_if(books_, [&title](const FollowedBook& b) { return b.title == title; });
    checked_.erase(title);
}

std::int64_t FollowedBooks::last_checked(const Text& title) const {
    const auto at = checked_.find(title);
    return at == checked_.end() ? 0 : at->second;
}

void FollowedBooks::set_last_checked(const Text& title, std::int64_t seconds) {
    if (entry(title))
        checked_[title] = seconds;
}

void FollowedBooks::set_total_seen(const Text& title, int total) {
    if (FollowedBook* book = entry(title))
        book->total_seen = total;
}

void FollowedBooks::set_trouble(const Text& title, const Text& trouble) {
    if (FollowedBook* book = entry(title))
        book->trouble = trouble;
}

// The list of books first, then a section of each book's details.
bool FollowedBooks::save() const {
    IniDocument document;
    std::vector<std::pair<Text, Text>> list;
    for (const FollowedBook& book : books_)
        list.emplace_back(book.title, book.address);
    document.replace_section(list_section, list);
    for (const FollowedBook& book : books_) {
        std::vector<std::pair<Text, Text>> details = {
            {"save_folder", book.save_folder},
            {"total_seen", number_to_text(book.total_seen)},
            {"trouble", book.trouble}};
        if (const std::int64_t seconds = last_checked(book.title); seconds > 0)
            details.emplace_back("last_checked", number_to_text(double(seconds)));
        document.replace_section(book_section(book.title), details);
    }
    return document.write(file_);
}
