#include "session/library.hpp"

#include "files/files.hpp"
#include "listening/ini_document.hpp"
#include "site/download_paths.hpp"
#include "text/gbk.hpp"

#include <algorithm>

namespace fs = std::filesystem;

namespace {

const Text times_section = "最近收听";
const Text details_section = "书目";

// The kept fields of a book page, by their keys in the details file.
const std::pair<const char*, Text BookInfo::*> detail_fields[] = {
    {"书名", &BookInfo::title},       {"作者", &BookInfo::author},
    {"演播", &BookInfo::narrator},    {"状态", &BookInfo::status},
    {"共", &BookInfo::episode_total}, {"当前", &BookInfo::current_episode},
    {"分类", &BookInfo::category},    {"编号", &BookInfo::book_id},
};

fs::path times_file(const fs::path& folder) {
    return folder / fs::path(u8"书库.ini");
}

} // namespace

Library::Library(fs::path folder) : folder_(std::move(folder)) {
    const IniDocument document = IniDocument::read(times_file(folder_));
    for (const auto& [ordinal, entry] : document.entries(times_section)) {
        const std::size_t bar = entry.find('|');
        if (bar == Text::npos || bar + 1 == entry.size())
            continue;
        const Text book = entry.substr(bar + 1);
        const auto seconds = std::int64_t(text_to_number(entry.substr(0, bar)));
        const bool known = std::any_of(listened_.begin(), listened_.end(),
                                       [&](const auto& e) { return e.first == book; });
        if (seconds > 0 && !known && listened_.size() < capacity)
            listened_.emplace_back(book, seconds);
    }
}

fs::path Library::cover_path(const Text& book) const {
    return folder_ / fs::path(u8"封面") / native_path(book_name(book));
}

void Library::keep_cover(const Text& book, const Bytes& picture) {
    if (book.empty() || picture.empty())
        return;
    std::error_code error;
    fs::create_directories(cover_path(book).parent_path(), error);
    write_file_atomically(cover_path(book),
                          std::string_view(reinterpret_cast<const char*>(picture.data()),
                                           picture.size()));
}

fs::path Library::cover_file(const Text& book) const {
    std::error_code error;
    const fs::path file = cover_path(book);
    return !book.empty() && fs::is_regular_file(file, error) ? file : fs::path();
}

void Library::listened(const Text& book, std::int64_t seconds) {
    const Text name = book_name(book);
    if (book.empty())
        return;
    std::erase_if(listened_, [&](const auto& e) { return e.first == name; });
    listened_.emplace(listened_.begin(), name, seconds);
    if (listened_.size() > capacity)
        listened_.resize(capacity);
    save();
}

std::int64_t Library::last_listened(const Text& book) const {
    const Text name = book_name(book);
    const auto found = std::find_if(listened_.begin(), listened_.end(),
                                    [&](const auto& e) { return e.first == name; });
    return found == listened_.end() ? 0 : found->second;
}

fs::path Library::details_path(const Text& book) const {
    return folder_ / fs::path(u8"书目") / native_path(book_name(book) + ".ini");
}

void Library::keep_details(const Text& address, const BookInfo& book) {
    if (book.title.empty())
        return;
    IniDocument document;
    for (const auto& [key, field] : detail_fields)
        document.set(details_section, gbk(key), book.*field);
    document.set(details_section, gbk("网址"), address);
    if (document.to_text() == IniDocument::read(details_path(book.title)).to_text())
        return;
    std::error_code error;
    fs::create_directories(details_path(book.title).parent_path(), error);
    document.write(details_path(book.title));
}

std::optional<BookInfo> Library::details(const Text& book, Text* address) const {
    if (book.empty())
        return std::nullopt;
    const IniDocument document = IniDocument::read(details_path(book));
    BookInfo info;
    for (const auto& [key, field] : detail_fields)
        info.*field = document.value(details_section, gbk(key));
    if (info.title.empty())
        return std::nullopt;
    if (address)
        *address = document.value(details_section, gbk("网址"));
    return info;
}

void Library::forget(const Text& book) {
    std::error_code error;
    fs::remove(cover_path(book), error);
    fs::remove(details_path(book), error);
    const Text name = book_name(book);
    if (std::erase_if(listened_, [&](const auto& e) { return e.first == name; }) > 0)
        save();
}

void Library::save() const {
    std::vector<std::pair<Text, Text>> entries;
    for (const auto& [book, seconds] : listened_)
        entries.emplace_back(number_to_text(double(entries.size() + 1)),
                             number_to_text(double(seconds)) + "|" + book);
    IniDocument document; // the file holds this section alone
    document.replace_section(times_section, std::move(entries));
    document.write(times_file(folder_));
}
