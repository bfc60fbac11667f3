#include "feeds/feed_books.hpp"

#include "feeds/request_target.hpp"
#include "files/files.hpp"
#include "session/library.hpp"
#include "site/book_page.hpp"
#include "site/download_paths.hpp"
#include "text/gbk.hpp"

#include <taglib/fileref.h>
#include <taglib/tfile.h>

#include <sys/stat.h>

#include <algorithm>
#include <climits>

namespace fs = std::filesystem;

namespace {

// "书名_第12集.mp3" of the book 书名 gives "第12集"; a name of another form
// gives itself without ".mp3".
std::string episode_title(const std::string& book, const std::string& file) {
    std::string title = file.substr(0, file.size() - 4);
    if (title.size() > book.size() + 1 && title.starts_with(book) && title[book.size()] == '_')
        title.erase(0, book.size() + 1);
    return title;
}

// `folder` is known to lie in the save folder.
std::vector<FeedEpisode> episodes_in(const fs::path& save_folder, const fs::path& folder,
                                     const std::string& book, FileLengths* lengths) {
    const auto until = FileLengths::Clock::now() + length_reading_budget;
    std::vector<FeedEpisode> episodes;
    for (const FolderEntry& entry : list_files_in(folder, ".mp3")) {
        const fs::path& file = entry.native;
        // The folder lies in the save folder: only a link can lead a file out.
        struct stat info {};
        if (lstat(file.c_str(), &info) != 0)
            continue;
        if (S_ISLNK(info.st_mode) && (!lies_under(file, save_folder) || stat(file.c_str(), &info) != 0))
            continue;
        if (!S_ISREG(info.st_mode))
            continue;
        FeedEpisode episode;
        episode.file = entry.native.filename().string();
        episode.title = episode_title(book, episode.file);
        episode.number = episode_number_in_name(entry.name);
        episode.size = std::int64_t(info.st_size);
        episode.modified = info.st_mtim.tv_sec;
        if (lengths)
            episode.seconds = lengths->seconds(file, episode.size, episode.modified, until);
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

namespace {

int length_of(const fs::path& file) {
    const TagLib::FileRef ref(file.c_str(), true, TagLib::AudioProperties::Fast);
    if (ref.isNull() || !ref.audioProperties())
        return 0;
    // To the nearest second; a file shorter than half a second counts as one.
    const int milliseconds = ref.audioProperties()->lengthInMilliseconds();
    return milliseconds <= 0 ? 0 : std::max(1, (milliseconds + 500) / 1000);
}

} // namespace

FileLengths::~FileLengths() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    more_.notify_all();
    if (reader_.joinable())
        reader_.join();
}

void FileLengths::store(const fs::path& file, Known known) {
    const std::lock_guard lock(mutex_);
    known_[file] = known;
}

int FileLengths::seconds(const fs::path& file, std::int64_t size, std::int64_t modified,
                            Clock::time_point until) {
    {
        const std::lock_guard lock(mutex_);
        const auto found = known_.find(file);
        if (found != known_.end() && found->second.size == size &&
            found->second.modified == modified)
            return found->second.seconds;
        if (Clock::now() >= until) {
            wanted_.push_back({file, size, modified}); // asked twice: read once, below
            if (!reader_.joinable())
                reader_ = std::thread([this] { read_wanted(); });
            more_.notify_one();
            return 0;
        }
    }
    const int length = length_of(file);
    store(file, {size, modified, length});
    return length;
}

void FileLengths::read_wanted() {
    std::unique_lock lock(mutex_);
    while (true) {
        more_.wait(lock, [this] { return stopping_ || !wanted_.empty(); });
        if (stopping_)
            return;
        const Wanted next = wanted_.front();
        wanted_.pop_front();
        const auto found = known_.find(next.file);
        if (found != known_.end() && found->second.size == next.size &&
            found->second.modified == next.modified)
            continue;
        lock.unlock();
        const int length = length_of(next.file);
        lock.lock();
        known_[next.file] = {next.size, next.modified, length};
    }
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
                                       FileLengths* lengths) {
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
