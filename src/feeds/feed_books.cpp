#include "feeds/feed_books.hpp"

#include "feeds/request_target.hpp"
#include "files/files.hpp"
#include "session/library.hpp"
#include "site/book_page.hpp"
#include "site/download_paths.hpp"
#include "text/gbk.hpp"

#include <taglib/fileref.h>
#include <taglib/tfile.h>

#include <algorithm>
#include <chrono>
#include <climits>

namespace fs = std::filesystem;

namespace {

std::int64_t seconds_since_epoch(fs::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

// "书名_第12集.mp3" of the book 书名 gives "第12集"; a name of another form
// gives itself without ".mp3".
std::string episode_title(const std::string& book, const std::string& file) {
    std::string title = file.substr(0, file.size() - 4);
    if (title.size() > book.size() + 1 && title.starts_with(book) && title[book.size()] == '_')
        title.erase(0, book.size() + 1);
    return title;
}

std::vector<FeedEpisode> episodes_in(const fs::path& save_folder, const fs::path& folder,
                                     const std::string& book, EpisodeLengths* lengths) {
    std::vector<FeedEpisode> episodes;
    for (const FolderEntry& entry : list_files_in(folder, ".mp3")) {
        const fs::path& file = entry.native;
        std::error_code error;
        const auto size = fs::file_size(file, error);
        const auto time = fs::last_write_time(file, error);
        if (error || !lies_under(file, save_folder))
            continue;
        FeedEpisode episode;
        episode.file = entry.native.filename().string();
        episode.title = episode_title(book, episode.file);
        episode.number = episode_number_in_name(entry.name);
        episode.size = std::int64_t(size);
        episode.modified = seconds_since_epoch(time);
        if (lengths)
            episode.seconds = lengths->seconds(file, episode.size, episode.modified);
        episodes.push_back(std::move(episode));
    }
    // In natural order already; the episode number decides where names differ
    // otherwise, and names that give none come last.
    const auto order = [](const FeedEpisode& e) { return e.number > 0 ? e.number : INT_MAX; };
    std::stable_sort(episodes.begin(), episodes.end(),
                     [&](const FeedEpisode& a, const FeedEpisode& b) { return order(a) < order(b); });
    return episodes;
}

} // namespace

int EpisodeLengths::seconds(const fs::path& file, std::int64_t size, std::int64_t modified) {
    {
        const std::lock_guard lock(mutex_);
        const auto found = known_.find(file);
        if (found != known_.end() && found->second.size == size &&
            found->second.modified == modified)
            return found->second.seconds;
    }
    int length = 0;
    {
        const TagLib::FileRef ref(file.c_str(), true, TagLib::AudioProperties::Fast);
        if (!ref.isNull() && ref.audioProperties())
            length = ref.audioProperties()->lengthInSeconds();
    }
    const std::lock_guard lock(mutex_);
    known_[file] = {size, modified, length};
    return length;
}

std::vector<ShelfBook> feed_shelf(const FeedPlaces& places) {
    const Library library(places.library_folder);
    std::vector<ShelfBook> books;
    for (const FolderEntry& folder : list_subfolders(text_path(places.save_folder))) {
        std::string name = folder.native.filename().string();
        if (!book_folder_of(places.save_folder, name))
            continue;
        const std::optional<BookInfo> details = library.details(folder.name);
        std::string title = details ? gbk_to_utf8(details->title) : name;
        books.push_back({std::move(name), std::move(title)});
    }
    return books;
}

std::optional<FeedBook> read_feed_book(const FeedPlaces& places, const std::string& folder,
                                       EpisodeLengths* lengths) {
    const std::optional<fs::path> path = book_folder_of(places.save_folder, folder);
    if (!path)
        return std::nullopt;
    const Library library(places.library_folder);
    const Text name = text_path(fs::path(folder));
    FeedBook book;
    book.folder = folder;
    book.title = folder;
    Text address;
    if (const std::optional<BookInfo> details = library.details(name, &address)) {
        book.title = gbk_to_utf8(details->title);
        book.author = gbk_to_utf8(details->author);
        book.narrator = gbk_to_utf8(details->narrator);
        book.status = gbk_to_utf8(details->status);
        book.description =
            gbk_to_utf8(replace_all(information_text(*details), "\r\n\r\n", "\n"));
        book.address = gbk_to_utf8(address);
    }
    book.has_cover = cover_file_of(places.save_folder, folder, library.cover_file(name)).has_value();
    book.episodes = episodes_in(places.save_folder, *path, folder, lengths);
    return book;
}
